// A network on which 255.255.255.255 has no route: every announcement
// fails, and each failure restarts the UDP server on a fresh port, as the
// heartbeat is designed to do. Over a thousand restarts no descriptor may
// leak, the server must go on receiving, and once the route is back the
// announcements get through again.
//
// Driven in-process with the real Qt server and the real local node, in a
// network namespace of its own: the outer test starts this executable again
// under "unshare -n", where only the inner test runs; a fresh namespace has
// loopback without a broadcast route, which the inner test adds back later.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QUdpSocket>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "protocol/uDeviceNode.h"
#include "support/qt/TEventWait.h"

namespace lumaren {
namespace {

using test::ProcessEventsUntil;
using namespace std::chrono_literals;

const char* const CON_InsideVariable = "LUMAREN_NO_BROADCAST_ROUTE_INSIDE";
constexpr int CON_Restarts = 1000;

int OpenFileCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Lets the event loop run, so that closed sockets are really gone.
void Settle() { ProcessEventsUntil([] { return false; }, 50ms); }

int Shell(const std::string& command) { return std::system(command.c_str()); }

TEST(NoBroadcastRoute, AnnouncementsFailRestartTheServerWithoutLeaksAndResumeWithTheRoute) {
  QProcess inside;
  // Our own program, resolved here: in the child /proc/self/exe is unshare
  // until it runs us.
  const QStringList arguments{"-n", QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string()),
                              "--gtest_filter=NoBroadcastRouteInside.*"};
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(CON_InsideVariable, "1");
  inside.setProcessEnvironment(env);
  inside.setProcessChannelMode(QProcess::MergedChannels);
  inside.start("unshare", arguments);
  ASSERT_TRUE(inside.waitForStarted(10000)) << "cannot run unshare";
  ASSERT_TRUE(inside.waitForFinished(180000)) << "the inner test did not end";
  const std::string output = inside.readAll().toStdString();
  std::printf("%s", output.c_str());
  ASSERT_EQ(inside.exitStatus(), QProcess::NormalExit) << output;
  ASSERT_EQ(inside.exitCode(), 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << "the inner test did not run";
}

// A controller's socket on the discovery port, keeping what arrives.
class TListener {
 public:
  TListener() {
    Bound = FSocket.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress);
    QObject::connect(&FSocket, &QUdpSocket::readyRead, [this] {
      while (FSocket.hasPendingDatagrams()) Senders.push_back(FSocket.receiveDatagram().senderPort());
    });
  }
  quint16 Port() const { return FSocket.localPort(); }
  void SendTo(int port, const std::string& text) {
    FSocket.writeDatagram(text.data(), static_cast<qint64>(text.size()), QHostAddress::LocalHost,
                          static_cast<quint16>(port));
  }
  bool Bound = false;
  std::vector<int> Senders;  // source port of each datagram received

 private:
  QUdpSocket FSocket;
};

TEST(NoBroadcastRouteInside, AnnounceWithoutAndWithTheRoute) {
  if (qEnvironmentVariableIsEmpty(CON_InsideVariable))
    GTEST_SKIP() << "runs in a network namespace of its own, started by NoBroadcastRoute";
  ASSERT_EQ(Shell("ip link set lo up"), 0);
  ASSERT_EQ(Shell("ip route show table local | grep -q 255.255.255.255"), 256) << "the broadcast route exists";

  DeviceNodeModuleStart(platform::QtUDPServerFactory(), platform::QtThreadTimerFactory());
  std::vector<std::string> read;
  UDPServer->SetOnRead([&](const platform::TUDPDatagram& d) { read.push_back(d.Data); });
  UDPServer->SetActive(true);
  TLocalDeviceNode node;
  node.SetDeviceType(TDeviceType::dtDisplay);
  node.NodeName = "Lobby";
  TListener controller;
  ASSERT_TRUE(controller.Bound);

  // The first failure, and whatever Qt opens once, before counting.
  node.Announce(controller.Port());
  Settle();
  const int filesBefore = OpenFileCount();
  std::set<int> ports{UDPServer->CurrentPort()};
  int moves = 0;
  for (int i = 0; i < CON_Restarts; ++i) {
    const int before = UDPServer->CurrentPort();
    node.Announce(controller.Port());
    ASSERT_TRUE(UDPServer->Active());
    ASSERT_EQ(UDPServer->BindingCount(), 1);
    if (UDPServer->CurrentPort() != before) ++moves;
    ports.insert(UDPServer->CurrentPort());
    if (i % 100 == 99) Settle();
  }
  Settle();
  const int filesAfter = OpenFileCount();
  std::printf("no route: %d announcements, %d moved the server to a new port (%zu ports seen), "
              "open files %d before and %d after\n",
              CON_Restarts, moves, ports.size(), filesBefore, filesAfter);
  EXPECT_EQ(filesAfter, filesBefore);
  EXPECT_GT(moves, CON_Restarts * 9 / 10) << "the failed announcements did not restart the server";
  EXPECT_TRUE(controller.Senders.empty());

  // The server on its latest port still receives.
  controller.SendTo(UDPServer->CurrentPort(), "still listening");
  ASSERT_TRUE(ProcessEventsUntil([&] { return !read.empty(); }, 5s));
  EXPECT_EQ(read.back(), "still listening");

  // The heartbeat as the window runs it: every tick fails and restarts.
  const auto heartbeat = platform::CreateQtThreadTimer();
  std::vector<int> tickPorts;
  heartbeat->SetOnTimer([&] {
    node.Announce(controller.Port());
    tickPorts.push_back(UDPServer->CurrentPort());
  });
  heartbeat->SetInterval(200);
  heartbeat->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return tickPorts.size() >= 3; }, 5s));
  heartbeat->SetEnabled(false);
  EXPECT_NE(tickPorts[0], tickPorts[1]);
  EXPECT_NE(tickPorts[1], tickPorts[2]);

  // The route is back: the next announcement gets through from the port
  // the server has, and the server stays on it.
  ASSERT_EQ(Shell("ip route add broadcast 255.255.255.255 dev lo src 127.0.0.1 table local"), 0);
  const int port = UDPServer->CurrentPort();
  tickPorts.clear();
  heartbeat->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return controller.Senders.size() >= 2; }, 5s))
      << "no announcement after the route came back";
  heartbeat->SetEnabled(false);
  EXPECT_EQ(controller.Senders[0], port);
  EXPECT_EQ(controller.Senders[1], port);
  EXPECT_EQ(UDPServer->CurrentPort(), port);
  DeviceNodeModuleEnd();
}

}  // namespace
}  // namespace lumaren
