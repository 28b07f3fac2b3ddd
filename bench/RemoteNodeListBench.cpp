// What the remote node list costs as the network grows: simulated nodes
// announce once a second, and the table shows the time per announcement and
// per expiry tick at 100, 1,000 and 10,000 nodes.
//
// First in-process, with made-up datagrams handed to the reader and the tick
// called on a simulated clock; then through real loopback sockets, where a
// sender thread gives every node an address of its own (127.1.x.y, chosen
// per datagram with IP_PKTINFO) and the list's Qt server receives them.
// Sockets are opened, so run it inside the private network namespace:
//   ./scripts/netns.sh build-bench/bin/remote_list_bench [--seconds N] [--in-process-only]

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "protocol/uDeviceNode.h"

namespace {

using namespace lumaren;
using TSteady = std::chrono::steady_clock;

const int CON_NodeCounts[] = {100, 1000, 10000};

double NsSince(TSteady::time_point start) {
  return std::chrono::duration<double, std::nano>(TSteady::now() - start).count();
}

double ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// The address the node of that number announces from: 127.1.0.0 upwards.
std::string NodeAddress(int i) {
  return "127.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
}

std::string NodeAnnouncement(int i) {
  TLocalDeviceNode node;
  node.SetDeviceType(TDeviceType::dtDisplay);
  node.AppName = "Lumaren";
  node.AppVersion = "1.0.4.0";
  node.NodeName = "Node " + std::to_string(i);
  node.Group = i % 16;
  return node.BuildAnnouncement();
}

// A running mean and maximum.
struct TStat {
  double Total = 0;
  double Max = 0;
  long Count = 0;
  void Add(double ns) {
    Total += ns;
    Max = std::max(Max, ns);
    ++Count;
  }
  double Mean() const { return Count ? Total / static_cast<double>(Count) : 0; }
};

// ---- In-process -------------------------------------------------------------

struct TInProcessRow {
  TStat NewNode;
  TStat Announcement;
  TStat Lookup;
  TStat Tick;
  TStat OfflineTick;
};

TInProcessRow RunInProcess(int nodes, int seconds) {
  std::int64_t nowMs = 0;
  TRemoteDeviceNodeList list(platform::CreateQtUDPServer(), platform::CreateQtThreadTimer(),
                             [&] { return TDateTime(std::chrono::milliseconds(nowMs)); });
  long events = 0;
  list.OnRemoteNodeEvent = [&](int, TNodeEvent) { ++events; };

  std::vector<platform::TUDPDatagram> datagrams;
  datagrams.reserve(static_cast<std::size_t>(nodes));
  for (int i = 0; i < nodes; ++i) datagrams.push_back({NodeAnnouncement(i), NodeAddress(i), 50000});

  TInProcessRow row;
  // Every node announces once a second, spread evenly over the second; the
  // tick comes every 100 ms of simulated time.
  std::int64_t nextTick = 100;
  for (int second = 0; second <= seconds; ++second) {
    for (int i = 0; i < nodes; ++i) {
      nowMs = second * 1000LL + i * 1000LL / nodes;
      while (nowMs >= nextTick) {
        const auto start = TSteady::now();
        list.OnExpiryTimer();
        row.Tick.Add(NsSince(start));
        nextTick += 100;
      }
      const auto start = TSteady::now();
      list.ReadAnnouncement(datagrams[static_cast<std::size_t>(i)]);
      (second == 0 ? row.NewNode : row.Announcement).Add(NsSince(start));
    }
  }
  for (int i = 0; i < nodes; ++i) {
    const auto& d = datagrams[static_cast<std::size_t>(i)];
    const auto start = TSteady::now();
    const int index = list.NodeIndex(d.PeerIP, d.PeerPort);
    row.Lookup.Add(NsSince(start));
    if (index != i) std::fprintf(stderr, "lookup of node %d gave %d\n", i, index);
  }
  // Silence: the tick that takes every node offline, with its events.
  nowMs += 5000;
  const auto start = TSteady::now();
  list.OnExpiryTimer();
  row.OfflineTick.Add(NsSince(start));
  if (list.ActiveNodeCount() != 0 || list.Count() != nodes) std::fprintf(stderr, "unexpected list state\n");
  return row;
}

// ---- Loopback sockets -------------------------------------------------------

// Times the read event the list installs on its server.
class TTimedServer final : public platform::TUDPServer {
 public:
  explicit TTimedServer(std::unique_ptr<platform::TUDPServer> inner) : FInner(std::move(inner)) {}
  void AddBinding(const std::string& ip, int port) override { FInner->AddBinding(ip, port); }
  void ClearBindings() override { FInner->ClearBindings(); }
  int BindingCount() const override { return FInner->BindingCount(); }
  platform::TUDPBinding Binding(int index) const override { return FInner->Binding(index); }
  int CurrentPort() const override { return FInner->CurrentPort(); }
  void SetDefaultPort(int port) override { FInner->SetDefaultPort(port); }
  int DefaultPort() const override { return FInner->DefaultPort(); }
  void SetReuseAddress(bool reuse) override { FInner->SetReuseAddress(reuse); }
  bool ReuseAddress() const override { return FInner->ReuseAddress(); }
  void SetActive(bool active) override { FInner->SetActive(active); }
  bool Active() const override { return FInner->Active(); }
  void SetOnRead(platform::TUDPReadEvent handler) override {
    FInner->SetOnRead([this, handler](const platform::TUDPDatagram& d) {
      const auto start = TSteady::now();
      handler(d);
      Read.Add(NsSince(start));
    });
  }
  void Send(const std::string& text, const std::string& host, int port) override { FInner->Send(text, host, port); }
  void Broadcast(const std::string& text, int port) override { FInner->Broadcast(text, port); }

