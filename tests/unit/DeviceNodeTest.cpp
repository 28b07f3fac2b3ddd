// The node record, and the local node's announcement over a UDP server that
// records what is broadcast.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"
#include "support/TFakeUDPServer.h"
#include "support/TManualClock.h"

namespace lumaren {
namespace {

using test::TFakeUDPServer;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(DeviceNode, SetDeviceTypeDerivesCapabilities) {
  const TNodeCapabilities both{TNodeCapability::ncWindowState, TNodeCapability::ncWindowSize};
  struct Case {
    TDeviceType type;
    TNodeCapabilities expected;
  };
  const Case cases[] = {
      {TDeviceType::dtDisplay, both},
      {TDeviceType::dtAny, {}},
      {TDeviceType::dtUndefined, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    TDeviceNode node;
    // Start from the other state, so a setter that only adds or only
    // removes capabilities is caught.
    node.SetDeviceType(c.type == TDeviceType::dtDisplay ? TDeviceType::dtAny : TDeviceType::dtDisplay);
    node.SetDeviceType(c.type);
    EXPECT_EQ(node.DeviceType(), c.type);
    EXPECT_EQ(node.Capabilities, c.expected);
  }
}

TEST(DeviceNode, FreshNodeHintHasSixLinesEndingInPortZero) {
  const TDeviceNode node;
  EXPECT_EQ(node.InfoHintStr(), "\r\nApp: \r\nVersion: \r\nDevice: Undefined\r\nIP: \r\nPort: 0");
  EXPECT_EQ(node.DeviceTypeStr(), "Undefined");
  EXPECT_FALSE(node.Refresh);
  EXPECT_TRUE(node.Capabilities.Empty());
}

TEST(DeviceNode, FilledNodeHint) {
  TDeviceNode node;
  node.SetDeviceType(TDeviceType::dtDisplay);
  node.NodeName = "Lobby";
  node.AppName = "Lumaren";
  node.AppVersion = "1.0.4.0";
  node.IPAddress = "10.77.0.2";
  node.NodePort = 50123;
  EXPECT_EQ(node.InfoHintStr(),
            "Lobby\r\nApp: Lumaren\r\nVersion: 1.0.4.0\r\nDevice: Display\r\nIP: 10.77.0.2\r\nPort: 50123");
}

// The module started over a fake server, already listening on port 5000 the
// way the main window leaves it after applying the preferences.
class Announce : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceNodeModuleStart(
        [this] {
          auto server = std::make_unique<TFakeUDPServer>();
          Server = server.get();  // the last one made is UDPServer
          return server;
        },
        Clock.Factory());
    ASSERT_NE(Server, nullptr);
    UDPServer->AddBinding("", 5000);
    UDPServer->SetActive(true);
    Node.SetDeviceType(TDeviceType::dtDisplay);
    Node.AppName = "Lumaren";
    Node.AppVersion = "1.0.4.0";
    Node.NodeName = "Lobby";
    Node.Group = 3;
  }
  void TearDown() override { DeviceNodeModuleEnd(); }

  // The restart a failed send causes: no bindings asked for, default port 0,
  // and the fake's next free port in use.
  void ExpectRestartedOnSystemPort() {
    EXPECT_TRUE(Server->Active());
    EXPECT_EQ(Server->DefaultPort(), 0);
    ASSERT_EQ(Server->BindingCount(), 1);
    EXPECT_EQ(Server->Binding(0).IP, "");
    EXPECT_EQ(Server->CurrentPort(), 49152);
    EXPECT_EQ(Server->StopCount, 1);
  }

