// The display content and its "Display" element.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "display/uDisplayLine.h"
#include "protocol/uMessage.h"

namespace lumaren {
namespace {

std::unique_ptr<TDisplayLine> Line(std::string left, std::string centre, std::string right) {
  auto line = std::make_unique<TDisplayLine>();
  line->TextLeft = std::move(left);
  line->TextCentre = std::move(centre);
  line->TextRight = std::move(right);
  return line;
}

void ExpectSameContent(const TDisplayLineList& a, const TDisplayLineList& b) {
  EXPECT_EQ(a.BgColour, b.BgColour);
  EXPECT_EQ(a.DisplayStyle, b.DisplayStyle);
  EXPECT_EQ(a.ExpiryMilliSecs, b.ExpiryMilliSecs);
  EXPECT_EQ(a.FontColour, b.FontColour);
  EXPECT_EQ(a.FontName, b.FontName);
  ASSERT_EQ(a.Count(), b.Count());
  for (int i = 0; i < a.Count(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i));
    EXPECT_EQ(a.Items(i).TextLeft, b.Items(i).TextLeft);
    EXPECT_EQ(a.Items(i).TextCentre, b.Items(i).TextCentre);
    EXPECT_EQ(a.Items(i).TextRight, b.Items(i).TextRight);
  }
}

// Writes list as the Display element of a DisplayData message, sends it
// through text and reads it into out, as a controller and a node would.
void ThroughDatagram(const TDisplayLineList& list, TDisplayLineList& out, std::string* text = nullptr) {
  pugi::xml_document doc;
  list.XMLWrite(AddXMLElement(NewMessage(doc, TMessageType::mtDisplayData), "Display"));
  const std::string sent = MessageText(doc);
  if (text) *text = sent;
  TReceivedMessage msg;
  ReadMessage(sent, msg);
  ASSERT_EQ(msg.Type, TMessageType::mtDisplayData);
  const TXMLNode display = msg.Payload("Display");
  ASSERT_TRUE(display);
  out.XMLRead(display);
}

class DisplayXML : public ::testing::Test {
 protected:
  // Reads the list from the root element of text.
  void Read(const std::string& text) {
    LoadXMLText(FDoc, text);
    FList.XMLRead(FDoc.document_element());
  }
  pugi::xml_document FDoc;
  TDisplayLineList FList;
};

TEST(DisplayLineList, NewListIsZeroUntilCleared) {
  TDisplayLineList list;
  EXPECT_EQ(list.BgColour, 0);
  EXPECT_EQ(list.FontColour, 0);
  EXPECT_EQ(list.DisplayStyle, TDisplayStyle::dsSteady);
  EXPECT_EQ(list.ExpiryMilliSecs, 0);
  EXPECT_EQ(list.FontName, "");
  EXPECT_EQ(list.Count(), 0);
  list.Add(Line("a", "", ""));
  list.BgColour = 5;
  list.FontColour = 6;
  list.DisplayStyle = TDisplayStyle::dsBlink;
  list.ExpiryMilliSecs = 7;
  list.FontName = "F";
  list.NodeIndex = 8;
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.BgColour, clNone);
  EXPECT_EQ(list.FontColour, clNone);
  EXPECT_EQ(list.DisplayStyle, TDisplayStyle::dsSteady);
  EXPECT_EQ(list.ExpiryMilliSecs, 0);
  EXPECT_EQ(list.FontName, "");
  EXPECT_EQ(list.NodeIndex, 0);
}

TEST(DisplayLineList, IndexOutsideTheListIsAnError) {
  TDisplayLineList list;
  EXPECT_THROW(list.Items(0), std::out_of_range);
  EXPECT_EQ(list.Add(Line("a", "", "")), 0);
  EXPECT_EQ(list.Add(Line("b", "", "")), 1);
  EXPECT_EQ(list.Add(Line("c", "", "")), 2);
  EXPECT_THROW(list.Items(3), std::out_of_range);
  EXPECT_THROW(list.Items(-1), std::out_of_range);
  EXPECT_THROW(list.Delete(3), std::out_of_range);
  EXPECT_THROW(list.Add(nullptr), std::invalid_argument);
  list.Delete(1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0).TextLeft, "a");
  EXPECT_EQ(list.Items(1).TextLeft, "c");
  const TDisplayLineList& constList = list;
  EXPECT_THROW(constList.Items(2), std::out_of_range);
}

