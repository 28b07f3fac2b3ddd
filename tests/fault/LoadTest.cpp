// The real node under load, watched from outside: a flood of DisplayData,
// a burst while its main thread stands still, and a minute of deeply nested
// datagrams of the largest size. Each test prints its figures (prefixed
// "load:") and checks what must hold whatever the machine's speed: nothing
// handled goes unlogged, nothing the kernel delivered is lost, descriptors
// and memory stay flat, and the node answers at once afterwards. Figures
// mean most from a Release build; scripts/fault-tests.sh runs these tests
// from build-release/.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/TNodeProcess.h"
#include "e2e/TProcFacts.h"

namespace lumaren::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TSteady = std::chrono::steady_clock;

const char* const CON_DisplayDataEntry = "Display data message received from Display";
const char* const CON_AcknowledgeEntry = "Acknowledge message received from Display";

std::string Datagram(int type, const std::string& payload) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VELOMARK><Message Type=\"" + std::to_string(type) +
         "\"/><Device Type=\"2\"/>" + payload + "</VELOMARK>";
}

const std::string CON_Content =
    Datagram(6, R"(<Display Expiry="0" DisplayStyle="0"><Line Left="LH 402" Centre="Frankfurt" Right="B12"/>)"
                R"(<Line Left="BA 917" Centre="London" Right="C3"/></Display>)");
const std::string CON_Acknowledge = Datagram(2, "");

