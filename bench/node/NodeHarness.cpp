// The display node program itself, its main block unchanged, run in this
// process with an observer attached from outside: an application-wide event
// filter notes the end of every paint of the main window and which datagram
// it shows, and a thread plays the controller, sending DisplayData to the
// node's port over loopback. Nothing in the program knows it is observed.
//   lumaren_bench_node latency WIDTH HEIGHT LINES COUNT
//       COUNT datagrams, each sent to an idle node once the previous one
//       is on screen: datagram-to-screen latency. Each datagram changes the
//       counter at the start of its first line.
//   lumaren_bench_node latency-whole WIDTH HEIGHT LINES COUNT
//       The same with every line new in every datagram, and the fitted
//       size changing, so that every paint redraws the whole window.
//   lumaren_bench_node rate WIDTH HEIGHT LINES COUNT PER_SECOND
//       COUNT datagrams paced at PER_SECOND: handled, logged and lost.
//   lumaren_bench_node soak WIDTH HEIGHT LINES COUNT
//       COUNT datagrams as fast as the node takes them (at most a hundred
//       in flight): resident memory after the first thousand and at the end.
//   lumaren_bench_node trace
//       Prints when the first paint and the first paint of the default
//       screen end, then closes the window.
// Results are key=value lines on stdout; times are CLOCK_MONOTONIC.

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "display/main.h"
#include "protocol/uDeviceNode.h"
#include "services/uLogs.h"

// display/Lumaren.cpp's main, renamed by the build for this program.
int LumarenProgramMain(int argc, char* argv[]);

namespace {

using namespace lumaren;
using namespace lumaren::bench;

struct TConfig {
  std::string Mode;
  int Width = 1920;
  int Height = 1080;
  int Lines = 5;
  int Count = 0;
  double Rate = 0;
};

// Datagrams of a latency run left out of its percentiles.
constexpr std::int64_t kWarmUp = 10;

bool IsLatencyMode(const std::string& mode) { return mode == "latency" || mode == "latency-whole"; }

// Notes when the machine stops: a thread that only sleeps 2 ms at a time and
// reads the clock, run beside the node during the latency runs. A gap of
// more than 5 ms means that no core ran it (on a virtual machine: the host
// stopped the guest). It wakes seldom enough not to slow the node.
class TStallProbe {
 public:
  struct TStall {
    std::int64_t Start;
    std::int64_t End;
  };

  void Start() {
    FThread = std::thread([this] {
      std::int64_t previous = NowNanos();
      while (!FStop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::int64_t now = NowNanos();
        if (now - previous > 5000000) FStalls.push_back({previous + 2000000, now});
        previous = now;
      }
    });
  }

  std::vector<TStall> Stop() {
    FStop.store(true);
    if (FThread.joinable()) FThread.join();
    return FStalls;
  }

 private:
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::vector<TStall> FStalls;
};

// One paint of the main window: when it ended and which datagram it showed.
struct TFrame {
  std::int64_t End = 0;
  std::int64_t Seq = -1;
  std::int64_t Cost = 0;
};

struct THarnessState {
  TConfig Config;
  TfmMain* Window = nullptr;
  int Port = 0;
  std::string LogFile;
  std::thread Sender;

  // Written by the main thread.
  std::atomic<std::int64_t> Handled{0};
  std::atomic<std::int64_t> LastShownSeq{-1};
  std::atomic<std::int64_t> LastShownEnd{0};
  std::mutex ShownMutex;
  std::condition_variable ShownChanged;
  std::vector<TFrame> Frames;  // not in soak mode
  TStallProbe Probe;
  std::vector<std::int64_t> HandleCost;
  double HandleFirstSum = 0;
  double HandleLastSum = 0;
  int UpdateDepth = 0;
  long PaintsInUpdate = 0;
  long Paints = 0;
  bool TracedFirstPaint = false;

