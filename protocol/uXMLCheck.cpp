#include "protocol/uXMLCheck.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/uXMLHelpers.h"

namespace lumaren {

namespace {

// ---- Characters ---------------------------------------------------------

// Decodes one UTF-8 sequence at text[pos]. Returns its length, or 0 for an
// overlong form, a surrogate, a value above U+10FFFF or a truncated sequence.
std::size_t DecodeUTF8(std::string_view text, std::size_t pos, char32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const std::size_t left = text.size() - pos;
  const unsigned char b0 = byte(0);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;  // a continuation byte, C0/C1 (always overlong) or F5..FF
  }
  if (left < len) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    const unsigned char b = byte(i);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// The Char production.
bool IsXMLChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsNameStartChar(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ':' || c == '_' ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

bool IsS(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsPubidChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c == ' ' || c == '\r' || c == '\n' ||
         std::string_view("-'()+,./:=?;!*#@$_%").find(c) != std::string_view::npos;
}

// Returns the offset of the first byte that is not valid UTF-8 or not a Char,
// or npos.
std::size_t FindBadChar(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[pos]);
    if (b >= 0x20 && b < 0x80) {  // the common case first
      ++pos;
      continue;
    }
    char32_t cp = 0;
    const std::size_t len = DecodeUTF8(text, pos, cp);
    if (len == 0 || !IsXMLChar(cp)) return pos;
    pos += len;
  }
  return std::string_view::npos;
}

// ---- Grammar ------------------------------------------------------------

// Where a reference stands decides which references are allowed.
enum class TRefPlace { Content, AttValue, EntityValue };

// One pass over text that has already been found to be valid UTF-8 made of
// Chars. Nesting is kept on explicit stacks, so deep documents cannot
// exhaust the call stack.
class TWellFormedChecker {
 public:
  explicit TWellFormedChecker(std::string_view text) : FText(text) {}

  void Run() {
    if (StartsWith("<?xml") && FText.size() > 5 && IsS(FText[5])) ReadXMLDecl();
    ReadMisc();
    if (StartsWith("<!DOCTYPE")) {
      ReadDoctype();
      ReadMisc();
    }
    if (AtEnd()) Fail("no root element");
    if (Cur() != '<') Fail("text outside the root element");
    ReadElement();
    ReadMisc();
    if (!AtEnd()) Fail("content after the root element");
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EXMLError("XML not well-formed at byte " + std::to_string(FPos) + ": " + what);
  }

  bool AtEnd() const { return FPos >= FText.size(); }
  char Cur() const { return AtEnd() ? '\0' : FText[FPos]; }
  bool StartsWith(std::string_view s) const { return FText.substr(FPos, s.size()) == s; }

  void Expect(std::string_view s) {
    if (!StartsWith(s)) Fail("expected \"" + std::string(s) + "\"");
    FPos += s.size();
  }

  bool SkipS() {
    const std::size_t start = FPos;
    while (!AtEnd() && IsS(FText[FPos])) ++FPos;
    return FPos > start;
  }

  void RequireS() {
    if (!SkipS()) Fail("white space expected");
  }

  char32_t PeekCode(std::size_t& len) const {
    char32_t cp = 0;
    len = AtEnd() ? 0 : DecodeUTF8(FText, FPos, cp);
    return len == 0 ? 0 : cp;
  }

  std::string_view ReadName() {
    const std::size_t start = FPos;
    std::size_t len = 0;
    if (!IsNameStartChar(PeekCode(len))) Fail("name expected");
    FPos += len;
    for (char32_t c = PeekCode(len); len != 0 && IsNameChar(c); c = PeekCode(len)) FPos += len;
    return FText.substr(start, FPos - start);
  }

  void ReadNmtoken() {
    const std::size_t start = FPos;
    std::size_t len = 0;
    for (char32_t c = PeekCode(len); len != 0 && IsNameChar(c); c = PeekCode(len)) FPos += len;
    if (FPos == start) Fail("name token expected");
  }

  void ReadEq() {
    SkipS();
    Expect("=");
    SkipS();
  }

  char ReadOpeningQuote() {
    const char q = Cur();
    if (q != '"' && q != '\'') Fail("quoted value expected");
    ++FPos;
    return q;
  }

  // A quoted literal without references; returns its content.
  std::string_view ReadLiteral() {
    const char q = ReadOpeningQuote();
    const std::size_t end = FText.find(q, FPos);
    if (end == std::string_view::npos) Fail("unterminated literal");
    const std::string_view value = FText.substr(FPos, end - FPos);
    FPos = end + 1;
    return value;
  }