double Ms(TSteady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// A plain UDP socket on the loopback, usable from any thread.
class TSocket {
 public:
  explicit TSocket(int port = 0) {
    FFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    Bound = FFd >= 0 && ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const timeval timeout{0, 100000};
    if (FFd >= 0) ::setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~TSocket() {
    if (FFd >= 0) ::close(FFd);
  }
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  int Port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
  }
  bool SendTo(int port, const std::string& data) const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return ::sendto(FFd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
           static_cast<ssize_t>(data.size());
  }
  // The source port of the next datagram, or nothing within 100 ms.
  std::optional<int> Receive() const {
    char buffer[65536];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    if (::recvfrom(FFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0) return std::nullopt;
    return ntohs(from.sin_port);
  }

  bool Bound = false;

 private:
  int FFd = -1;
};

// The controller's ear on the discovery port: a thread noting when each
// announcement arrived and from which port.
class THeartbeatListener {
 public:
  THeartbeatListener() : FThread([this] { Listen(); }) {}
  ~THeartbeatListener() {
    FStop = true;
    FThread.join();
  }
  int Port() const { return FSocket.Port(); }
  bool Bound() const { return FSocket.Bound; }

  struct TArrival {
    TSteady::time_point At;
    int SenderPort;
  };
  std::vector<TArrival> Arrivals() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FArrivals;
  }
  std::optional<int> WaitForFirst(std::chrono::milliseconds timeout) const {
    const auto deadline = TSteady::now() + timeout;
    while (TSteady::now() < deadline) {
      const auto arrivals = Arrivals();
      if (!arrivals.empty()) return arrivals.front().SenderPort;
      std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
  }

 private:
  void Listen() {
    while (!FStop) {
      if (const auto port = FSocket.Receive()) {
        std::lock_guard<std::mutex> lock(FMutex);
        FArrivals.push_back({TSteady::now(), *port});
      }
    }
  }

  TSocket FSocket;
  mutable std::mutex FMutex;
  std::vector<TArrival> FArrivals;
  std::atomic<bool> FStop{false};
  std::thread FThread;  // last: starts once the rest exists
};

// Reads a growing log from where it left off, counting entries by text.
class TLogTail {
 public:
  explicit TLogTail(fs::path path) : FPath(std::move(path)) {}
  void Poll() {
    std::ifstream in(FPath, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(FOffset));
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FOffset += chunk.size();
    FPending += chunk;
    std::size_t start = 0;
    for (std::size_t end; (end = FPending.find('\n', start)) != std::string::npos; start = end + 1) {
      const TLogEntry entry = ParseLogLine(FPending.substr(start, end - start));
      ++Lines;
      if (entry.Text == CON_DisplayDataEntry) ++DisplayData;
      else if (entry.Text == CON_AcknowledgeEntry) ++Acknowledges;
      else {
        ++Others;
        if (OtherTexts.size() < 5) OtherTexts.push_back(entry.Title + ": " + entry.Text);
      }
    }
    FPending.erase(0, start);
  }
  std::uint64_t Bytes() const { return FOffset; }

  long Lines = 0, DisplayData = 0, Acknowledges = 0, Others = 0;
  std::vector<std::string> OtherTexts;  // the first few

 private:
  fs::path FPath;
  std::uint64_t FOffset = 0;
  std::string FPending;
};

// What /proc says of the node at one moment.
struct TSample {
  int Files = 0;
  long RssKiB = 0;
  std::uint64_t Drops = 0;
  std::uint64_t Queued = 0;
};

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Listener.Bound());
    TNodePreferences prefs;
    prefs.DiscoveryPort = Listener.Port();
    Node.WritePreferences(prefs);
    Node.Start();
    const auto port = Listener.WaitForFirst(15s);
    ASSERT_TRUE(port.has_value()) << "no announcement from the node";
    NodePort = *port;
    const auto logs = Node.LogFiles(".log");
    ASSERT_EQ(logs.size(), 1u);
    Log = std::make_unique<TLogTail>(logs.front());
    // The first datagram opens UDPRead.xml, which then stays open: before
    // any figure is taken.
    ASSERT_TRUE(TimeToAcknowledge(10s).has_value()) << "the node does not answer";
    // The header is no concern of the tests.
    Log->Others = 0;
    Log->OtherTexts.clear();
    std::printf("load: load average at the start %s\n", LoadAverage().c_str());
  }

  void TearDown() override {
    if (Node.Running() && Sender.SendTo(NodePort, Datagram(3, ""))) Node.WaitForExit(5s);
  }

  pid_t Pid() const { return static_cast<pid_t>(Node.Pid()); }

  TSample Sample() const {
    TSample sample;
    sample.Files = OpenFileCount(Pid()).value_or(-1);
    sample.RssKiB = ResidentKiB(Pid()).value_or(-1);
    for (const TUdpSocketFacts& socket : UdpSockets(Pid())) {
      if (socket.LocalPort != NodePort) continue;
      sample.Drops = socket.Drops;
      sample.Queued = socket.Queued;
    }
    return sample;
  }

  // Waits until the node's queue is empty and the log has stopped growing.
  void WaitUntilDrained(std::chrono::seconds timeout) {
    const auto deadline = TSteady::now() + timeout;
    long lines = -1;
    while (TSteady::now() < deadline) {
      std::this_thread::sleep_for(500ms);
      Log->Poll();
      if (Sample().Queued == 0 && Log->Lines == lines) return;
      lines = Log->Lines;
    }
  }

  // Sends an Acknowledge and waits for its entry; the time it took.
  std::optional<TSteady::duration> TimeToAcknowledge(std::chrono::seconds timeout) {
    const long before = Log->Acknowledges;
    const auto sent = TSteady::now();
    if (!Sender.SendTo(NodePort, CON_Acknowledge)) return std::nullopt;
    while (TSteady::now() - sent < timeout) {
      Log->Poll();
      if (Log->Acknowledges > before) return TSteady::now() - sent;
      std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
  }

  THeartbeatListener Listener;
  TNodeProcess Node;
  TSocket Sender;
  int NodePort = 0;
  std::unique_ptr<TLogTail> Log;
};

