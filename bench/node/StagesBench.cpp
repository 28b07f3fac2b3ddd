// The cost of each stage a datagram goes through in the display node, one
// stage at a time, and beside each the floor it is judged against: the bare
// library call or system call that the stage cannot do without.
//   lumaren_bench_stages [paint]
//   lumaren_bench_stages floor WIDTH HEIGHT LINES WHOLE COUNT
//       only the floor of one latency run (see FloorStage)
// Prints key=value lines (microseconds unless the key says otherwise).

#include <QGuiApplication>
#include <QHostAddress>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pugixml.hpp>
#include <sys/socket.h>
#include <unistd.h>

#include "BenchUtil.h"
#include "config/uPreferences.h"
#include "display/DisplayPainter.h"
#include "display/uDisplayLine.h"
#include "display/uLastMessageFile.h"
#include "protocol/uMessage.h"
#include "services/uFileHelpers.h"
#include "services/uLogs.h"

namespace fs = std::filesystem;
using namespace lumaren;
using namespace lumaren::bench;

namespace {

constexpr int kRounds = 5;

struct TSize {
  int Width;
  int Height;
  const char* Name;
};
const TSize kSizes[] = {{1920, 1080, "1080p"}, {3840, 2160, "2160p"}};
const int kLineCounts[] = {5, 60};

std::string Key(const char* stage, int lines, const char* size = nullptr) {
  std::string key = std::string(stage) + "_" + std::to_string(lines);
  if (size) key += std::string("_") + size;
  return key;
}

void ParseStages(int lines) {
  const std::string bytes = DisplayDataMessage(lines, 1);
  Report(Key("bytes", lines), static_cast<double>(bytes.size()));
  Report(Key("parse_us", lines), MicrosPerCall(2000, kRounds, [&](int) {
           TReceivedMessage message;
           ReadMessage(bytes, message);
         }));
  Report(Key("bare_parse_us", lines), MicrosPerCall(2000, kRounds, [&](int) {
           pugi::xml_document doc;
           doc.load_buffer(bytes.data(), bytes.size());
         }));
  TReceivedMessage message;
  ReadMessage(bytes, message);
  const TXMLNode display = message.Payload("Display");
  TDisplayLineList list;
  Report(Key("apply_us", lines), MicrosPerCall(2000, kRounds, [&](int) { list.XMLRead(display); }));
}

void SaveStages(const fs::path& folder, int lines) {
  const std::string bytes = DisplayDataMessage(lines, 1);
  // Two lengths in turn, so the file is cut back as well as grown.
  const std::string shorter = DisplayDataMessage(lines, 2, 5);
  TLastMessageFile file((folder / "UDPRead.xml").string());
  Report(Key("save_us", lines), MicrosPerCall(2000, kRounds, [&](int i) { file.Replace(i % 2 ? bytes : shorter); }));
  const int fd = ::open((folder / "bare.xml").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  Report(Key("bare_save_us", lines), MicrosPerCall(2000, kRounds, [&](int i) {
           const std::string& b = i % 2 ? bytes : shorter;
           if (::pwrite(fd, b.data(), b.size(), 0) < 0 || ::ftruncate(fd, static_cast<off_t>(b.size())) != 0) {
             std::perror("bare save");
           }
         }));
  ::close(fd);
  // What the rewrite cost before: open with O_TRUNC, write, close.
  Report(Key("trunc_save_us", lines), MicrosPerCall(200, kRounds, [&](int i) {
           const std::string& b = i % 2 ? bytes : shorter;
           const int f = ::open((folder / "trunc.xml").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
           if (f < 0 || ::write(f, b.data(), b.size()) < 0) std::perror("truncating save");
           ::close(f);
         }));
}

void LogStages(const fs::path& folder) {
  FileHelpersModuleStart(platform::TVersionInfo{"Tivora", "Lumaren", "1.0.4.0", "1.0.0.0"});
  LogsModuleStart((folder / "logs").string(), platform::TMachineFacts{}, platform::TDateTimeSeparators{"/", ":"});
  const std::string text = "Display data message received from N/A";
  Report("log_us", MicrosPerCall(5000, kRounds, [&](int) { LogNewSession(text); }));

  // The 1,000,000th entry against the first. A log of a million entries is
  // written, then entries are timed in turns: a thousand at the start of a
  // fresh log, a thousand at the end of the big one (reopened: a start at
  // the same instant appends to the log of that name), ten turns each, so
  // that both are measured under the same load. Each entry is timed on its
  // own; the medians are compared. The big log is moved aside at each end
  // so that the end does not pack it.
  const std::string firstLog = SessionLogFileName();
  fs::remove(firstLog);
  LogsModuleEnd();
  const fs::path bigFolder = folder / "logs-big";
  const auto at = [](int day, int second) {
    return std::chrono::system_clock::time_point(std::chrono::hours(24 * (18262 + day)) + std::chrono::seconds(second));
  };
  const auto startAt = [&](const fs::path& where, std::chrono::system_clock::time_point t) {
    LogsModuleStart(where.string(), platform::TMachineFacts{}, platform::TDateTimeSeparators{"/", ":"}, [t] { return t; });
  };
  constexpr int kEntries = 1000000;
  startAt(bigFolder, at(0, 0));
  const std::string bigLog = SessionLogFileName();
  for (int i = 0; i < kEntries; ++i) LogNewSession(text);
  Report("log_file_mib", static_cast<double>(fs::file_size(bigLog)) / 1048576.0);
  const std::string aside = bigLog + ".aside";
  fs::rename(bigLog, aside);
  LogsModuleEnd();
  const auto timeEntries = [&](std::vector<double>& samples) {
    for (int i = 0; i < 1000; ++i) {
      const std::int64_t start = NowNanos();
      LogNewSession(text);
      samples.push_back(static_cast<double>(NowNanos() - start) / 1000.0);
    }
  };
  std::vector<double> firsts;
  std::vector<double> lasts;
  for (int turn = 0; turn < 10; ++turn) {
    startAt(folder / "logs-fresh", at(1, turn));
    timeEntries(firsts);
    fs::remove(SessionLogFileName());
    LogsModuleEnd();
    fs::rename(aside, bigLog);
    startAt(bigFolder, at(0, 0));
    timeEntries(lasts);
    fs::rename(bigLog, aside);
    LogsModuleEnd();
  }
  fs::remove(aside);
  Report("log_first_us", Percentile(firsts, 50));
  Report("log_last_us", Percentile(lasts, 50));
  FileHelpersModuleEnd();

  const int fd = ::open((folder / "bare.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const std::string line = "2026/12/11 13:45:02.123 | Information | Session | " + text + "\n";
  Report("bare_log_us", MicrosPerCall(5000, kRounds, [&](int) {
           if (::write(fd, line.data(), line.size()) < 0) std::perror("bare log");
         }));
  ::close(fd);
}

// What PaintDisplay draws, without the measuring and the layout: the text
// of each row at the fitted size, centred in the row.
// With the glyph caches the node uses: FreeType's own for text of at most
// 64 pixels, the paint engine's for larger text (see ConfigureGlyphCache).
void BareFittedDraw(QPainter& painter, const QRect& client, const TDisplayLineList& list, int size) {
  painter.fillRect(client, Qt::black);
  QFont font(QString::fromLatin1(CON_FontNameDefault));
  font.setPixelSize(size);
  const bool small = size <= 64 && qgetenv("QT_NO_FT_CACHE") == "1";
  if (small) {
    qunsetenv("QT_NO_FT_CACHE");
    font.setStyleStrategy(QFont::PreferQuality);
  }
  const struct TRestore {
    bool Small;
    ~TRestore() {
      if (Small) qputenv("QT_NO_FT_CACHE", "1");
    }
  } restore{small};
  painter.setFont(font);
  painter.setPen(Qt::white);
  const int rowHeight = client.height() / list.Count();
  for (int i = 0; i < list.Count(); ++i) {
    painter.drawText(QRect(0, rowHeight * i, client.width(), rowHeight), Qt::AlignCenter,
                     QString::fromStdString(list.Items(i).TextCentre));
  }
}

void PaintStages() {
  for (const TSize& s : kSizes) {
    for (const int lines : kLineCounts) {
      TReceivedMessage message;
      ReadMessage(DisplayDataMessage(lines, 1), message);
      TDisplayLineList list;
      list.XMLRead(message.Payload("Display"));
      const TDisplayLook look = ResolveDisplayLook(list, CON_BgColourDefault, CON_FontColourDefault,
                                                   CON_FontNameDefault, false);
      // The window's backing store on the offscreen platform.
      QImage image(s.Width, s.Height, QImage::Format_RGB32);
      const QRect client(0, 0, s.Width, s.Height);
      int fitted = 0;
      {
        QPainter painter(&image);
        fitted = PaintDisplay(painter, client, list, look).value_or(0);
      }
      Report(Key("fitted_px", lines, s.Name), fitted);
      const int iterations = lines == 5 ? 40 : 20;
      // As in the window: the measurements of earlier paints are kept, and
      // every paint shows a new datagram, whose first line is new.
      TTextMeasureCache cache;
      std::uint64_t seq = 1;
      const std::string firstLine = list.Items(0).TextCentre.substr(9);
      const auto nextContent = [&] {
        ++seq;
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "#%08llu", static_cast<unsigned long long>(seq % 100000000));
        list.Items(0).TextCentre = prefix + firstLine;
      };
      Report(Key("paint_us", lines, s.Name), MicrosPerCall(iterations, kRounds, [&](int) {
               nextContent();
               QPainter painter(&image);
               PaintDisplay(painter, client, list, look, &cache);
             }));
      Report(Key("paint_unchanged_us", lines, s.Name), MicrosPerCall(iterations, kRounds, [&](int) {
               QPainter painter(&image);
               PaintDisplay(painter, client, list, look, &cache);
             }));
      Report(Key("paint_uncached_us", lines, s.Name), MicrosPerCall(iterations, kRounds, [&](int) {
               nextContent();
               QPainter painter(&image);
               PaintDisplay(painter, client, list, look);
             }));
      Report(Key("bare_draw_us", lines, s.Name), MicrosPerCall(iterations, kRounds, [&](int) {
               QPainter painter(&image);
               BareFittedDraw(painter, client, list, fitted);
             }));
      // Both again as a node at rest draws: one draw now and then, each
      // after a pause as long as the latency benchmark's between datagrams.
      const auto atRest = [](int count, auto draw) {
        std::vector<double> samples;
        for (int i = 0; i < count; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(35));
          const std::int64_t start = NowNanos();
          draw();
          samples.push_back(static_cast<double>(NowNanos() - start) / 1000.0);
        }
        return samples;
      };
      Report(Key("paint_idle_us", lines, s.Name), Percentile(atRest(30, [&] {
                                                              nextContent();
                                                              QPainter painter(&image);
                                                              PaintDisplay(painter, client, list, look, &cache);
                                                            }),
                                                            50));
      Report(Key("bare_draw_idle_us", lines, s.Name), Percentile(atRest(30, [&] {
                                                                  QPainter painter(&image);
                                                                  BareFittedDraw(painter, client, list, fitted);
                                                                }),
                                                                50));

    }
  }
}

// A bare QUdpSocket receive loop: a thread sends datagrams to it one at a
// time, each after the previous one was read; the loop only reads them.
void ReceiveStage(int lines) {
  const std::string bytes = DisplayDataMessage(lines, 1);
  QUdpSocket socket;
  socket.bind(QHostAddress::LocalHost, 0);
  const quint16 port = socket.localPort();
  constexpr int kCount = 2000;
  std::vector<std::int64_t> sent(kCount, 0);
  std::vector<double> latency;
  std::vector<double> readCost;
  std::atomic<int> received{0};
  std::vector<char> buffer(65536);
  QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
    while (socket.hasPendingDatagrams()) {
      const std::int64_t start = NowNanos();
      const qint64 n = socket.readDatagram(buffer.data(), static_cast<qint64>(buffer.size()));
      const std::int64_t end = NowNanos();
      if (n < 0) break;
      const int index = received.load();
      if (index < kCount) {
        latency.push_back(static_cast<double>(end - sent[static_cast<std::size_t>(index)]) / 1000.0);
        readCost.push_back(static_cast<double>(end - start) / 1000.0);
      }
      received.store(index + 1);
    }
    if (received.load() >= kCount) QCoreApplication::quit();
  });
  std::thread sender([&] {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < kCount; ++i) {
      const std::int64_t deadline = NowNanos() + 1000000000;
      while (received.load() < i && NowNanos() < deadline) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      sent[static_cast<std::size_t>(i)] = NowNanos();
      ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    ::close(fd);
  });
  QTimer::singleShot(60000, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  sender.join();
  Report(Key("bare_recv_latency_p50_us", lines), Percentile(latency, 50));
  Report(Key("bare_recv_latency_p99_us", lines), Percentile(latency, 99));
  Report(Key("bare_recv_read_us", lines), Percentile(readCost, 50));
}

// The bare fitted draw of a whole window at rest, as a latency run's floor:
// count draws, one every 35 ms, of what the run sends (the counter's
// datagram, or with whole its two datagrams whose lines all differ, in
// turn, each at its own fitted size). Run right before and right after each
// latency run, so that the floor sees the machine as the run does.
void FloorStage(int width, int height, int lines, bool whole, int count) {
  QImage image(width, height, QImage::Format_RGB32);
  const QRect client(0, 0, width, height);
  TDisplayLineList turns[2];
  int fitted[2] = {0, 0};
  for (int t = 0; t < 2; ++t) {
    TReceivedMessage message;
    ReadMessage(DisplayDataMessage(lines, 1, whole ? 1 + t : 0), message);
    turns[t].XMLRead(message.Payload("Display"));
    const TDisplayLook look =
        ResolveDisplayLook(turns[t], CON_BgColourDefault, CON_FontColourDefault, CON_FontNameDefault, false);
    QPainter painter(&image);
    fitted[t] = PaintDisplay(painter, client, turns[t], look).value_or(0);
  }
  std::vector<double> samples;
  int turn = 0;
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(35));
    turn = 1 - turn;
    const std::int64_t start = NowNanos();
    {
      QPainter painter(&image);
      BareFittedDraw(painter, client, turns[turn], fitted[turn]);
    }
    samples.push_back(static_cast<double>(NowNanos() - start) / 1000.0);
  }
  Report("floor_us", Percentile(samples, 50));
  Report("floor_p99_us", Percentile(samples, 99));
}

}  // namespace

int main(int argc, char** argv) {
  ConfigureGlyphCache();
  QGuiApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const char* glyph = std::getenv("QT_MAX_CACHED_GLYPH_SIZE");
  Report("glyph_cache_px", glyph ? glyph : "");
  const fs::path folder = fs::temp_directory_path() / ("lumaren-bench-stages-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  if (argc > 6 && std::string(argv[1]) == "floor") {
    FloorStage(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::string(argv[5]) == "1",
               std::atoi(argv[6]));
    return 0;
  }
  const bool paintOnly = argc > 1 && std::string(argv[1]) == "paint";
  if (!paintOnly) {
    for (const int lines : kLineCounts) {
      ParseStages(lines);
      SaveStages(folder, lines);
      ReceiveStage(lines);
    }
    LogStages(folder);
  }
  PaintStages();
  fs::remove_all(folder);
  return 0;
}
