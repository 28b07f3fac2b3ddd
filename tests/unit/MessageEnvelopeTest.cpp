// The envelope: written by NewMessage/MessageText, read by ReadMessage,
// always through real text.

#include <gtest/gtest.h>

#include <string>

#include "protocol/uMessage.h"

namespace lumaren {
namespace {

TEST(MessageEnvelope, WriterBuildsRootAndMessageFirst) {
  pugi::xml_document doc;
  TXMLNode root = NewMessage(doc, TMessageType::mtShutdown);
  EXPECT_EQ(MessageText(doc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<VELOMARK>\n"
            "  <Message Type=\"3\" />\n"
            "</VELOMARK>\n");
  EXPECT_STREQ(root.name(), "VELOMARK");
}

TEST(MessageEnvelope, NewMessageStartsAfresh) {
  pugi::xml_document doc;
  AddXMLElement(NewMessage(doc, TMessageType::mtAnnounce), "Device");
  NewMessage(doc, TMessageType::mtAcknowledge);
  TReceivedMessage msg;
  ReadMessage(MessageText(doc), msg);
  EXPECT_EQ(msg.Type, TMessageType::mtAcknowledge);
  EXPECT_FALSE(msg.Payload("Device"));
  EXPECT_EQ(std::distance(msg.Root.begin(), msg.Root.end()), 1);
}

TEST(MessageEnvelope, AnnounceShapedRoundTrip) {
  pugi::xml_document doc;
  TXMLNode root = NewMessage(doc, TMessageType::mtAnnounce);
  AddXMLAtt(FindXMLChild(root, CON_MessageElement), "Refresh", true);
  TXMLNode device = AddXMLElement(root, "Device");
  AddXMLAtt(device, "Type", static_cast<std::int32_t>(TDeviceType::dtDisplay));
  AddXMLAtt(device, "Name", "Lumaren");
  AddXMLAtt(device, "Version", "1.0.4.0");
  TXMLNode node = AddXMLElement(root, "Node");
  AddXMLAtt(node, "Name", "Stage \xE2\x80\x93 left");
  AddXMLAtt(node, "Group", 3);

  TReceivedMessage msg;
  ReadMessage(MessageText(doc), msg);
  ASSERT_TRUE(msg.HasMessage());
  EXPECT_EQ(msg.Type, TMessageType::mtAnnounce);
  EXPECT_TRUE(GetXMLAtt(msg.Message, "Refresh", false));
  const TXMLNode d = msg.Payload("Device");
  EXPECT_EQ(IntToDeviceType(GetXMLAtt(d, "Type", 0)), TDeviceType::dtDisplay);
  EXPECT_EQ(GetXMLAtt(d, "Name", "N/A"), "Lumaren");
  EXPECT_EQ(GetXMLAtt(d, "Version", "N/A"), "1.0.4.0");
  const TXMLNode n = msg.Payload("Node");
  EXPECT_EQ(GetXMLAtt(n, "Name", "N/A"), "Stage \xE2\x80\x93 left");
  EXPECT_EQ(GetXMLAtt(n, "Group", 0), 3);
}

TEST(MessageEnvelope, ReadsTheEnvelopeOfVariousDocuments) {
  struct Case {
    const char* why;
    const char* text;
    bool hasMessage;
    TMessageType type;
    const char* nodeName;  // "Name" of the first "Node", or nullptr when none
  };
  const Case cases[] = {
      {"root with another name", "<OTHER><Message Type='2'/></OTHER>", true, TMessageType::mtAcknowledge, nullptr},
      {"no Message", "<VELOMARK><Node Name='x'/></VELOMARK>", false, TMessageType::mtUndefined, "x"},
      {"Message nested deeper only", "<VELOMARK><Node><Message Type='3'/></Node></VELOMARK>", false,
       TMessageType::mtUndefined, "N/A"},
      {"two Messages: the first counts", "<VELOMARK><Message Type='3'/><Message Type='6'/></VELOMARK>", true,
       TMessageType::mtShutdown, nullptr},
      {"payload before Message", "<VELOMARK><Node Name='n'/><Message Type='4'/></VELOMARK>", true,
       TMessageType::mtParamsSet, "n"},
      {"two payloads of a name: the first counts",
       "<VELOMARK><Message Type='4'/><Node Name='a'/><Node Name='b'/></VELOMARK>", true, TMessageType::mtParamsSet, "a"},
      {"type out of range", "<VELOMARK><Message Type='7'/></VELOMARK>", true, TMessageType::mtUndefined, nullptr},
      {"negative type", "<VELOMARK><Message Type='-1'/></VELOMARK>", true, TMessageType::mtUndefined, nullptr},
      {"type does not convert", "<VELOMARK><Message Type='six'/></VELOMARK>", true, TMessageType::mtUndefined, nullptr},
      {"type in hex", "<VELOMARK><Message Type='$6'/></VELOMARK>", true, TMessageType::mtDisplayData, nullptr},
      {"no type", "<VELOMARK><Message/></VELOMARK>", true, TMessageType::mtUndefined, nullptr},
      {"message name case", "<VELOMARK><message Type='2'/></VELOMARK>", false, TMessageType::mtUndefined, nullptr},
      {"unknown elements and attributes",
       "<VELOMARK x='1'><Extra/><Message Type='1' Other='2'>text</Message><Node Name='k' Z='9'/></VELOMARK>", true,
       TMessageType::mtAnnounce, "k"},
      {"declaration claiming another encoding",
       "<?xml version='1.0' encoding='ISO-8859-1'?><VELOMARK><Message Type='1'/><Node Name='\xC3\xA9'/></VELOMARK>",
       true, TMessageType::mtAnnounce, "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TReceivedMessage msg;
    ReadMessage(c.text, msg);
    EXPECT_EQ(msg.HasMessage(), c.hasMessage);
    EXPECT_EQ(msg.Type, c.type);
    if (c.nodeName) {
      EXPECT_EQ(GetXMLAtt(msg.Payload("Node"), "Name", "N/A"), c.nodeName);
    } else {
      EXPECT_FALSE(msg.Payload("Node"));
    }
  }
}

TEST(MessageEnvelope, BadBytesRaiseAndLeaveNoMessage) {
  TReceivedMessage msg;
  ReadMessage("<VELOMARK><Message Type='6'/></VELOMARK>", msg);
  ASSERT_TRUE(msg.HasMessage());
  for (const char* bad : {"<VELOMARK><Message Type='6'/>", "<VELOMARK><Message Type='6'/></VELOMARK>x",
                                "\xFF\xFE<", "", "not xml"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ReadMessage(bad, msg), EXMLError);
    EXPECT_FALSE(msg.HasMessage());
    EXPECT_EQ(msg.Type, TMessageType::mtUndefined);
    EXPECT_FALSE(msg.Root);
  }
}

}  // namespace
}  // namespace lumaren