  // At "&".
  void ReadReference(TRefPlace place) {
    ++FPos;
    if (Cur() == '#') {
      ++FPos;
      const bool hex = Cur() == 'x';
      if (hex) ++FPos;
      std::uint32_t value = 0;
      std::size_t digits = 0;
      for (;; ++FPos, ++digits) {
        const char c = Cur();
        int d;
        if (c >= '0' && c <= '9') {
          d = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
          d = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
          d = c - 'A' + 10;
        } else {
          break;
        }
        // Saturate above the last code point; leading zeros are allowed.
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d), 0x110000);
      }
      if (digits == 0) Fail("character reference without digits");
      Expect(";");
      if (!IsXMLChar(value)) Fail("character reference to a character XML does not allow");
      return;
    }
    const std::string_view name = ReadName();
    Expect(";");
    // In an entity value a general entity reference is only recorded, not
    // expanded, so any name is fine there.
    if (place == TRefPlace::EntityValue) return;
    if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot")
      Fail("reference to the entity \"" + std::string(name) + "\", which is not expanded");
  }

  void ReadAttValue() {
    const char q = ReadOpeningQuote();
    for (;;) {
      if (AtEnd()) Fail("unterminated attribute value");
      const char c = Cur();
      if (c == q) {
        ++FPos;
        return;
      }
      if (c == '<') Fail("\"<\" in an attribute value");
      if (c == '&') {
        ReadReference(TRefPlace::AttValue);
      } else {
        ++FPos;
      }
    }
  }

  // At "<!--".
  void ReadComment() {
    FPos += 4;
    const std::size_t dashes = FText.find("--", FPos);
    if (dashes == std::string_view::npos) Fail("unterminated comment");
    FPos = dashes;
    if (FText.substr(dashes, 3) != "-->") Fail("\"--\" inside a comment");
    FPos += 3;
  }

  // At "<?".
  void ReadPI() {
    FPos += 2;
    const std::string_view target = ReadName();
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l')
      Fail("processing instruction named \"xml\" (the declaration must come first)");
    if (StartsWith("?>")) {
      FPos += 2;
      return;
    }
    RequireS();
    const std::size_t end = FText.find("?>", FPos);
    if (end == std::string_view::npos) Fail("unterminated processing instruction");
    FPos = end + 2;
  }

  // At "<![CDATA[" inside an element.
  void ReadCDATA() {
    FPos += 9;
    const std::size_t end = FText.find("]]>", FPos);
    if (end == std::string_view::npos) Fail("unterminated CDATA section");
    FPos = end + 3;
  }

  // Comments, processing instructions and white space.
  void ReadMisc() {
    for (;;) {
      SkipS();
      if (StartsWith("<!--")) {
        ReadComment();
      } else if (StartsWith("<?")) {
        ReadPI();
      } else {
        return;
      }
    }
  }

  // At "<?xml" followed by white space, at the very start.
  void ReadXMLDecl() {
    FPos += 5;
    RequireS();
    Expect("version");
    ReadEq();
    const std::string_view version = ReadLiteral();
    if (version.size() < 3 || version.substr(0, 2) != "1." ||
        !std::all_of(version.begin() + 2, version.end(), [](char c) { return c >= '0' && c <= '9'; }))
      Fail("XML version must be 1.x");
    bool space = SkipS();
    if (space && StartsWith("encoding")) {
      FPos += 8;
      ReadEq();
      // The name is checked but not obeyed: the bytes are always UTF-8.
      const std::string_view enc = ReadLiteral();
      const auto encChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
      };
      if (enc.empty() || !((enc[0] | 0x20) >= 'a' && (enc[0] | 0x20) <= 'z') ||
          !std::all_of(enc.begin(), enc.end(), encChar))
        Fail("bad encoding name");
      space = SkipS();
    }
    if (space && StartsWith("standalone")) {
      FPos += 10;
      ReadEq();
      const std::string_view sd = ReadLiteral();
      if (sd != "yes" && sd != "no") Fail("standalone must be yes or no");
      SkipS();
    }
    Expect("?>");
  }

  void ReadSystemLiteral() { ReadLiteral(); }

  void ReadPubidLiteral() {
    const std::string_view id = ReadLiteral();
    if (!std::all_of(id.begin(), id.end(), IsPubidChar)) Fail("bad character in a public identifier");
  }

  // At "SYSTEM" or "PUBLIC". A notation may name a public identifier alone.
  void ReadExternalID(bool publicAloneAllowed) {
    if (StartsWith("SYSTEM")) {
      FPos += 6;
      RequireS();
      ReadSystemLiteral();
    } else if (StartsWith("PUBLIC")) {
      FPos += 6;
      RequireS();
      ReadPubidLiteral();
      if (publicAloneAllowed) {
        if (SkipS() && (Cur() == '"' || Cur() == '\'')) ReadSystemLiteral();
      } else {
        RequireS();
        ReadSystemLiteral();
      }
    } else {
      Fail("SYSTEM or PUBLIC expected");
    }
  }

  // At "<!DOCTYPE". Checked for syntax only; nothing in it is used.
  void ReadDoctype() {
    FPos += 9;
    RequireS();
    ReadName();
    const bool space = SkipS();
    if (space && (StartsWith("SYSTEM") || StartsWith("PUBLIC"))) {
      ReadExternalID(false);
      SkipS();
    }
    if (Cur() == '[') {
      ++FPos;
      ReadInternalSubset();
      Expect("]");
      SkipS();
    }
    Expect(">");
  }

  void ReadInternalSubset() {
    for (;;) {
      SkipS();
      if (AtEnd()) Fail("unterminated DOCTYPE");
      if (Cur() == ']') return;
      if (StartsWith("<!--")) {
        ReadComment();
      } else if (StartsWith("<?")) {
        ReadPI();
      } else if (StartsWith("<!ELEMENT")) {
        ReadElementDecl();
      } else if (StartsWith("<!ATTLIST")) {
        ReadAttlistDecl();
      } else if (StartsWith("<!ENTITY")) {
        ReadEntityDecl();
      } else if (StartsWith("<!NOTATION")) {
        ReadNotationDecl();
      } else if (Cur() == '%') {
        Fail("parameter-entity reference in the DOCTYPE, which is not expanded");
      } else {
        Fail("markup declaration expected in the DOCTYPE");
      }
    }
  }

  void ReadQuantifier() {
    if (Cur() == '?' || Cur() == '*' || Cur() == '+') ++FPos;
  }

  // At "<!ELEMENT".
  void ReadElementDecl() {
    FPos += 9;
    RequireS();
    ReadName();
    RequireS();
    if (StartsWith("EMPTY")) {
      FPos += 5;
    } else if (StartsWith("ANY")) {
      FPos += 3;
    } else if (Cur() == '(') {
      ReadContentModel();
    } else {
      Fail("EMPTY, ANY or a content model expected");
    }
    SkipS();
    Expect(">");
  }

  // At "(" of a content model: mixed content or nested choices and sequences.
  void ReadContentModel() {
    ++FPos;
    SkipS();
    if (StartsWith("#PCDATA")) {
      FPos += 7;
      bool names = false;
      for (;;) {
        SkipS();
        if (Cur() != '|') break;
        ++FPos;
        SkipS();
        ReadName();
        names = true;
      }
      Expect(")");
      if (names) {
        Expect("*");
      } else if (Cur() == '*') {
        ++FPos;
      }
      return;
    }
    // One separator per group: "|" makes a choice, "," a sequence.
    std::vector<char> separators{'\0'};
    bool expectParticle = true;
    while (!separators.empty()) {
      SkipS();
      if (expectParticle) {
        if (Cur() == '(') {
          ++FPos;
          separators.push_back('\0');
          continue;
        }
        ReadName();
        ReadQuantifier();
        expectParticle = false;
        continue;
      }
      const char c = Cur();
      if (c == '|' || c == ',') {
        if (separators.back() == '\0') {
          separators.back() = c;
        } else if (separators.back() != c) {
          Fail("\"|\" and \",\" mixed in one group");
        }
        ++FPos;
        expectParticle = true;
      } else if (c == ')') {
        ++FPos;
        ReadQuantifier();
        separators.pop_back();
      } else {
        Fail("\"|\", \",\" or \")\" expected in a content model");
      }
    }
  }

  // At "<!ATTLIST".
  void ReadAttlistDecl() {
    FPos += 9;
    RequireS();
    ReadName();
    for (;;) {
      const bool space = SkipS();
      if (Cur() == '>') {
        ++FPos;
        return;
      }
      if (!space) Fail("white space expected");
      ReadName();
      RequireS();
      ReadAttType();
      RequireS();
      if (StartsWith("#REQUIRED")) {
        FPos += 9;
      } else if (StartsWith("#IMPLIED")) {
        FPos += 8;
      } else {
        if (StartsWith("#FIXED")) {
          FPos += 6;
          RequireS();
        }
        ReadAttValue();
      }
    }
  }

  void ReadAttType() {
    if (Cur() == '(') {
      ++FPos;
      SkipS();
      ReadNmtoken();
      for (SkipS(); Cur() == '|'; SkipS()) {
        ++FPos;
        SkipS();
        ReadNmtoken();
      }
      Expect(")");
      return;
    }
    if (StartsWith("NOTATION")) {
      FPos += 8;
      RequireS();
      Expect("(");
      SkipS();
      ReadName();
      for (SkipS(); Cur() == '|'; SkipS()) {
        ++FPos;
        SkipS();
        ReadName();
      }
      Expect(")");
      return;
    }
    // Longest keyword first, so IDREFS is not read as ID.
    for (std::string_view kw : {"CDATA", "IDREFS", "IDREF", "ID", "ENTITY", "ENTITIES", "NMTOKENS",
                                "NMTOKEN"}) {
      if (StartsWith(kw)) {
        FPos += kw.size();
        return;
      }
    }
    Fail("attribute type expected");
  }

  // At "<!ENTITY".
  void ReadEntityDecl() {
    FPos += 8;
    RequireS();
    bool parameter = false;
    if (Cur() == '%') {
      ++FPos;
      RequireS();
      parameter = true;
    }
    ReadName();
    RequireS();
    if (Cur() == '"' || Cur() == '\'') {
      ReadEntityValue();
    } else {
      ReadExternalID(false);
      if (!parameter && SkipS() && StartsWith("NDATA")) {
        FPos += 5;
        RequireS();
        ReadName();
      }
    }
    SkipS();
    Expect(">");
  }

  void ReadEntityValue() {
    const char q = ReadOpeningQuote();
    for (;;) {
      if (AtEnd()) Fail("unterminated entity value");
      const char c = Cur();
      if (c == q) {
        ++FPos;
        return;
      }
      // Inside a declaration of the internal subset a parameter-entity
      // reference is not allowed at all.
      if (c == '%') Fail("\"%\" in an entity value of the internal subset");
      if (c == '&') {
        ReadReference(TRefPlace::EntityValue);
      } else {
        ++FPos;
      }
    }
  }

  // At "<!NOTATION".
  void ReadNotationDecl() {
    FPos += 10;
    RequireS();
    ReadName();
    RequireS();
    ReadExternalID(true);
    SkipS();
    Expect(">");
  }

  // At "<" of a start tag. Returns the element's name and whether the tag
  // was an empty-element tag.
  std::string_view ReadStartTag(bool& empty) {
    ++FPos;
    const std::string_view name = ReadName();
    FAttNames.clear();
    for (;;) {
      const bool space = SkipS();
      if (Cur() == '>') {
        ++FPos;
        empty = false;
        break;
      }
      if (StartsWith("/>")) {
        FPos += 2;
        empty = true;
        break;
      }
      if (AtEnd()) Fail("unterminated start tag");
      if (!space) Fail("white space expected before an attribute");
      FAttNames.push_back(ReadName());
      ReadEq();
      ReadAttValue();
    }
    std::sort(FAttNames.begin(), FAttNames.end());
    const auto dup = std::adjacent_find(FAttNames.begin(), FAttNames.end());
    if (dup != FAttNames.end()) Fail("attribute \"" + std::string(*dup) + "\" given twice");
    return name;
  }

  // At "<" of the root element; reads it with everything inside.
  void ReadElement() {
    std::vector<std::string_view> open;
    bool empty = false;
    const std::string_view root = ReadStartTag(empty);
    if (!empty) open.push_back(root);
    while (!open.empty()) {
      // Character data up to the next markup.
      while (!AtEnd() && Cur() != '<' && Cur() != '&') {
        if (Cur() == ']' && StartsWith("]]>")) Fail("\"]]>\" in text");
        ++FPos;
      }
      if (AtEnd()) Fail("element \"" + std::string(open.back()) + "\" is not closed");
      if (Cur() == '&') {
        ReadReference(TRefPlace::Content);
      } else if (StartsWith("</")) {
        const std::size_t tagStart = FPos;
        FPos += 2;
        const std::string_view name = ReadName();
        SkipS();
        Expect(">");
        if (name != open.back()) {
          FPos = tagStart;  // report where the wrong end tag starts
          Fail("end tag \"" + std::string(name) + "\" closes \"" + std::string(open.back()) + "\"");
        }
        open.pop_back();
      } else if (StartsWith("<!--")) {
        ReadComment();
      } else if (StartsWith("<![CDATA[")) {
        ReadCDATA();
      } else if (StartsWith("<?")) {
        ReadPI();
      } else {
        const std::string_view name = ReadStartTag(empty);
        if (!empty) open.push_back(name);
      }
    }
  }

  std::string_view FText;
  std::size_t FPos = 0;
  std::vector<std::string_view> FAttNames;
};

}  // namespace

void CheckWellFormedXML(std::string_view text) {
  const std::size_t bad = FindBadChar(text);
  if (bad != std::string_view::npos)
    throw EXMLError("XML not well-formed at byte " + std::to_string(bad) +
                    ": invalid UTF-8 or a character XML does not allow");
  TWellFormedChecker(text).Run();
}

bool IsXMLName(std::string_view name) {
  std::size_t pos = 0;
  while (pos < name.size()) {
    char32_t cp = 0;
    const std::size_t len = DecodeUTF8(name, pos, cp);
    if (len == 0 || !(pos == 0 ? IsNameStartChar(cp) : IsNameChar(cp))) return false;
    pos += len;
  }
  return !name.empty();
}

bool IsXMLText(std::string_view text) { return FindBadChar(text) == std::string_view::npos; }

}  // namespace lumaren
