// The text forms of integers, Booleans, colours and line breaks, and the
// attribute and element readers that rest on them.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "protocol/uXMLHelpers.h"

namespace lumaren {
namespace {

TEST(XMLValueEncoding, IntegerText) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"-42", -42},
      {"+42", 42},
      {"007", 7},
      {" 7", 7},   // leading blanks are skipped
      {"\t 7", 7},
      {" -7", -7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},   // one past the range
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},  // must not wrap around
      {"$FF", 255},
      {"$ff", 255},
      {"xFF", 255},
      {"XfF", 255},
      {"0x10", 16},
      {"0X10", 16},
      {" $10", 16},
      {"$7FFFFFFF", 2147483647},
      {"$80000000", INT32_MIN},  // eight digits are a 32-bit pattern
      {"$FFFFFFFF", -1},
      {"$00000000FF", 255},           // leading zeros do not count
      {"$100000000", std::nullopt},   // more than 32 bits
      {"-$FF", std::nullopt},         // no sign before a hex prefix: hex is a bit pattern
      {"+$FF", std::nullopt},
      {"-0x10", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"$FG", std::nullopt},
      {"0x5ab", 1451},
      {"12abc", std::nullopt},  // trailing characters
      {"12 ", std::nullopt},    // trailing blank
      {"1.5", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"- 16", std::nullopt},  // sign must touch the digits
      {"--1", std::nullopt},
      {"00x10", std::nullopt},
      {"\xD9\xA3", std::nullopt},  // an Arabic-Indic digit is not a digit here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(TryStrToInt(c.text), c.expected);
  }
}

