// The local node's announcement over the Qt UDP server on real sockets, in
// the test network namespace where 255.255.255.255 is routed to loopback.
// Receivers bind port 0 (or share the discovery port) and wait with a
// deadline; datagrams from other senders are ignored by source port.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/VersionInfo.h"
#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"
#include "services/uFileHelpers.h"
#include "support/qt/TEventWait.h"

namespace lumaren {
namespace {

using test::ProcessEventsUntil;
using namespace std::chrono_literals;

// A controller's socket: keeps every datagram sent from one source port.
class TReceiver {
 public:
  explicit TReceiver(quint16 port = 0, bool share = false) {
    const auto mode = share ? QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint
                            : QAbstractSocket::DontShareAddress;
    Bound = FSocket.bind(QHostAddress::AnyIPv4, port, mode);
    QObject::connect(&FSocket, &QUdpSocket::readyRead, [this] {
      while (FSocket.hasPendingDatagrams()) {
        const QNetworkDatagram d = FSocket.receiveDatagram();
        if (SourcePort == 0 || d.senderPort() == SourcePort) {
          Received.push_back({d.data().toStdString(), d.senderPort()});
        }
      }
    });
  }
  quint16 Port() const { return FSocket.localPort(); }
  bool WaitFor(std::size_t count) { return ProcessEventsUntil([&] { return Received.size() >= count; }); }
  void SendTo(int port, const std::string& text) {
    FSocket.writeDatagram(text.data(), static_cast<qint64>(text.size()), QHostAddress::LocalHost,
                          static_cast<quint16>(port));
  }

  struct TDatagram {
    std::string Data;
    int SenderPort = 0;
  };
  bool Bound = false;
  int SourcePort = 0;  // 0: keep datagrams from every sender
  std::vector<TDatagram> Received;

 private:
  QUdpSocket FSocket;
};

int OpenFileCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// The module over the real server, listening on a port the system chose, as
// the main window leaves it after applying the preferences.
class AnnounceOnSockets : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceNodeModuleStart(platform::QtUDPServerFactory(), platform::QtThreadTimerFactory());
    UDPServer->SetOnRead([this](const platform::TUDPDatagram& d) { Read.push_back(d.Data); });
    UDPServer->AddBinding("", 0);
    UDPServer->SetActive(true);
    ASSERT_NE(UDPServer->CurrentPort(), 0);
    ASSERT_TRUE(Receiver.Bound);
    Receiver.SourcePort = UDPServer->CurrentPort();
    Node.SetDeviceType(TDeviceType::dtDisplay);
    Node.AppName = "Lumaren";
    Node.AppVersion = "1.0.4.0";
    Node.NodeName = "Lobby";
    Node.Group = 3;
  }
  void TearDown() override { DeviceNodeModuleEnd(); }

  TReceiver Receiver;
  TLocalDeviceNode Node;
  std::vector<std::string> Read;  // what UDPServer received
};

TEST_F(AnnounceOnSockets, TwoAnnouncementsLeaveFromTheListeningPortWithRefreshInTheFirst) {
  Node.Refresh = true;
  Node.Announce(Receiver.Port());
  Node.Announce(Receiver.Port());
  ASSERT_TRUE(Receiver.WaitFor(2));
  ASSERT_EQ(Receiver.Received.size(), 2u);
  for (const auto& d : Receiver.Received) EXPECT_EQ(d.SenderPort, UDPServer->CurrentPort());

  TReceivedMessage first;
  ReadMessage(Receiver.Received[0].Data, first);
  EXPECT_EQ(first.Type, TMessageType::mtAnnounce);
  EXPECT_EQ(first.Message.attribute("Refresh").value(), std::string("-1"));
  EXPECT_EQ(GetXMLAtt(first.Payload("Device"), "Type", 0), 2);
  EXPECT_EQ(GetXMLAtt(first.Payload("Node"), "Name", "N/A"), "Lobby");
  EXPECT_EQ(GetXMLAtt(first.Payload("Node"), "Group", 0), 3);

  TReceivedMessage second;
  ReadMessage(Receiver.Received[1].Data, second);
  EXPECT_EQ(second.Type, TMessageType::mtAnnounce);
  EXPECT_FALSE(second.Message.attribute("Refresh"));
}