  TStat Read;

 private:
  std::unique_ptr<platform::TUDPServer> FInner;
};

// Times the expiry tick.
class TTimedTimer final : public platform::TThreadTimer {
 public:
  explicit TTimedTimer(std::unique_ptr<platform::TThreadTimer> inner) : FInner(std::move(inner)) {}
  void SetInterval(int ms) override { FInner->SetInterval(ms); }
  int Interval() const override { return FInner->Interval(); }
  void SetEnabled(bool enabled) override { FInner->SetEnabled(enabled); }
  bool Enabled() const override { return FInner->Enabled(); }
  void SetOnTimer(std::function<void()> handler) override {
    FInner->SetOnTimer([this, handler] {
      const auto start = TSteady::now();
      handler();
      Tick.Add(NsSince(start));
    });
  }

  TStat Tick;

 private:
  std::unique_ptr<platform::TThreadTimer> FInner;
};

struct TSocketRow {
  long Sent = 0;
  long SendErrors = 0;
  TStat Read;
  TStat Tick;
  double CpuPerAnnouncementNs = 0;
  int Listed = 0;
  int Online = 0;
  std::string Failure;
};

// Sends every node's announcement once a second for the given seconds, in
// 100 batches a second, each from the node's own address.
void SendAnnouncements(int nodes, int seconds, int port, std::atomic<long>& sent, std::atomic<long>& errors) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    errors = -1;
    return;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  const int buffer = 8 * 1024 * 1024;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);

  std::vector<std::string> texts;
  std::vector<in_addr> sources;
  for (int i = 0; i < nodes; ++i) {
    texts.push_back(NodeAnnouncement(i));
    in_addr a{};
    inet_pton(AF_INET, NodeAddress(i).c_str(), &a);
    sources.push_back(a);
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);

  constexpr int batchesPerSecond = 100;
  auto due = TSteady::now();
  for (int batch = 0; batch < seconds * batchesPerSecond; ++batch) {
    std::this_thread::sleep_until(due);
    const int first = (batch % batchesPerSecond) * nodes / batchesPerSecond;
    const int last = (batch % batchesPerSecond + 1) * nodes / batchesPerSecond;
    for (int i = first; i < last; ++i) {
      const std::string& text = texts[static_cast<std::size_t>(i)];
      iovec iov{const_cast<char*>(text.data()), text.size()};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
      msghdr msg{};
      msg.msg_name = &to;
      msg.msg_namelen = sizeof to;
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
      cmsg->cmsg_level = IPPROTO_IP;
      cmsg->cmsg_type = IP_PKTINFO;
      cmsg->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
      in_pktinfo info{};
      info.ipi_spec_dst = sources[static_cast<std::size_t>(i)];  // the source address of this datagram
      std::memcpy(CMSG_DATA(cmsg), &info, sizeof info);
      if (sendmsg(fd, &msg, 0) == static_cast<ssize_t>(text.size())) {
        ++sent;
      } else {
        ++errors;
      }
    }
    due += std::chrono::milliseconds(1000 / batchesPerSecond);
  }
  close(fd);
}