// 10,000 DisplayData a second for 10 s, paced in 1 ms slices.
TEST_F(LoadTest, TenThousandDisplayDataASecondForTenSeconds) {
  constexpr int CON_PerSecond = 10000;
  constexpr int CON_Seconds = 10;
  constexpr int CON_PerSlice = CON_PerSecond / 1000;
  std::this_thread::sleep_for(1s);  // past the start's own allocations
  const TSample before = Sample();
  const long entriesBefore = Log->DisplayData;

  std::atomic<bool> sending{true};
  std::atomic<long> sent{0};
  const auto floodStart = TSteady::now();
  std::thread flood([&] {
    TSocket socket;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (int slice = 0; slice < CON_Seconds * 1000; ++slice) {
      for (int i = 0; i < CON_PerSlice; ++i)
        if (socket.SendTo(NodePort, CON_Content)) ++sent;
      next.tv_nsec += 1000000;
      if (next.tv_nsec >= 1000000000) {
        next.tv_nsec -= 1000000000;
        ++next.tv_sec;
      }
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
    sending = false;
  });
  TSample peak = before;
  while (sending) {
    std::this_thread::sleep_for(250ms);
    const TSample now = Sample();
    peak.Files = std::max(peak.Files, now.Files);
    peak.RssKiB = std::max(peak.RssKiB, now.RssKiB);
    peak.Queued = std::max(peak.Queued, now.Queued);
  }
  flood.join();
  const auto floodEnd = TSteady::now();
  WaitUntilDrained(60s);
  const auto drained = TSteady::now();
  const TSample after = Sample();
  const auto answer = TimeToAcknowledge(5s);

  const long logged = Log->DisplayData - entriesBefore;
  const long dropped = static_cast<long>(after.Drops - before.Drops);
  const long received = sent - dropped;
  // Heartbeats wholly inside the flood.
  double shortest = 1e9, longest = 0;
  int beats = 0;
  const auto arrivals = Listener.Arrivals();
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    if (arrivals[i - 1].At < floodStart || arrivals[i].At > floodEnd) continue;
    const double gap = Ms(arrivals[i].At - arrivals[i - 1].At);
    shortest = std::min(shortest, gap);
    longest = std::max(longest, gap);
    ++beats;
  }
  std::printf("load: flood sent %ld in %.0f ms; node received %ld, logged %ld, kernel dropped %ld "
              "(queue peak %llu bytes); drained %.0f ms after the flood\n",
              sent.load(), Ms(floodEnd - floodStart), received, logged, dropped,
              static_cast<unsigned long long>(peak.Queued), Ms(drained - floodEnd));
  std::printf("load: heartbeat gaps during the flood: %d, shortest %.1f ms, longest %.1f ms\n", beats, shortest,
              longest);
  std::printf("load: open files %d before, %d peak, %d after; RSS %ld KiB before, %ld KiB peak, %ld KiB after\n",
              before.Files, peak.Files, after.Files, before.RssKiB, peak.RssKiB, after.RssKiB);
  std::printf("load: Acknowledge after the flood handled in %.1f ms; load average %s\n",
              answer ? Ms(*answer) : -1.0, LoadAverage().c_str());

  EXPECT_EQ(sent.load(), CON_PerSecond * CON_Seconds);
  EXPECT_EQ(logged, received) << "handled datagrams without their entry, or entries without a datagram";
  EXPECT_EQ(Log->Others, 0) << "other entries under load, such as " << ::testing::PrintToString(Log->OtherTexts);
  EXPECT_GE(beats, CON_Seconds - 2);
  EXPECT_GE(shortest, 900.0);
  EXPECT_LE(longest, 1100.0);
  EXPECT_EQ(after.Files, before.Files);
  EXPECT_EQ(peak.Files, before.Files);
  EXPECT_LT(after.RssKiB - before.RssKiB, 8 * 1024) << "resident memory grew";
  ASSERT_TRUE(answer.has_value()) << "no answer to an Acknowledge after the flood";
  EXPECT_LT(Ms(*answer), 500.0);
  EXPECT_EQ(UdpSockets(Pid()).size(), 1u);
  EXPECT_EQ(Listener.Arrivals().back().SenderPort, NodePort) << "the node moved to another port";
}