  test::TManualClock Clock;
  TFakeUDPServer* Server = nullptr;
  TLocalDeviceNode Node;
};

TEST_F(Announce, DocumentHoldsMessageDeviceAndNodeInOrder) {
  Node.Refresh = true;
  Node.Announce(1965);
  ASSERT_EQ(Server->Broadcasts.size(), 1u);
  EXPECT_EQ(Server->Broadcasts[0].Port, 1965);
  EXPECT_EQ(Server->Broadcasts[0].Text,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<VELOMARK>\n"
            "  <Message Type=\"1\" Refresh=\"-1\" />\n"
            "  <Device Type=\"2\" Name=\"Lumaren\" Version=\"1.0.4.0\" />\n"
            "  <Node Name=\"Lobby\" Group=\"3\" />\n"
            "</VELOMARK>\n");
}

TEST_F(Announce, RefreshGoesOutInTheFirstOfTwo) {
  Node.Refresh = true;
  Node.Announce(1965);
  EXPECT_FALSE(Node.Refresh);
  Node.Announce(1965);
  ASSERT_EQ(Server->Broadcasts.size(), 2u);

  TReceivedMessage first;
  ReadMessage(Server->Broadcasts[0].Text, first);
  EXPECT_EQ(first.Message.attribute("Refresh").value(), std::string("-1"));
  TReceivedMessage second;
  ReadMessage(Server->Broadcasts[1].Text, second);
  EXPECT_EQ(second.Type, TMessageType::mtAnnounce);
  EXPECT_FALSE(second.Message.attribute("Refresh"));
  EXPECT_EQ(GetXMLAtt(second.Payload("Node"), "Name", "N/A"), "Lobby");
  // Nothing restarted on the way.
  EXPECT_EQ(Server->StopCount, 0);
  EXPECT_EQ(Server->CurrentPort(), 5000);
}

TEST_F(Announce, FailedSendClearsRefreshAndRestartsWithoutBindings) {
  Node.Refresh = true;
  Server->FailNextBroadcast();
  Node.Announce(1965);  // swallowed
  EXPECT_TRUE(Server->Broadcasts.empty());
  EXPECT_FALSE(Node.Refresh);
  ExpectRestartedOnSystemPort();

  Node.Announce(1965);
  ASSERT_EQ(Server->Broadcasts.size(), 1u);
  TReceivedMessage next;
  ReadMessage(Server->Broadcasts[0].Text, next);
  EXPECT_FALSE(next.Message.attribute("Refresh"));
}

TEST_F(Announce, PortOutsideRangeSendsNothingAndRestarts) {
  for (const int port : {70000, 65536, -1}) {
    SCOPED_TRACE(port);
    TearDown();
    SetUp();
    Node.Announce(port);
    EXPECT_TRUE(Server->Broadcasts.empty());
    ExpectRestartedOnSystemPort();
  }
}

TEST_F(Announce, SendOnStoppedServerRestartsIt) {
  UDPServer->SetActive(false);
  Node.Announce(1965);
  EXPECT_TRUE(Server->Broadcasts.empty());
  EXPECT_TRUE(Server->Active());
  EXPECT_EQ(Server->CurrentPort(), 49152);
}

TEST_F(Announce, ErrorWhileRestartingReachesTheCaller) {
  Node.Refresh = true;
  Server->FailNextBroadcast();
  Server->FailNextStart();
  EXPECT_THROW(Node.Announce(1965), platform::EUDPServerError);
  EXPECT_FALSE(Node.Refresh);
  EXPECT_FALSE(Server->Active());
  EXPECT_EQ(Server->BindingCount(), 0);
}

TEST_F(Announce, LineBreakInNameTravelsEncodedAndComesBackWhole) {
  Node.NodeName = "Lobby\r\nEast wing";
  Node.Announce(1965);
  ASSERT_EQ(Server->Broadcasts.size(), 1u);
  const std::string& text = Server->Broadcasts[0].Text;
  EXPECT_NE(text.find("Name=\"Lobby&amp;#xD;East wing\""), std::string::npos) << text;
  TReceivedMessage read;
  ReadMessage(text, read);
  EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), "Lobby\r\nEast wing");
}

// Characters XML cannot carry would make every strict reader drop the
// announcement; the sent copy carries a replacement, the node keeps its name.
TEST_F(Announce, NameWithControlCharactersStillParses) {
  struct Case {
    std::string name;
    std::string received;
  };
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const Case cases[] = {
      {"A\x01" "B\x1F" "C", "A" + r + "B" + r + "C"},
      {std::string("N\0L", 3), "N" + r + "L"},
      {"Esc\x1B[1m", "Esc" + r + "[1m"},
      {"Tab\there", "Tab\there"},          // TAB, lone LF and lone CR are XML characters
      {"Lone\nLF", "Lone\nLF"},
      {"Lone\rCR", "Lone\rCR"},
      {"Bad\xFFUTF8", "Bad" + r + "UTF8"},
      {"Cut\xE2\x82", "Cut" + r + r},      // a sequence that ends early
      {"\xEF\xBF\xBE", r + r + r},          // U+FFFE is not an XML character
      {"Caf\xC3\xA9 \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.received);
    Server->Broadcasts.clear();
    Node.NodeName = c.name;
    Node.Announce(1965);
    ASSERT_EQ(Server->Broadcasts.size(), 1u);
    EXPECT_EQ(Node.NodeName, c.name);
    TReceivedMessage read;
    ASSERT_NO_THROW(ReadMessage(Server->Broadcasts[0].Text, read));
    EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), c.received);
  }
}