TEST_F(AnnounceOnSockets, FailedSendMovesTheServerToANewPortThatStillReceives) {
  Node.Refresh = true;
  Node.Announce(70000);
  ASSERT_TRUE(UDPServer->Active());
  ASSERT_EQ(UDPServer->BindingCount(), 1);
  EXPECT_EQ(UDPServer->DefaultPort(), 0);
  const int newPort = UDPServer->CurrentPort();
  ASSERT_NE(newPort, 0);

  // Commands reach the server at its new port...
  Receiver.SendTo(newPort, "hello");
  ASSERT_TRUE(ProcessEventsUntil([&] { return !Read.empty(); }));
  EXPECT_EQ(Read.front(), "hello");

  // ...and announcements now leave from it, without the consumed Refresh.
  Receiver.SourcePort = newPort;
  Node.Announce(Receiver.Port());
  ASSERT_TRUE(Receiver.WaitFor(1));
  EXPECT_EQ(Receiver.Received[0].SenderPort, newPort);
  TReceivedMessage read;
  ReadMessage(Receiver.Received[0].Data, read);
  EXPECT_FALSE(read.Message.attribute("Refresh"));
}

TEST_F(AnnounceOnSockets, NameWithLineBreakArrivesWhole) {
  Node.NodeName = "Lobby\r\nEast wing";
  Node.Announce(Receiver.Port());
  ASSERT_TRUE(Receiver.WaitFor(1));
  TReceivedMessage read;
  ReadMessage(Receiver.Received[0].Data, read);
  EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), "Lobby\r\nEast wing");
}

TEST_F(AnnounceOnSockets, VeryLongNameStillArrives) {
  Node.NodeName = std::string(20000, 'x');
  Node.Announce(Receiver.Port());
  ASSERT_TRUE(Receiver.WaitFor(1));
  EXPECT_LE(Receiver.Received[0].Data.size(), static_cast<std::size_t>(platform::CON_UDPMaxDatagramSize));
  TReceivedMessage read;
  ReadMessage(Receiver.Received[0].Data, read);
  EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A").substr(0, 10), "xxxxxxxxxx");
}

TEST_F(AnnounceOnSockets, RepeatedRestartsLeakNoSocket) {
  Node.Announce(70000);
  ProcessEventsUntil([] { return false; }, 50ms);  // let closed sockets go
  const int before = OpenFileCount();
  for (int i = 0; i < 50; ++i) Node.Announce(70000);
  ProcessEventsUntil([] { return false; }, 50ms);
  EXPECT_EQ(OpenFileCount(), before);
  EXPECT_TRUE(UDPServer->Active());
}

// The heartbeat as the main window runs it: a thread timer announcing every
// 1000 ms to the discovery port, where a controller listens beside anyone
// else on the port.
TEST_F(AnnounceOnSockets, HeartbeatAnnouncesEverySecondToTheDiscoveryPort) {
  FileHelpersModuleStart(platform::ReadVersionInfo());
  Node.AppName = ProductName();
  Node.AppVersion = ProductVersion();
  FileHelpersModuleEnd();
  Node.NodeName = "Foyer";
  Node.Group = 7;

  TReceiver controller(static_cast<quint16>(CON_UDPPortDefault), true);
  ASSERT_TRUE(controller.Bound);
  controller.SourcePort = UDPServer->CurrentPort();
  const auto heartbeat = platform::CreateQtThreadTimer();
  heartbeat->SetOnTimer([this] { Node.Announce(CON_UDPPortDefault); });
  heartbeat->SetInterval(CON_HeartbeatIntervalDefault);
  heartbeat->SetEnabled(true);
  ASSERT_TRUE(controller.WaitFor(2));
  heartbeat->SetEnabled(false);

  for (const auto& d : controller.Received) {
    TReceivedMessage read;
    ReadMessage(d.Data, read);
    EXPECT_EQ(read.Type, TMessageType::mtAnnounce);
    EXPECT_EQ(GetXMLAtt(read.Payload("Device"), "Name", "N/A"), "Lumaren");
    EXPECT_EQ(GetXMLAtt(read.Payload("Device"), "Version", "N/A"), "1.0.4.0");
    EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), "Foyer");
    EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Group", 0), 7);
  }
}

}  // namespace
}  // namespace lumaren