TEST(DisplayLineList, AssignCopiesWithoutSharing) {
  TDisplayLineList source;
  source.Clear();
  source.Add(Line("L1", "C1", "R1"));
  source.Add(Line("L2", "C2\r\nx", ""));
  source.Add(Line("", "", "R3"));
  source.BgColour = 0x00FF00;
  source.FontColour = 0x0000FF;
  source.DisplayStyle = TDisplayStyle::dsAlternate;
  source.ExpiryMilliSecs = 1500;
  source.FontName = "Liberation Sans";
  source.NodeIndex = 4;

  TDisplayLineList copy;
  copy.Add(Line("old", "", ""));
  copy.Assign(source);
  ExpectSameContent(copy, source);
  EXPECT_EQ(copy.NodeIndex, 4);
  for (int i = 0; i < 3; ++i) EXPECT_NE(&copy.Items(i), &source.Items(i));
  copy.Items(0).TextLeft = "changed";
  copy.Delete(2);
  EXPECT_EQ(source.Items(0).TextLeft, "L1");
  EXPECT_EQ(source.Count(), 3);
}

TEST(DisplayLineList, AssignFromItselfKeepsTheContent) {
  TDisplayLineList list;
  list.Clear();
  list.Add(Line("a", "b", "c"));
  list.ExpiryMilliSecs = 9;
  list.Assign(list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).TextCentre, "b");
  EXPECT_EQ(list.ExpiryMilliSecs, 9);
}

TEST(DisplayLineList, SplitTextLines) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A\r\nB", {"A", "B"}},
      {"A\rB", {"A", "B"}},
      {"A\nB", {"A", "B"}},
      {"A\r\n", {"A"}},  // a break at the end starts no line
      {"A\n", {"A"}},
      {"\n", {""}},
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {"A\r\r\nB", {"A", "", "B"}},
      {"A\n\rB", {"A", "", "B"}},  // LF CR is two breaks
      {"A\r\n\r\nB\r\n", {"A", "", "B"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(SplitTextLines(c.text), c.lines);
  }
}

TEST(DisplayLineList, TotalLineCount) {
  TDisplayLineList list;
  list.Clear();
  EXPECT_EQ(list.TotalLineCount(), 0);
  list.Add(Line("A\r\nB", "", "C"));  // "A" and "BC"
  EXPECT_EQ(list.TotalLineCount(), 2);
  list.Add(Line("", "", ""));          // nothing
  EXPECT_EQ(list.TotalLineCount(), 2);
  list.Add(Line("x", "y\n", "z"));     // "x y" / "z"
  EXPECT_EQ(list.TotalLineCount(), 4);
  list.Add(Line("", "one\r\n", ""));   // a trailing break adds nothing
  EXPECT_EQ(list.TotalLineCount(), 5);
}

TEST_F(DisplayXML, EmptyElementGivesEmptyUnsetContent) {
  FList.Add(Line("old", "", ""));
  FList.NodeIndex = 3;
  Read("<Display/>");
  EXPECT_EQ(FList.Count(), 0);
  EXPECT_EQ(FList.DisplayStyle, TDisplayStyle::dsSteady);
  EXPECT_EQ(FList.ExpiryMilliSecs, 0);
  EXPECT_EQ(FList.FontName, "");
  EXPECT_EQ(FList.BgColour, clNone);
  EXPECT_EQ(FList.FontColour, clNone);
  EXPECT_EQ(FList.NodeIndex, 0);
}

