// The commands a controller sends to one node: what each document carries,
// where it goes, and the failures that reach the caller. The module runs
// over fake servers, so what is sent is recorded and read back with the
// strict reader.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/uDisplayLine.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"
#include "protocol/uNodeCommands.h"
#include "support/TFakeUDPServer.h"
#include "support/TManualClock.h"

namespace lumaren {
namespace {

using test::TFakeUDPServer;
using test::TManualClock;

constexpr std::size_t CON_Limit = platform::CON_UDPMaxDatagramSize;

// The protocol module over fakes: the list's server first, then UDPServer,
// which sends from port 6000.
class NodeCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    Made.clear();
    DeviceNodeModuleStart(
        [this] {
          auto server = std::make_unique<TFakeUDPServer>();
          Made.push_back(server.get());
          return server;
        },
        Clock.Factory(), [this] { return TDateTime(std::chrono::milliseconds(Clock.Now())); });
    ASSERT_EQ(Made.size(), 2u);
    ListServer = Made[0];
    Shared = Made[1];
    UDPServer->AddBinding("", 6000);
    UDPServer->SetActive(true);
    Node.IPAddress = "10.77.0.2";
    Node.NodePort = 50123;
  }
  void TearDown() override { DeviceNodeModuleEnd(); }

  // The one datagram sent, read back; fails the test unless exactly one left.
  void ReadSent(TReceivedMessage& out) {
    ASSERT_EQ(Shared->Sent.size(), 1u);
    EXPECT_EQ(Shared->Sent[0].Host, "10.77.0.2");
    EXPECT_EQ(Shared->Sent[0].Port, 50123);
    EXPECT_LE(Shared->Sent[0].Text.size(), CON_Limit);
    ReadMessage(Shared->Sent[0].Text, out);
    ASSERT_TRUE(out.HasMessage());
  }

  TManualClock Clock;
  std::vector<TFakeUDPServer*> Made;
  TFakeUDPServer* ListServer = nullptr;
  TFakeUDPServer* Shared = nullptr;
  TRemoteDeviceNode Node;
};

// Element names among the root's children, in document order.
std::vector<std::string> Children(const TReceivedMessage& message) {
  std::vector<std::string> names;
  for (TXMLNode child : message.Root.children()) names.emplace_back(child.name());
  return names;
}

TEST_F(NodeCommands, AcknowledgeAndShutdownCarryTheMessageAlone) {
  struct Case {
    const char* what;
    void (TRemoteDeviceNode::*command)();
    TMessageType type;
  };
  const Case cases[] = {{"Acknowledge", &TRemoteDeviceNode::Acknowledge, TMessageType::mtAcknowledge},
                        {"Shutdown", &TRemoteDeviceNode::Shutdown, TMessageType::mtShutdown}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Shared->Sent.clear();
    (Node.*c.command)();
    TReceivedMessage read;
    ReadSent(read);
    EXPECT_EQ(read.Type, c.type);
    EXPECT_EQ(std::string(read.Root.name()), "VELOMARK");
    EXPECT_EQ(Children(read), std::vector<std::string>{"Message"});
    EXPECT_FALSE(read.Message.attribute("Refresh"));
  }
  // Commands go out through the shared server, never the list's own.
  EXPECT_TRUE(ListServer->Sent.empty());
}

TEST_F(NodeCommands, SetNameSendsNodeWithNameAlone) {
  Node.NodeName = "Old";
  Node.SetName("Stage left\r\nupper");
  TReceivedMessage read;
  ReadSent(read);
  EXPECT_EQ(read.Type, TMessageType::mtParamsSet);
  EXPECT_EQ(Children(read), (std::vector<std::string>{"Message", "Node"}));
  const TXMLNode node = read.Payload("Node");
  EXPECT_EQ(GetXMLAtt(node, "Name", "N/A"), "Stage left\r\nupper");
  EXPECT_FALSE(node.attribute("Group"));
  // The record waits for the node's own announcement.
  EXPECT_EQ(Node.NodeName, "Old");
}

TEST_F(NodeCommands, SetNameCutsAnOverlongNameToFitOneDatagram) {
  const std::string name = std::string(5000, 'a') + std::string(5000, 'b');
  Node.SetName(name);
  TReceivedMessage read;
  ReadSent(read);
  const std::string sent = GetXMLAtt(read.Payload("Node"), "Name", "N/A");
  EXPECT_GT(sent.size(), 7000u);
  EXPECT_EQ(sent, name.substr(0, sent.size()));
}

TEST_F(NodeCommands, SetNameRefusesTextXMLCannotCarry) {
  EXPECT_THROW(Node.SetName(std::string("bell\x07")), EXMLError);
  EXPECT_TRUE(Shared->Sent.empty());
}

