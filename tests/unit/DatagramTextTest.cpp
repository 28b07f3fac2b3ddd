// Making user text carriable in XML and fitting a document to one datagram.

#include <gtest/gtest.h>

#include <string>

#include "protocol/uDatagramText.h"
#include "protocol/uXMLCheck.h"

namespace lumaren {
namespace {

const std::string R = CON_ReplacementChar;

TEST(XMLCarriableText, ReplacesWhatXMLCannotCarry) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"\t\r\n", "\t\r\n"},                                 // the three C0 characters XML allows
      {"\x01\x08\x0B\x0C\x1F", R + R + R + R + R},           // every other C0 control
      {"\x7F\xC2\x80", "\x7F\xC2\x80"},                     // DEL and C1 controls are XML characters
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\xC0\xAF", R + R},                                  // overlong "/"
      {"\xED\xA0\x80", R + R + R},                          // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},                  // beyond U+10FFFF
      {"a\xC3", "a" + R},                                   // cut at the end
      {"\xE2\x82" "b", R + R + "b"},                        // cut before an ASCII byte
      {"\xEF\xBF\xBF", R + R + R},                          // U+FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const std::string out = XMLCarriableText(c.text);
    EXPECT_EQ(out, c.expected);
    EXPECT_TRUE(IsXMLText(out));
  }
}

TEST(FitDatagram, KeepsTheLongestPrefixThatFitsBetweenWholeUnits) {
  const auto bracket = [](const std::string& s) { return "[" + s + "]"; };
  struct Case {
    std::string text;
    std::size_t limit;
    std::string expected;
  };
  const Case cases[] = {
      {"abcd", 6, "[abcd]"},                          // fits: unchanged
      {"abcdefgh", 6, "[abcd]"},
      {"ab\r\ncd", 5, "[ab]"},                        // not between CR and LF
      {"ab\r\ncd", 6, "[ab\r\n]"},
      {"a&#xD;b", 6, "[a]"},                          // not inside "&#xD;"
      {"a&#xD;b", 8, "[a&#xD;]"},
      {"a&#xb", 6, "[a&#x]"},                         // other text cuts anywhere
      {"\xC3\xA9\xC3\xA9", 5, "[\xC3\xA9]"},          // not inside a character
      {"\xF0\x9F\x98\x80", 5, "[]"},
      {"abc", 1, "[]"},                               // even empty does not fit: built anyway
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text) + " limit " + std::to_string(c.limit));
    EXPECT_EQ(FitDatagram(c.text, bracket, c.limit), c.expected);
  }
}

// Escapes are counted as the build writes them, not as raw bytes.
TEST(FitDatagram, MeasuresTheBuiltDocument) {
  const auto escape = [](const std::string& s) {
    std::string out = "<";
    for (char ch : s) out += ch == '&' ? std::string("&amp;") : std::string(1, ch);
    return out + ">";
  };
  EXPECT_EQ(FitDatagram("a&b&c", escape, 9), "<a&amp;b>");
  EXPECT_EQ(FitDatagram("a&b&c", escape, 8), "<a&amp;>");
}

}  // namespace
}  // namespace lumaren
