// What lumaren-ctl prints: JSON that stays valid whatever a node calls
// itself, and text that cannot take over the terminal.

#include <gtest/gtest.h>

#include <string>

#include "tools/uCtlOutput.h"

namespace lumaren::ctl {
namespace {

TEST(CtlOutput, JsonStringEscapes) {
  struct Case {
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"Lobby", "\"Lobby\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\path", "\"C:\\\\path\""},
      {"two\r\nrows\tand\bmore\f", "\"two\\r\\nrows\\tand\\bmore\\f\""},
      {std::string("nul\0end", 7), "\"nul\\u0000end\""},
      {"\x01\x1f", "\"\\u0001\\u001F\""},
      {"esc\x1b[31m", "\"esc\\u001B[31m\""},
      {"del\x7f", "\"del\x7f\""},              // allowed in JSON as it is
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"/", "\"/\""},
      // Bytes that are not UTF-8 must not make the output invalid.
      {"bad\xff", "\"bad\\ufffd\""},
      {"cut\xe2\x82", "\"cut\\ufffd\\ufffd\""},
      {"\xc0\x80", "\"\\ufffd\\ufffd\""},          // overlong
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // surrogate
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // above U+10FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(JsonString(c.text), c.json);
  }
}

TEST(CtlOutput, PrintableTextDisarmsControls) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"Lobby", "Lobby"},
      {"two\r\nrows", "two\\r\\nrows"},
      {"esc\x1b]0;title\x07", "esc\\x1B]0;title\\x07"},
      {"csi\xc2\x9b" "2J", "csi\\xC2\\x9B2J"},  // the one-byte CSI of C1
      {"del\x7f", "del\\x7F"},
      {"back\\slash", "back\\\\slash"},
      {"caf\xc3\xa9 \xc2\xa0nbsp", "caf\xc3\xa9 \xc2\xa0nbsp"},
      {"bad\xff", "bad\\xFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(PrintableText(c.text), c.shown);
  }
}

TRemoteDeviceNode Node(const std::string& name, int group, const std::string& ip, int port) {
  TRemoteDeviceNode node;
  node.SetDeviceType(TDeviceType::dtDisplay);
  node.AppName = "Lumaren";
  node.AppVersion = "1.0.4.0";
  node.NodeName = name;
  node.Group = group;
  node.IPAddress = ip;
  node.NodePort = port;
  return node;
}

TEST(CtlOutput, NodeJson) {
  TRemoteDeviceNode node = Node("Foyer \"east\"", -3, "10.77.0.2", 50123);
  EXPECT_EQ(NodeJson(node),
            "{\"name\":\"Foyer \\\"east\\\"\",\"group\":-3,\"address\":\"10.77.0.2\",\"port\":50123,"
            "\"application\":\"Lumaren\",\"version\":\"1.0.4.0\",\"device\":\"Display\",\"online\":true}");
  node.Online = false;
  EXPECT_EQ(NodeJson(node, "offline").substr(0, 37), "{\"event\":\"offline\",\"name\":\"Foyer \\\"ea");
  EXPECT_NE(NodeJson(node).find("\"online\":false}"), std::string::npos);
}

TEST(CtlOutput, EventNames) {
  EXPECT_EQ(EventName(TNodeEvent::neNew), "new");
  EXPECT_EQ(EventName(TNodeEvent::neOnline), "online");
  EXPECT_EQ(EventName(TNodeEvent::neOffline), "offline");
  EXPECT_EQ(EventName(TNodeEvent::neUpdate), "update");
}

TEST(CtlOutput, EventLineShowsTheNodeAfterTheTime) {
  const TRemoteDeviceNode node = Node("Stage\x1b", 2, "127.0.0.1", 4000);
  const std::string line = EventLine(node, TNodeEvent::neNew, SystemNow());
  // "HH:MM:SS " first, whatever the time zone.
  ASSERT_GT(line.size(), 9u);
  EXPECT_EQ(line[2], ':');
  EXPECT_EQ(line[5], ':');
  EXPECT_EQ(line.substr(8), " new     Stage\\x1B (group 2) at 127.0.0.1:4000, Lumaren 1.0.4.0");
}

}  // namespace
}  // namespace lumaren::ctl