TSocketRow RunOnSockets(int nodes, int seconds) {
  TSocketRow row;
  auto server = std::make_unique<TTimedServer>(platform::CreateQtUDPServer());
  auto timer = std::make_unique<TTimedTimer>(platform::CreateQtThreadTimer());
  TTimedServer* timedServer = server.get();
  TTimedTimer* timedTimer = timer.get();
  TRemoteDeviceNodeList list(std::move(server), std::move(timer));
  long events = 0;
  list.OnRemoteNodeEvent = [&](int, TNodeEvent) { ++events; };
  list.UpdateUDPServer("127.0.0.1", 0, true);
  if (!list.Listening()) {
    row.Failure = "cannot listen: " + list.BindError();
    return row;
  }

  std::atomic<long> sent{0};
  std::atomic<long> errors{0};
  const double cpuStart = ThreadCpuNs();
  std::thread sender(SendAnnouncements, nodes, seconds, list.ListeningPort(), std::ref(sent), std::ref(errors));
  // A little longer than the sending, so the last datagrams are read.
  QTimer::singleShot(seconds * 1000 + 300, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  sender.join();
  const double cpu = ThreadCpuNs() - cpuStart;

  row.Sent = sent;
  row.SendErrors = errors;
  row.Read = timedServer->Read;
  row.Tick = timedTimer->Tick;
  row.CpuPerAnnouncementNs = row.Read.Count ? cpu / static_cast<double>(row.Read.Count) : 0;
  row.Listed = list.Count();
  row.Online = list.ActiveNodeCount();
  if (errors < 0) row.Failure = "cannot open the sending socket";
  return row;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  int seconds = 5;
  bool sockets = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--in-process-only") {
      sockets = false;
    } else {
      std::fprintf(stderr, "usage: remote_list_bench [--seconds N] [--in-process-only]\n");
      return 2;
    }
  }

  std::printf("Remote node list, every node announcing once a second for %d s\n\n", seconds);
  std::printf("In-process: datagrams handed to the reader, tick every 100 ms of simulated time\n");
  std::printf("%8s %14s %14s %12s %14s %14s %18s\n", "nodes", "new node", "announcement", "lookup", "tick mean",
              "tick max", "tick, all offline");
  RunInProcess(CON_NodeCounts[0], 1);  // warms caches and the allocator, so the first row is fair
  for (const int nodes : CON_NodeCounts) {
    const TInProcessRow r = RunInProcess(nodes, seconds);
    std::printf("%8d %11.2f us %11.2f us %9.0f ns %11.2f us %11.2f us %15.2f us\n", nodes, r.NewNode.Mean() / 1000,
                r.Announcement.Mean() / 1000, r.Lookup.Mean(), r.Tick.Mean() / 1000, r.Tick.Max / 1000,
                r.OfflineTick.Mean() / 1000);
  }

  if (sockets) {
    std::printf("\nLoopback sockets: one sender thread, every node from its own address; the list's Qt server\n");
    std::printf("%8s %9s %9s %7s %14s %14s %16s %12s %12s\n", "nodes", "sent", "read", "lost", "handler mean",
                "handler max", "CPU per datagram", "tick mean", "tick max");
    for (const int nodes : CON_NodeCounts) {
      const TSocketRow r = RunOnSockets(nodes, seconds);
      if (!r.Failure.empty()) {
        std::printf("%8d %s\n", nodes, r.Failure.c_str());
        continue;
      }
      std::printf("%8d %9ld %9ld %7ld %11.2f us %11.2f us %13.2f us %9.2f us %9.2f us   (%d listed, %d online)\n",
                  nodes, r.Sent, r.Read.Count, r.Sent - r.Read.Count, r.Read.Mean() / 1000, r.Read.Max / 1000,
                  r.CpuPerAnnouncementNs / 1000, r.Tick.Mean() / 1000, r.Tick.Max / 1000, r.Listed, r.Online);
      if (r.SendErrors > 0) std::printf("%8s %ld sends failed\n", "", r.SendErrors);
    }
  }
  return 0;
}