  // Written by the sender before the main thread reads them at the end.
  std::vector<std::int64_t> Sent;
  std::int64_t SentCount = 0;
  double SendSeconds = 0;
  long KernelDrops = 0;
  long Logged = -1;
  long RssAfterFirst = 0;
  long RssAtEnd = 0;
  long AnonAfterFirst = 0;
  long AnonAtEnd = 0;
};

THarnessState* G = nullptr;


std::int64_t ShownSeq() {
  const TDisplayLineList& list = G->Window->DisplayLineList();
  return list.Count() > 0 ? SeqOfText(list.Items(0).TextCentre) : -1;
}

void NoteFrame(std::int64_t seq, std::int64_t start, std::int64_t end) {
  if (G->Config.Mode != "soak" && G->Frames.size() < G->Frames.capacity()) G->Frames.push_back({end, seq, end - start});
  if (seq >= 0) {
    {
      const std::lock_guard<std::mutex> lock(G->ShownMutex);
      G->LastShownSeq.store(seq);
      G->LastShownEnd.store(end);
    }
    G->ShownChanged.notify_all();
  }
}

void SendSleepUntil(std::int64_t due) {
  const std::int64_t now = NowNanos();
  if (due <= now) return;
  timespec ts{};
  ts.tv_sec = due / 1000000000;
  ts.tv_nsec = due % 1000000000;
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

long CountLoggedDisplayData(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  long count = 0;
  while (std::getline(in, line)) {
    if (line.find("Display data message received") != std::string::npos) ++count;
  }
  return count;
}

// Waits until the node has handled every datagram sent or has handled
// nothing more for a second.
void Settle(std::int64_t sent) {
  std::int64_t last = -1;
  std::int64_t since = NowNanos();
  while (G->Handled.load() < sent) {
    const std::int64_t handled = G->Handled.load();
    if (handled != last) {
      last = handled;
      since = NowNanos();
    } else if (NowNanos() - since > 1000000000) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void RunSender() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  const TConfig& c = G->Config;
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(G->Port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const auto send = [&](const std::string& bytes) {
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  // Let the resize to the measured size settle first.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long dropsBefore = UdpReceiveBufferErrors();

  if (IsLatencyMode(c.Mode)) {
    for (int i = 0; i < c.Count; ++i) {
      const int width = c.Mode == "latency-whole" ? 1 + i % 2 : 0;
      const std::string bytes = DisplayDataMessage(c.Lines, static_cast<std::uint64_t>(i), width);
      // A node at rest: two frames after the previous datagram was shown.
      std::this_thread::sleep_for(std::chrono::milliseconds(35));
      G->Sent[static_cast<std::size_t>(i)] = NowNanos();
      send(bytes);
      // Waits without polling: a thread that woke every 100 µs to look took
      // enough of the machine to slow the node's paint by a fifth.
      std::unique_lock<std::mutex> lock(G->ShownMutex);
      G->ShownChanged.wait_for(lock, std::chrono::seconds(2), [i] { return G->LastShownSeq.load() >= i; });
    }
    G->SentCount = c.Count;
  } else if (c.Mode == "rate") {
    // Built in advance, so the pace is the socket's, not the XML writer's.
    std::vector<std::string> messages;
    for (int i = 0; i < c.Count; ++i) messages.push_back(DisplayDataMessage(c.Lines, static_cast<std::uint64_t>(i)));
    const std::int64_t gap = static_cast<std::int64_t>(1e9 / c.Rate);
    const std::int64_t start = NowNanos();
    for (int i = 0; i < c.Count; ++i) {
      SendSleepUntil(start + gap * i);
      G->Sent[static_cast<std::size_t>(i)] = NowNanos();
      send(messages[static_cast<std::size_t>(i)]);
    }
    G->SendSeconds = static_cast<double>(NowNanos() - start) / 1e9;
    G->SentCount = c.Count;
    Settle(c.Count);
  } else if (c.Mode == "soak") {
    std::string bytes;
    for (std::int64_t i = 0; i < c.Count; ++i) {
      bytes = DisplayDataMessage(c.Lines, static_cast<std::uint64_t>(i), static_cast<int>(i % 6));
      // A datagram lost on the way must not stop the run: the wait ends.
      const std::int64_t waitEnd = NowNanos() + 2000000000;
      while (i - G->Handled.load() > 100 && NowNanos() < waitEnd) {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
      // The first thousand are spread over two seconds, so that the node
      // paints them at its frame rate (some 120 frames, every text width many
      // times) and its caches are warm when the first figure is taken; sent
      // at full speed they would pass in a frame or two.
      if (i < 1000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      send(bytes);
      if (i + 1 == 1000) {
        Settle(1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        G->RssAfterFirst = RssKiB();
        G->AnonAfterFirst = RssAnonKiB();
      }
    }
    G->SentCount = c.Count;
    Settle(c.Count);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    G->RssAtEnd = RssKiB();
    G->AnonAtEnd = RssAnonKiB();
  }
  G->KernelDrops = UdpReceiveBufferErrors() - dropsBefore;
  // The frame that shows the last state has ended well before this.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  G->Logged = CountLoggedDisplayData(G->LogFile);
  send(ShutdownMessage());
  ::close(fd);
}

class THarness : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!G->Window) {
      if (event->type() == QEvent::Show) {
        if (auto* window = dynamic_cast<TfmMain*>(watched)) {
          if (G->Config.Mode == "trace") Report("window_shown_ns", static_cast<double>(NowNanos()));
          G->Window = window;
          QTimer::singleShot(0, this, [] { Begin(); });
        }
      }
      return false;
    }
    if (watched != G->Window) return false;
    if (event->type() == QEvent::UpdateRequest) {
      // The paint and the hand-over of the picture to the window system.
      const long paintsBefore = G->Paints;
      const std::int64_t seq = ShownSeq();
      const std::int64_t start = NowNanos();
      ++G->UpdateDepth;
      static_cast<QObject*>(G->Window)->event(event);
      --G->UpdateDepth;
      if (G->Paints != paintsBefore) NoteFrame(seq, start, NowNanos());
      return true;
    }
    if (event->type() == QEvent::Paint) {
      const std::int64_t seq = ShownSeq();
      const std::int64_t start = NowNanos();
      static_cast<QObject*>(G->Window)->event(event);
      const std::int64_t end = NowNanos();
      ++G->Paints;
      if (G->UpdateDepth == 0) NoteFrame(seq, start, end);
      if (G->Config.Mode == "trace") Trace(end);
      return true;
    }
    return false;
  }

 private:
  static void Trace(std::int64_t end) {
    if (!G->TracedFirstPaint) {
      G->TracedFirstPaint = true;
      Report("first_paint_ns", static_cast<double>(end));
    }
    // The default screen is drawn once the resize timer has fired.
    if (!G->Window->tmrResize->Enabled() && G->Window->DisplayLineList().Count() > 0) {
      Report("first_content_paint_ns", static_cast<double>(end));
      QTimer::singleShot(0, G->Window, [] { G->Window->close(); });
      G->Config.Mode = "traced";
    }
  }

  static void Begin() {
    const TConfig& c = G->Config;
    if (c.Mode == "trace" || c.Mode == "traced") return;
    G->Window->setGeometry(0, 0, c.Width, c.Height);
    G->Port = UDPServer ? UDPServer->CurrentPort() : 0;
    G->LogFile = SessionLogFileName();
    // The window's own handler, timed and counted.
    TfmMain* window = G->Window;
    UDPServer->SetOnRead([window](const platform::TUDPDatagram& datagram) {
      const std::int64_t start = NowNanos();
      window->UDPRead(datagram);
      const std::int64_t cost = NowNanos() - start;
      const std::int64_t index = G->Handled.load();
      if (G->Config.Mode == "soak") {
        // The second thousand: the first are sent slowly, each to a node at rest.
        if (index >= 1000 && index < 2000) G->HandleFirstSum += static_cast<double>(cost);
        if (index >= G->Config.Count - 1000 && index < G->Config.Count) G->HandleLastSum += static_cast<double>(cost);
      } else if (index < static_cast<std::int64_t>(G->HandleCost.size())) {
        G->HandleCost[static_cast<std::size_t>(index)] = cost;
      }
      G->Handled.store(index + 1);
    });
    if (IsLatencyMode(c.Mode)) G->Probe.Start();
    G->Sender = std::thread(RunSender);
  }
};

void InstallHarness() {
  if (G->Config.Mode == "trace") Report("app_ready_ns", static_cast<double>(NowNanos()));
  qApp->installEventFilter(new THarness(qApp));
}

double Micros(std::int64_t nanos) { return static_cast<double>(nanos) / 1000.0; }

void ReportResults() {
  const TConfig& c = G->Config;
  Report("sent", static_cast<double>(G->SentCount));
  // The Shutdown at the end is no DisplayData.
  const std::int64_t handled = std::min<std::int64_t>(G->Handled.load(), G->SentCount);
  Report("handled", static_cast<double>(handled));
  Report("logged", static_cast<double>(G->Logged));
  Report("kernel_drops", static_cast<double>(G->KernelDrops));
  Report("lost", static_cast<double>(G->SentCount - handled));
  if (c.Mode == "soak") {
    Report("rss_after_1000_kib", static_cast<double>(G->RssAfterFirst));
    Report("rss_at_end_kib", static_cast<double>(G->RssAtEnd));
    Report("anon_after_1000_kib", static_cast<double>(G->AnonAfterFirst));
    Report("anon_at_end_kib", static_cast<double>(G->AnonAtEnd));
    Report("handle_second_1000_us", G->HandleFirstSum / 1000.0 / 1000.0);
    Report("handle_last_1000_us", G->HandleLastSum / 1000.0 / 1000.0);
    return;
  }
  std::vector<double> handle;
  for (std::int64_t i = 0; i < handled && i < static_cast<std::int64_t>(G->HandleCost.size()); ++i) {
    handle.push_back(Micros(G->HandleCost[static_cast<std::size_t>(i)]));
  }
  Report("handle_p50_us", Percentile(handle, 50));
  // Each datagram against the end of the first paint that showed it or a
  // later one. The first few find the glyphs of the run's text uncached and
  // are left out of the percentiles (the very first is reported apart);
  // those during which the machine stopped are counted apart too.
  const std::vector<TStallProbe::TStall> stalls = G->Probe.Stop();
  std::vector<double> latency;
  std::vector<double> latencyClear;
  std::vector<double> lag;
  std::vector<double> frameCost;
  double first = 0;
  long stalled = 0;
  std::size_t f = 0;
  for (std::int64_t seq = 0; seq < G->SentCount; ++seq) {
    while (f < G->Frames.size() && G->Frames[f].Seq < seq) ++f;
    if (f == G->Frames.size()) break;
    const std::int64_t sent = G->Sent[static_cast<std::size_t>(seq)];
    const double micros = Micros(G->Frames[f].End - sent);
    if (seq == 0) first = micros;
    if (seq < kWarmUp) continue;
    latency.push_back(micros);
    const bool hit = std::any_of(stalls.begin(), stalls.end(), [&](const TStallProbe::TStall& stall) {
      return stall.Start < G->Frames[f].End && stall.End > sent;
    });
    if (hit) {
      ++stalled;
    } else {
      latencyClear.push_back(micros);
    }
  }
  std::int64_t previousEnd = 0;
  double shortestGap = 1e300;
  long contentFrames = 0;
  for (const TFrame& frame : G->Frames) {
    if (frame.Seq < 0 || frame.Seq >= G->SentCount) continue;
    ++contentFrames;
    lag.push_back(Micros(frame.End - G->Sent[static_cast<std::size_t>(frame.Seq)]));
    frameCost.push_back(Micros(frame.Cost));
    if (previousEnd != 0) shortestGap = std::min(shortestGap, Micros(frame.End - frame.Cost - previousEnd));
    previousEnd = frame.End;
  }
  Report("frames", static_cast<double>(contentFrames));
  Report("frame_p50_us", Percentile(frameCost, 50));
  if (IsLatencyMode(c.Mode)) {
    Report("latency_first_us", first);
    Report("latency_warm_up", static_cast<double>(kWarmUp));
    Report("latency_p50_us", Percentile(latency, 50));
    Report("latency_p99_us", Percentile(latency, 99));
    Report("latency_max_us", Percentile(latency, 100));
    Report("latency_clear_p50_us", Percentile(latencyClear, 50));
    Report("latency_clear_p99_us", Percentile(latencyClear, 99));
    Report("latency_stalled", static_cast<double>(stalled));
    Report("latency_samples", static_cast<double>(latency.size()));
    double stalledMs = 0;
    for (const auto& stall : stalls) stalledMs += static_cast<double>(stall.End - stall.Start) / 1e6;
    Report("stalls", static_cast<double>(stalls.size()));
    Report("stalls_ms", stalledMs);
    double longest = 0;
    for (const auto& stall : stalls) longest = std::max(longest, static_cast<double>(stall.End - stall.Start) / 1e6);
    Report("stall_longest_ms", longest);
  } else {
    Report("send_seconds", G->SendSeconds);
    Report("send_rate", static_cast<double>(G->SentCount) / G->SendSeconds);
    // How old the newest datagram on screen was when its frame ended.
    Report("lag_p50_us", Percentile(lag, 50));
    Report("lag_p99_us", Percentile(lag, 99));
    Report("frame_gap_min_us", shortestGap == 1e300 ? 0 : shortestGap);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  THarnessState state;
  G = &state;
  TConfig& c = state.Config;
  c.Mode = argc > 1 ? argv[1] : "latency";
  if (argc > 5) {
    c.Width = std::atoi(argv[2]);
    c.Height = std::atoi(argv[3]);
    c.Lines = std::atoi(argv[4]);
    c.Count = std::atoi(argv[5]);
  }
  if (argc > 6) c.Rate = std::atof(argv[6]);
  if (c.Mode != "soak" && c.Mode != "trace") {
    state.Sent.assign(static_cast<std::size_t>(c.Count), 0);
    state.HandleCost.assign(static_cast<std::size_t>(c.Count), 0);
    state.Frames.reserve(static_cast<std::size_t>(c.Count) + 100000);
  }
  qAddPreRoutine(InstallHarness);
  char* programArgv[] = {argv[0], nullptr};
  const int status = LumarenProgramMain(1, programArgv);
  if (state.Sender.joinable()) state.Sender.join();
  if (c.Mode != "trace" && c.Mode != "traced") ReportResults();
  G = nullptr;
  return status;
}