TEST(XMLValueEncoding, BooleanText) {
  struct Case {
    const char* text;
    std::optional<bool> expected;
  };
  const Case cases[] = {
      {"-1", true},  {"1", true},      {"2", true},     {"$FF", true},  {" 1", true},
      {"true", true}, {"TRUE", true},  {"True", true},  {"tRuE", true}, {"0", false},
      {"$0", false}, {"false", false}, {"FALSE", false}, {"yes", std::nullopt},
      {"no", std::nullopt}, {"", std::nullopt}, {"t", std::nullopt}, {" true", std::nullopt},
      {"true ", std::nullopt}, {"truex", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(TryStrToBool(c.text), c.expected);
  }
}

TEST(XMLValueEncoding, ColourToHexIsRedFirst) {
  struct Case {
    TColor colour;
    const char* expected;
  };
  const Case cases[] = {
      {0, "000000"},
      {255, "FF0000"},          // pure red sits in the low byte
      {0x00FF00, "00FF00"},
      {16711680, "0000FF"},     // pure blue
      {16777215, "FFFFFF"},
      {0x123456, "563412"},
      {536870911, "FFFFFF"},    // clNone: the top byte is dropped
      {0x7FABCDEF, "EFCDAB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.colour);
    EXPECT_EQ(TColorToHex(c.colour), c.expected);
  }
}

TEST(XMLValueEncoding, NegativeColourIsARangeError) {
  EXPECT_THROW(TColorToHex(-1), std::range_error);
  EXPECT_THROW(TColorToHex(static_cast<TColor>(0x8000000F)), std::range_error);
}

TEST(XMLValueEncoding, HexColourText) {
  struct Case {
    const char* text;
    std::optional<TColor> expected;
  };
  const Case cases[] = {
      {"FF0000", 0x0000FF},  {"00FF00", 0x00FF00}, {"0000FF", 0xFF0000}, {"563412", 0x123456},
      {"abcdef", 0xEFCDAB},  {"GG0000", std::nullopt}, {"FFF", std::nullopt}, {"", std::nullopt},
      {"FF00000", std::nullopt}, {"$FF000", std::nullopt}, {" FF000", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(TryHexToTColor(c.text), c.expected);
  }
  for (TColor colour : {0, 1, 0x00FF00, 0xFFFFFF, 0x123456}) {
    SCOPED_TRACE(colour);
    EXPECT_EQ(TryHexToTColor(TColorToHex(colour)), colour);
  }
}

TEST(XMLValueEncoding, LineBreakEncoding) {
  struct Case {
    std::string plain;
    std::string encoded;
  };
  const Case cases[] = {
      {"One\r\nTwo", "One&#xD;Two"},
      {"\r\n", "&#xD;"},
      {"a\r\n\r\nb", "a&#xD;&#xD;b"},
      {"lone\nfeed", "lone\nfeed"},    // a lone LF stays
      {"lone\rreturn", "lone\rreturn"},
      {"\n\r", "\n\r"},                // LF CR is not a pair
      {"\r\r\n", "\r&#xD;"},
      {"", ""},
      {"no break", "no break"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoded);
    EXPECT_EQ(EncodeCR(c.plain), c.encoded);
    EXPECT_EQ(DecodeCR(c.encoded), c.plain);
  }
}

TEST(XMLValueEncoding, DecodeMatchesOnlyTheExactSequence) {
  EXPECT_EQ(DecodeCR("&#xd;"), "&#xd;");   // letter case matters
  EXPECT_EQ(DecodeCR("&#13;"), "&#13;");   // other references stay
  EXPECT_EQ(DecodeCR("&#xA;"), "&#xA;");
  EXPECT_EQ(DecodeCR("&#x&#xD;D;"), "&#x\r\nD;");  // left to right, no overlap
  EXPECT_EQ(DecodeCR("&#xD"), "&#xD");
}

// ---- Readers ------------------------------------------------------------

class XMLReaders : public ::testing::Test {
 protected:
  void Load(const std::string& text) {
    LoadXMLText(FDoc, text);
    FRoot = FDoc.document_element();
  }
  pugi::xml_document FDoc;
  TXMLNode FRoot;
};

TEST_F(XMLReaders, IntegerAttribute) {
  Load(R"(<r a="$FF" b="0x10" c=" 7" d="12abc" e="" f="2147483648" g="$FFFFFFFF" h="-2147483648"/>)");
  struct Case {
    const char* name;
    std::int32_t expected;
  };
  const Case cases[] = {{"a", 255}, {"b", 16}, {"c", 7}, {"d", -99}, {"e", -99},
                        {"f", -99}, {"g", -1}, {"h", INT32_MIN}, {"missing", -99}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetXMLAtt(FRoot, c.name, std::int32_t{-99}), c.expected);
  }
}

TEST_F(XMLReaders, BooleanAttributeFallsBackToEitherDefault) {
  Load(R"(<r a="-1" b="1" c="true" d="0" e="FALSE" f="yes"/>)");
  struct Case {
    const char* name;
    std::optional<bool> expected;  // nullopt: the default comes back
  };
  const Case cases[] = {{"a", true}, {"b", true}, {"c", true}, {"d", false},
                        {"e", false}, {"f", std::nullopt}, {"missing", std::nullopt}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool def : {false, true}) EXPECT_EQ(GetXMLAtt(FRoot, c.name, def), c.expected.value_or(def));
  }
}

TEST_F(XMLReaders, StringAttributeDecodesLineBreaks) {
  Load("<r a=\"One&amp;#xD;Two\" b=\"\" c=\"x&#xD;y\"/>");
  EXPECT_EQ(GetXMLAtt(FRoot, "a", "def"), "One\r\nTwo");
  EXPECT_EQ(GetXMLAtt(FRoot, "b", "def"), "");  // present and empty is not absent
  EXPECT_EQ(GetXMLAtt(FRoot, "c", "def"), "x\ry");  // a real CR reference is one CR
  EXPECT_EQ(GetXMLAtt(FRoot, "missing", "def"), "def");
  EXPECT_EQ(GetXMLAtt(FRoot, "A", std::string("def")), "def");  // names are case-sensitive
}

TEST_F(XMLReaders, ElementText) {
  Load("<r><N>12</N><N>13</N><S>a&amp;#xD;b</S><Mixed><x/>5</Mixed><Empty/>"
       "<C><![CDATA[4]]>2</C><Blank> 9</Blank><Bad>9 </Bad><Deep><N>77</N></Deep></r>");
  EXPECT_EQ(GetXMLNode(FRoot, "N", 0), 12);  // the first of that name
  EXPECT_EQ(GetXMLNode(FRoot, "S", "def"), "a\r\nb");
  EXPECT_EQ(GetXMLNode(FRoot, "Mixed", -1), -1);  // element children: no text
  EXPECT_EQ(GetXMLNode(FRoot, "Mixed", "def"), "def");
  EXPECT_EQ(GetXMLNode(FRoot, "Empty", "def"), "");
  EXPECT_EQ(GetXMLNode(FRoot, "Empty", -1), -1);
  EXPECT_EQ(GetXMLNode(FRoot, "C", 0), 42);  // text and CDATA together
  EXPECT_EQ(GetXMLNode(FRoot, "Blank", 0), 9);
  EXPECT_EQ(GetXMLNode(FRoot, "Bad", -1), -1);
  EXPECT_EQ(GetXMLNode(FRoot, "Missing", -1), -1);
  EXPECT_EQ(GetXMLNode(FRoot.child("Deep"), "N", 0), 77);
}

TEST_F(XMLReaders, FindXMLChildLooksOnlyAtDirectChildElements) {
  Load("<r><a><Message/></a><b/><Message n='1'/><Message n='2'/></r>");
  EXPECT_EQ(GetXMLAtt(FindXMLChild(FRoot, "Message"), "n", 0), 1);
  EXPECT_FALSE(FindXMLChild(FRoot, "message"));
  EXPECT_FALSE(FindXMLChild(FRoot.child("b"), "Message"));
  EXPECT_FALSE(FindXMLChild(TXMLNode(), "Message"));
}

TEST_F(XMLReaders, EmptyNodeGivesDefaults) {
  EXPECT_EQ(GetXMLAtt(TXMLNode(), "a", 5), 5);
  EXPECT_EQ(GetXMLAtt(TXMLNode(), "a", "x"), "x");
  EXPECT_EQ(GetXMLNode(TXMLNode(), "a", 5), 5);
}

}  // namespace
}  // namespace lumaren