// 10,000 DisplayData sent as fast as possible while the node is stopped for
// 2 s: its receive buffer keeps what it can and the kernel drops the rest
// (so a datagram sent while the queue is still full is lost as well). After
// SIGCONT the node works off what was kept, and then answers at once.
TEST_F(LoadTest, BurstWhileTheNodeStandsStillForTwoSeconds) {
  constexpr int CON_Burst = 10000;
  const TSample before = Sample();
  const long entriesBefore = Log->DisplayData;

  ASSERT_EQ(::kill(Pid(), SIGSTOP), 0);
  const auto stopped = TSteady::now();
  long sent = 0;
  for (int i = 0; i < CON_Burst; ++i)
    if (Sender.SendTo(NodePort, CON_Content)) ++sent;
  const auto burstTime = TSteady::now() - stopped;
  std::this_thread::sleep_until(stopped + 2s);
  const TSample held = Sample();
  ASSERT_EQ(::kill(Pid(), SIGCONT), 0);
  const auto resumed = TSteady::now();
  std::optional<TSteady::duration> workedOff;
  while (!workedOff && TSteady::now() - resumed < 60s) {
    if (Sample().Queued == 0) workedOff = TSteady::now() - resumed;
    std::this_thread::sleep_for(1ms);
  }
  const auto beat = [&] {
    const auto arrivals = Listener.Arrivals();
    return std::any_of(arrivals.begin(), arrivals.end(), [&](const auto& a) { return a.At > resumed; });
  };
  const auto beatDeadline = TSteady::now() + 2s;
  while (!beat() && TSteady::now() < beatDeadline) std::this_thread::sleep_for(10ms);
  WaitUntilDrained(30s);
  const auto answer = TimeToAcknowledge(5s);
  const TSample after = Sample();

  const long logged = Log->DisplayData - entriesBefore;
  const long dropped = static_cast<long>(after.Drops - before.Drops);
  std::printf("load: burst of %ld sent in %.0f ms to the stopped node; %llu bytes held in its queue, "
              "%ld kept and logged, %ld dropped by the kernel\n",
              sent, Ms(burstTime), static_cast<unsigned long long>(held.Queued), logged, dropped);
  std::printf("load: queue worked off %.0f ms after SIGCONT; an Acknowledge then handled in %.1f ms; "
              "load average %s\n",
              workedOff ? Ms(*workedOff) : -1.0, answer ? Ms(*answer) : -1.0, LoadAverage().c_str());

  EXPECT_EQ(sent, CON_Burst);
  EXPECT_EQ(logged + dropped, sent);
  EXPECT_GT(logged, 0);
  EXPECT_TRUE(workedOff.has_value()) << "the queue was never empty again";
  EXPECT_TRUE(beat()) << "no announcement after SIGCONT";
  EXPECT_EQ(after.Files, before.Files);
  ASSERT_TRUE(answer.has_value()) << "no answer after the burst";
  EXPECT_LT(Ms(*answer), 500.0) << "a backlog was left";
}

// The largest datagram the node reads, nested as deep as its size allows,
// one at a time without a pause.
std::string DeeplyNested(std::size_t size) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><VELOMARK><Message Type=\"6\"/><Device Type=\"2\"/>"
                           "<Display Expiry=\"0\"><Line Centre=\"deep\"/>";
  const std::string tail = "</Display></VELOMARK>";
  const std::size_t depth = (size - head.size() - tail.size()) / 7;  // "<a>" and "</a>"
  std::string text = head;
  for (std::size_t i = 0; i < depth; ++i) text += "<a>";
  for (std::size_t i = 0; i < depth; ++i) text += "</a>";
  text += tail;
  // Pad with a comment to the exact size.
  const std::size_t missing = size - text.size();
  if (missing >= 7) text.insert(head.size(), "<!--" + std::string(missing - 7, 'x') + "-->");
  else text.insert(head.size(), std::string(missing, ' '));
  return text;
}