TEST_F(DisplayXML, ParametersAsStored) {
  struct Case {
    const char* attributes;
    TDisplayStyle style;
    int expiry;
  };
  const Case cases[] = {
      {"DisplayStyle='1' Expiry='2500'", TDisplayStyle::dsBlink, 2500},
      {"DisplayStyle='2'", TDisplayStyle::dsAlternate, 0},
      {"DisplayStyle='3'", static_cast<TDisplayStyle>(3), 0},  // kept, draws as steady
      {"DisplayStyle='258'", TDisplayStyle::dsAlternate, 0},  // low eight bits
      {"DisplayStyle='-1'", static_cast<TDisplayStyle>(255), 0},
      {"DisplayStyle='x' Expiry='x'", TDisplayStyle::dsSteady, 0},
      {"Expiry='-5'", TDisplayStyle::dsSteady, -5},  // no range check
      {"Expiry='$10'", TDisplayStyle::dsSteady, 16},
      {"expiry='5' displaystyle='1'", TDisplayStyle::dsSteady, 0},  // names are case-sensitive
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attributes);
    Read(std::string("<Display ") + c.attributes + "/>");
    EXPECT_EQ(FList.DisplayStyle, c.style);
    EXPECT_EQ(FList.ExpiryMilliSecs, c.expiry);
  }
}

TEST_F(DisplayXML, FontElement) {
  struct Case {
    const char* font;
    const char* name;
    TColor bg;
    TColor fg;
  };
  const Case cases[] = {
      {"", "", clNone, clNone},
      {"<Font/>", "Arial", clNone, clNone},
      {"<Font BGColour='00FF00'/>", "Arial", 0x00FF00, clNone},
      {"<Font Name='' FontColour='FF0000'/>", "", clNone, 0x0000FF},
      {"<Font Name='Mono' BGColour='0000ff' FontColour='123456'/>", "Mono", 0xFF0000, 0x563412},
      {"<Font BGColour='GG0000' FontColour='FFF'/>", "Arial", clNone, clNone},
      {"<Font BGColour='' FontColour='$FF0000'/>", "Arial", clNone, clNone},
      {"<Font Name='First'/><Font Name='Second' BGColour='FFFFFF'/>", "First", clNone, clNone},
      {"<Other><Font Name='Nested'/></Other>", "", clNone, clNone},
      {"<Font Name='Two&amp;#xD;Lines'/>", "Two\r\nLines", clNone, clNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.font);
    Read(std::string("<Display>") + c.font + "</Display>");
    EXPECT_EQ(FList.FontName, c.name);
    EXPECT_EQ(FList.BgColour, c.bg);
    EXPECT_EQ(FList.FontColour, c.fg);
  }
}

TEST_F(DisplayXML, OnlyDirectLineChildrenInDocumentOrder) {
  Read("<Display><Line Left='1'/><Font/><Other><Line Left='nested'/></Other>text<Line Centre='2'/>"
       "<line Left='lower'/><!-- c --><Line/><Line Right='3' Unknown='u'/></Display>");
  ASSERT_EQ(FList.Count(), 4);
  EXPECT_EQ(FList.Items(0).TextLeft, "1");
  EXPECT_EQ(FList.Items(1).TextCentre, "2");
  EXPECT_EQ(FList.Items(2).Text(), "");  // a Line without attributes
  EXPECT_EQ(FList.Items(3).TextRight, "3");
}

TEST_F(DisplayXML, LineReadOverwritesEveryText) {
  TDisplayLine line;
  line.TextLeft = "l";
  line.TextCentre = "c";
  line.TextRight = "r";
  LoadXMLText(FDoc, "<Line Centre='One&amp;#xD;Two'/>");
  line.XMLRead(FDoc.document_element());
  EXPECT_EQ(line.TextLeft, "");
  EXPECT_EQ(line.TextCentre, "One\r\nTwo");
  EXPECT_EQ(line.TextRight, "");
}