TEST_F(NodeCommands, SetDisplayStateSendsWindowWithStateAlone) {
  const std::pair<TWindowState, int> cases[] = {
      {TWindowState::wsNormal, 0}, {TWindowState::wsMinimized, 1}, {TWindowState::wsMaximized, 2}};
  for (const auto& [state, ordinal] : cases) {
    SCOPED_TRACE(ordinal);
    Shared->Sent.clear();
    Node.SetDisplayState(state);
    TReceivedMessage read;
    ReadSent(read);
    EXPECT_EQ(read.Type, TMessageType::mtParamsSet);
    EXPECT_EQ(Children(read), (std::vector<std::string>{"Message", "Window"}));
    const TXMLNode window = read.Payload("Window");
    EXPECT_EQ(std::string(window.attribute("State").value()), std::to_string(ordinal));
    EXPECT_EQ(std::distance(window.attributes_begin(), window.attributes_end()), 1);
  }
}

TEST_F(NodeCommands, DisplayDataRoundTrips) {
  TDisplayLineList content;
  content.Clear();
  content.DisplayStyle = TDisplayStyle::dsBlink;
  content.ExpiryMilliSecs = 5000;
  content.FontName = "Liberation Sans";
  content.FontColour = 0x0000FF;  // red
  auto line = std::make_unique<TDisplayLine>();
  line->TextLeft = "Gate";
  line->TextCentre = "B12\r\nnow boarding";
  line->TextRight = "10:45 & <on time>";
  content.Add(std::move(line));
  content.Add(std::make_unique<TDisplayLine>());

  Node.SendDisplayData(content);
  TReceivedMessage read;
  ReadSent(read);
  EXPECT_EQ(read.Type, TMessageType::mtDisplayData);
  EXPECT_EQ(Children(read), (std::vector<std::string>{"Message", "Display"}));
  TDisplayLineList back;
  back.XMLRead(read.Payload("Display"));
  EXPECT_EQ(back.DisplayStyle, TDisplayStyle::dsBlink);
  EXPECT_EQ(back.ExpiryMilliSecs, 5000);
  EXPECT_EQ(back.FontName, "Liberation Sans");
  EXPECT_EQ(back.FontColour, 0x0000FF);
  EXPECT_EQ(back.BgColour, clNone);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Items(0).TextLeft, "Gate");
  EXPECT_EQ(back.Items(0).TextCentre, "B12\r\nnow boarding");
  EXPECT_EQ(back.Items(0).TextRight, "10:45 & <on time>");
  EXPECT_EQ(back.Items(1).Text(), "");
}

TEST_F(NodeCommands, DisplayDataTooLargeForOneDatagramIsRefusedUnsent) {
  TDisplayLineList content;
  content.Clear();
  for (int i = 0; i < 3; ++i) {
    auto line = std::make_unique<TDisplayLine>();
    line->TextCentre = std::string(3000, 'x');
    content.Add(std::move(line));
  }
  try {
    Node.SendDisplayData(content);
    FAIL() << "sent content larger than a datagram";
  } catch (const EMessageTooLong& e) {
    EXPECT_GT(e.Size, CON_Limit);
    EXPECT_EQ(e.Limit, CON_Limit);
    EXPECT_NE(std::string(e.what()).find("8192"), std::string::npos);
  }
  EXPECT_TRUE(Shared->Sent.empty());

  // The same content with one line less fits and goes.
  content.Delete(2);
  Node.SendDisplayData(content);
  EXPECT_EQ(Shared->Sent.size(), 1u);
}

TEST_F(NodeCommands, DisplayDataExactlyAtTheLimitIsSent) {
  // Grow one text until the document is exactly one datagram long.
  TDisplayLineList content;
  content.Clear();
  content.Add(std::make_unique<TDisplayLine>());
  content.Items(0).TextCentre = "x";
  const std::size_t base = DisplayDataMessage(content).size();
  content.Items(0).TextCentre = std::string(1 + CON_Limit - base, 'x');
  ASSERT_EQ(DisplayDataMessage(content).size(), CON_Limit);
  EXPECT_NO_THROW(Node.SendDisplayData(content));
  content.Items(0).TextCentre += "x";
  EXPECT_THROW(Node.SendDisplayData(content), EMessageTooLong);
  EXPECT_EQ(Shared->Sent.size(), 1u);
}

TEST_F(NodeCommands, FailuresReachTheCaller) {
  Node.NodePort = 70000;
  EXPECT_THROW(Node.Acknowledge(), std::range_error);
  Node.NodePort = -1;
  EXPECT_THROW(Node.Shutdown(), std::range_error);
  Node.NodePort = 50123;
  Shared->FailNextSend();
  EXPECT_THROW(Node.SetName("x"), platform::EUDPServerError);
  UDPServer->SetActive(false);
  EXPECT_THROW(Node.SetDisplayState(TWindowState::wsNormal), platform::EUDPServerError);
  EXPECT_TRUE(Shared->Sent.empty());
}