// A name too long for one datagram is cut in the sent copy, where the
// serialised document reaches the limit, never inside a character, a line
// break or an escape.
TEST_F(Announce, VeryLongNameIsShortenedToFitOneDatagram) {
  auto repeat = [](const std::string& unit, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += unit;
    return text;
  };
  struct Case {
    const char* what;
    std::string name;
  };
  const Case cases[] = {
      {"ASCII", repeat("a", 20000)},
      {"two-byte characters", repeat("\xC3\xA9", 9000)},
      {"four-byte characters", repeat("\xF0\x9F\x98\x80", 5000)},
      {"line breaks (9 bytes each once escaped)", repeat("ab\r\n", 5000)},
      {"literal &#xD; text", repeat("&#xD;", 3000)},
      {"ampersands", repeat("x&", 5000)},
      {"quotes and angle brackets", repeat("\"<'>", 5000)},
      {"lone line feeds", repeat("\n", 9000)},
      {"mixed", repeat("\xC3\xA9&\r\n\xF0\x9F\x98\x80<a", 3000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Server->Broadcasts.clear();
    Node.NodeName = c.name;
    Node.Announce(1965);
    ASSERT_EQ(Server->Broadcasts.size(), 1u);
    const std::string& text = Server->Broadcasts[0].Text;
    EXPECT_LE(text.size(), static_cast<std::size_t>(platform::CON_UDPMaxDatagramSize));
    // Cut near the limit, not far below it: one more unit costs at most 9 bytes.
    EXPECT_GT(text.size(), static_cast<std::size_t>(platform::CON_UDPMaxDatagramSize - 9));
    EXPECT_EQ(Node.NodeName, c.name);

    TReceivedMessage read;
    ASSERT_NO_THROW(ReadMessage(text, read));  // the strict loader refuses a broken character
    const std::string received = GetXMLAtt(read.Payload("Node"), "Name", "N/A");
    EXPECT_FALSE(received.empty());
    EXPECT_TRUE(StartsWith(DecodeCR(c.name), received));
    // A cut inside a CR LF pair leaves a lone CR; one inside "&#xD;" leaves
    // its start undecoded.
    EXPECT_NE(received.back(), '\r');
    EXPECT_EQ(received.find("&#x", received.size() >= 4 ? received.size() - 4 : 0), std::string::npos);
    EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Group", 0), 3);
    EXPECT_EQ(GetXMLAtt(read.Payload("Device"), "Name", "N/A"), "Lumaren");
  }
}

TEST_F(Announce, NameThatFitsIsSentWhole) {
  // Just under the limit with the rest of the document.
  Node.NodeName = std::string(7900, 'n');
  Node.Announce(1965);
  ASSERT_EQ(Server->Broadcasts.size(), 1u);
  TReceivedMessage read;
  ReadMessage(Server->Broadcasts[0].Text, read);
  EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), Node.NodeName);
}

TEST(DeviceNodeModule, ServerIsMadeAtStartAndFreedAtEnd) {
  test::TManualClock clock;
  TFakeUDPServer* made = nullptr;
  DeviceNodeModuleStart(
      [&made] {
        auto server = std::make_unique<TFakeUDPServer>();
        made = server.get();
        return server;
      },
      clock.Factory());
  ASSERT_EQ(UDPServer.get(), made);
  DeviceNodeModuleEnd();
  EXPECT_EQ(UDPServer, nullptr);

  TLocalDeviceNode node;
  EXPECT_THROW(node.Announce(1965), std::logic_error);
}

}  // namespace
}  // namespace lumaren