TEST(DisplayLineWrite, ElementShape) {
  struct Case {
    const char* why;
    std::string name;
    TColor bg;
    TColor fg;
    const char* expected;
  };
  const Case cases[] = {
      {"nothing set", "", clNone, clNone,
       "<D Expiry=\"0\" DisplayStyle=\"0\">\n  <Line Centre=\"One&amp;#xD;Two\" />\n  <Line Left=\"a&#10;b\" Right=\"r\" />\n</D>\n"},
      {"background only", "", 255, clNone,
       "<D Expiry=\"0\" DisplayStyle=\"0\">\n  <Font BGColour=\"FF0000\" />\n"
       "  <Line Centre=\"One&amp;#xD;Two\" />\n  <Line Left=\"a&#10;b\" Right=\"r\" />\n</D>\n"},
      {"everything", "Sans", 0xFF0000, 0x00FF00,
       "<D Expiry=\"0\" DisplayStyle=\"0\">\n  <Font Name=\"Sans\" BGColour=\"0000FF\" FontColour=\"00FF00\" />\n"
       "  <Line Centre=\"One&amp;#xD;Two\" />\n  <Line Left=\"a&#10;b\" Right=\"r\" />\n</D>\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TDisplayLineList list;
    list.Clear();
    list.FontName = c.name;
    list.BgColour = c.bg;
    list.FontColour = c.fg;
    list.Add(Line("", "One\r\nTwo", ""));
    list.Add(Line("a\nb", "", "r"));  // a lone LF is not encoded; the serialiser escapes it
    pugi::xml_document doc;
    list.XMLWrite(AddXMLElement(doc, "D"));
    std::string text = SaveXMLText(doc);
    text.erase(0, text.find('\n') + 1);  // the declaration
    EXPECT_EQ(text, c.expected);
  }
}

TEST(DisplayLineWrite, NegativeColourStopsTheWrite) {
  TDisplayLineList list;
  list.Clear();
  list.FontName = "Sans";
  list.BgColour = -2147483643;  // a system colour reference
  list.Add(Line("a", "", ""));
  pugi::xml_document doc;
  TXMLNode display = AddXMLElement(doc, "Display");
  EXPECT_THROW(list.XMLWrite(display), std::range_error);
  EXPECT_STREQ(display.attribute("Expiry").value(), "0");
  EXPECT_STREQ(display.child("Font").attribute("Name").value(), "Sans");
  EXPECT_FALSE(display.child("Line"));
}

TEST(DisplayLineDatagram, ThreeLinesBlinkExpiryFontAndColoursComeBackAlike) {
  TDisplayLineList sent;
  sent.Clear();
  sent.Add(Line("Gate", "B12", "08:45"));
  sent.Add(Line("", "Boarding\r\nnow", ""));
  sent.Add(Line("left \xE2\x86\x90", "", "& <right>"));
  sent.DisplayStyle = TDisplayStyle::dsBlink;
  sent.ExpiryMilliSecs = 30000;
  sent.FontName = "Liberation Sans";
  sent.BgColour = 0x102030;
  sent.FontColour = 0xFFFFFF;
  sent.NodeIndex = 7;

  TDisplayLineList received;
  std::string text;
  ThroughDatagram(sent, received, &text);
  ExpectSameContent(received, sent);
  EXPECT_EQ(received.Items(1).TextCentre, "Boarding\r\nnow");
  EXPECT_EQ(received.NodeIndex, 0);  // not part of the XML form
  EXPECT_EQ(received.TotalLineCount(), 4);
  // The break travels as the encoded sequence, its ampersand escaped.
  EXPECT_NE(text.find("Centre=\"Boarding&amp;#xD;now\""), std::string::npos) << text;
}

TEST(DisplayLineDatagram, UnsetFontNameWithBackgroundComesBackArial) {
  TDisplayLineList sent;
  sent.Clear();
  sent.BgColour = 0x00FF00;
  sent.DisplayStyle = TDisplayStyle::dsAlternate;
  sent.ExpiryMilliSecs = -5;
  sent.Add(Line("a", "b", "c"));
  sent.NodeIndex = 2;
  TDisplayLineList received;
  ThroughDatagram(sent, received);
  EXPECT_EQ(received.FontName, "Arial");
  sent.FontName = "Arial";
  ExpectSameContent(received, sent);
  EXPECT_EQ(received.NodeIndex, 0);
}

TEST(DisplayLineDatagram, ClearedListComesBackCleared) {
  TDisplayLineList sent;
  sent.Clear();
  TDisplayLineList received;
  received.Add(Line("stale", "", ""));
  ThroughDatagram(sent, received);
  ExpectSameContent(received, sent);
}

}  // namespace
}  // namespace lumaren