TEST_F(NodeCommands, ShutdownAllReachesEveryNodeInOrderOnlineOrNot) {
  RemoteNodeList->UpdateUDPServer("0.0.0.0", CON_UDPPortDefault, true);
  const std::string announcement = "<V><Message Type=\"1\"/></V>";
  ASSERT_TRUE(ListServer->Receive(announcement, "10.0.0.1", 1001));
  ASSERT_TRUE(ListServer->Receive(announcement, "10.0.0.2", 1002));
  Clock.Advance(1500);
  ASSERT_TRUE(ListServer->Receive(announcement, "10.0.0.3", 1003));
  Clock.Advance(1000);
  ASSERT_FALSE(RemoteNodeList->Items(0).Online);

  RemoteNodeList->ShutdownAll();
  ASSERT_EQ(Shared->Sent.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Shared->Sent[static_cast<std::size_t>(i)].Host, "10.0.0." + std::to_string(i + 1));
    EXPECT_EQ(Shared->Sent[static_cast<std::size_t>(i)].Port, 1001 + i);
    TReceivedMessage read;
    ReadMessage(Shared->Sent[static_cast<std::size_t>(i)].Text, read);
    EXPECT_EQ(read.Type, TMessageType::mtShutdown);
  }
}

TEST_F(NodeCommands, CommandWithoutTheModuleIsRefused) {
  DeviceNodeModuleEnd();
  EXPECT_THROW(Node.Acknowledge(), std::logic_error);
  SetUp();  // for TearDown
}

// Records, when the list's timer goes, whether UDPServer is still there.
class TWatchedTimer final : public platform::TThreadTimer {
 public:
  TWatchedTimer(std::unique_ptr<platform::TThreadTimer> inner, std::vector<std::string>& log)
      : FInner(std::move(inner)), FLog(log) {}
  ~TWatchedTimer() override { FLog.push_back(UDPServer ? "timer freed, server alive" : "timer freed after server"); }
  void SetInterval(int ms) override { FInner->SetInterval(ms); }
  int Interval() const override { return FInner->Interval(); }
  void SetEnabled(bool enabled) override { FInner->SetEnabled(enabled); }
  bool Enabled() const override { return FInner->Enabled(); }
  void SetOnTimer(std::function<void()> handler) override { FInner->SetOnTimer(std::move(handler)); }

 private:
  std::unique_ptr<platform::TThreadTimer> FInner;
  std::vector<std::string>& FLog;
};

TEST(DeviceNodeModuleOrder, ListIsMadeBeforeUDPServerAndFreedBeforeIt) {
  TManualClock clock;
  std::vector<std::string> log;
  std::vector<TFakeUDPServer*> made;
  DeviceNodeModuleStart(
      [&] {
        log.push_back("server made");
        auto server = std::make_unique<TFakeUDPServer>();
        made.push_back(server.get());
        return server;
      },
      [&]() -> std::unique_ptr<platform::TThreadTimer> {
        return std::make_unique<TWatchedTimer>(clock.NewTimer(), log);
      });
  ASSERT_NE(RemoteNodeList, nullptr);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(UDPServer.get(), made[1]);
  // The display leaves the list idle: unbound, ticking over no nodes.
  EXPECT_FALSE(made[0]->Active());
  EXPECT_EQ(clock.ArmedTimerCount(), 1);
  EXPECT_EQ(RemoteNodeList->Count(), 0);
  // The first server made is the list's own.
  RemoteNodeList->UpdateUDPServer("0.0.0.0", CON_UDPPortDefault, true);
  EXPECT_TRUE(made[0]->Active());
  EXPECT_FALSE(made[1]->Active());
  DeviceNodeModuleEnd();
  EXPECT_EQ(RemoteNodeList, nullptr);
  EXPECT_EQ(UDPServer, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"server made", "server made", "timer freed, server alive"}));
}

TEST(DeviceNodeModuleOrder, FailedStartLeavesNothingMade) {
  TManualClock clock;
  int calls = 0;
  EXPECT_THROW(DeviceNodeModuleStart(
                   [&]() -> std::unique_ptr<platform::TUDPServer> {
                     if (++calls == 2) return nullptr;
                     return std::make_unique<TFakeUDPServer>();
                   },
                   clock.Factory()),
               std::runtime_error);
  EXPECT_EQ(RemoteNodeList, nullptr);
  EXPECT_EQ(UDPServer, nullptr);
  EXPECT_EQ(clock.ArmedTimerCount(), 0);
  EXPECT_THROW(DeviceNodeModuleStart([] { return std::make_unique<TFakeUDPServer>(); }, {}), std::invalid_argument);
  EXPECT_EQ(RemoteNodeList, nullptr);
}

}  // namespace
}  // namespace lumaren