// 100 a second for 60 s of the largest, deepest datagrams: the disk takes
// no more than they carry (UDPRead.xml at most one datagram, one log line
// each), and the node is as it was before.
TEST_F(LoadTest, DeeplyNestedLargestDatagramsForAMinuteWriteOnlyWhatTheyCarry) {
  constexpr int CON_PerSecond = 100;
  constexpr int CON_Seconds = 60;
  const std::string datagram = DeeplyNested(8192);
  ASSERT_EQ(datagram.size(), 8192u);
  const fs::path copy = Node.WorkDir() / "UDPRead.xml";
  const TSample before = Sample();
  const auto writtenBefore = WrittenBytes(Pid());
  ASSERT_TRUE(writtenBefore.has_value());
  const long linesBefore = Log->Lines;
  const std::uint64_t logBefore = Log->Bytes();

  std::uintmax_t largestCopy = 0;
  long sent = 0;
  TSample peak = before;
  const auto start = TSteady::now();
  for (int i = 0; i < CON_PerSecond * CON_Seconds; ++i) {
    std::this_thread::sleep_until(start + i * 10ms);
    if (Sender.SendTo(NodePort, datagram)) ++sent;
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(copy, ec);
    if (!ec) largestCopy = std::max(largestCopy, size);
    if (i % 100 == 0) {
      const TSample now = Sample();
      peak.Files = std::max(peak.Files, now.Files);
      peak.RssKiB = std::max(peak.RssKiB, now.RssKiB);
    }
  }
  WaitUntilDrained(30s);
  const TSample after = Sample();
  const auto writtenAfter = WrittenBytes(Pid());
  ASSERT_TRUE(writtenAfter.has_value());
  const long lines = Log->Lines - linesBefore;
  const std::uint64_t logGrowth = Log->Bytes() - logBefore;
  const std::uint64_t written = *writtenAfter - *writtenBefore;
  std::printf("load: %ld nested datagrams of %zu bytes; log +%ld lines (+%llu bytes, %s); UDPRead.xml at most "
              "%llu bytes; %llu bytes written in all, %.0f per datagram; kernel dropped %llu\n",
              sent, datagram.size(), lines, static_cast<unsigned long long>(logGrowth),
              Log->DisplayData > 0 ? "applied" : "refused", static_cast<unsigned long long>(largestCopy),
              static_cast<unsigned long long>(written), sent ? static_cast<double>(written) / sent : 0.0,
              static_cast<unsigned long long>(after.Drops - before.Drops));
  std::printf("load: open files %d before, %d peak, %d after; RSS %ld KiB before, %ld KiB peak, %ld KiB after; "
              "load average %s\n",
              before.Files, peak.Files, after.Files, before.RssKiB, peak.RssKiB, after.RssKiB, LoadAverage().c_str());

  EXPECT_EQ(sent, CON_PerSecond * CON_Seconds);
  EXPECT_EQ(after.Drops, before.Drops);
  EXPECT_EQ(lines, sent) << "not one log line per datagram";
  EXPECT_LE(largestCopy, datagram.size());
  EXPECT_EQ(ReadFile(copy), datagram);
  EXPECT_LE(logGrowth, static_cast<std::uint64_t>(sent) * 200);
  // The copy and the line of each datagram, and a little for the rest.
  EXPECT_LE(written, static_cast<std::uint64_t>(sent) * (datagram.size() + 200) + 64 * 1024);
  EXPECT_EQ(after.Files, before.Files);
  EXPECT_LT(after.RssKiB - before.RssKiB, 8 * 1024) << "resident memory grew";
  const auto answer = TimeToAcknowledge(5s);
  ASSERT_TRUE(answer.has_value());
  EXPECT_LT(Ms(*answer), 500.0);
}

}  // namespace
}  // namespace lumaren::test
