// Round trips through the XML helpers. What must hold for any bytes: a
// "Display" element read, written, serialised, reloaded and read again gives
// the same content; EncodeCR and DecodeCR undo each other; the integer and
// Boolean readers agree with a reading written here from their rules; and a
// value put into an attribute or an element comes back as it was.

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "display/uDisplayLine.h"
#include "fuzz/FuzzEntries.h"
#include "fuzz/FuzzText.h"
#include "protocol/uXMLCheck.h"
#include "protocol/uXMLHelpers.h"

namespace lumaren::fuzz {
namespace {

// ---- The readers' rules, read again -------------------------------------

bool AllOf(std::string_view text, bool (*pred)(char)) {
  for (const char c : text)
    if (!pred(c)) return false;
  return true;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string_view WithoutLeadingZeros(std::string_view digits) {
  while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  return digits;
}

// Blanks (space, tab), then either hex digits after "$", "x", "X", "0x" or
// "0X" making a 32-bit pattern, or an optional sign and decimal digits
// within -2147483648..2147483647; nothing may follow.
std::optional<std::int32_t> ReferenceStrToInt(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);

  for (const std::string_view prefix : {"0x", "0X", "$", "x", "X"}) {
    if (text.substr(0, prefix.size()) != prefix) continue;
    const std::string_view digits = text.substr(prefix.size());
    if (digits.empty() || !AllOf(digits, IsHexDigit)) return std::nullopt;
    const std::string_view significant = WithoutLeadingZeros(digits);
    if (significant.size() > 8) return std::nullopt;
    const std::uint32_t pattern = static_cast<std::uint32_t>(std::stoul(std::string(significant), nullptr, 16));
    std::int32_t value;
    std::memcpy(&value, &pattern, sizeof value);
    return value;
  }

  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !AllOf(text, IsDecimalDigit)) return std::nullopt;
  const std::string_view significant = WithoutLeadingZeros(text);
  // Ten digits at most; then the same length compares as text.
  const std::string_view limit = negative ? "2147483648" : "2147483647";
  if (significant.size() > limit.size() || (significant.size() == limit.size() && significant > limit))
    return std::nullopt;
  const std::int64_t magnitude = std::stoll(std::string(significant));
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// A number (non-zero is true) or "true"/"false" in any letter case.
std::optional<bool> ReferenceStrToBool(std::string_view text) {
  if (const auto number = ReferenceStrToInt(text)) return *number != 0;
  const auto sameWord = [&](std::string_view lower, std::string_view upper) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] != lower[i] && text[i] != upper[i]) return false;
    return true;
  };
  if (sameWord("true", "TRUE")) return true;
  if (sameWord("false", "FALSE")) return false;
  return std::nullopt;
}

std::string OptionalText(const std::optional<std::int32_t>& v) { return v ? std::to_string(*v) : "none"; }
std::string OptionalText(const std::optional<bool>& v) { return v ? (*v ? "true" : "false") : "none"; }

// ---- Documents ----------------------------------------------------------

// Serialises doc and loads the text again; the text must load.
void Reload(const pugi::xml_document& doc, pugi::xml_document& into, const std::string& what) {
  const std::string text = SaveXMLText(doc);
  try {
    LoadXMLText(into, text);
  } catch (const EXMLError& e) {
    FuzzCheck(false, what + " does not load again: " + e.what() + "\n  " + Excerpt(text));
  }
}

class TDisplayElementRig final : public TFuzzRig {
 public:
  void Run(std::string_view bytes) override {
    pugi::xml_document doc;
    try {
      LoadXMLText(doc, bytes);
    } catch (const EXMLError&) {
      return;
    }
    // A whole DisplayData datagram works as well as a lone element.
    const TXMLNode root = doc.document_element();
    const TXMLNode element = FindXMLChild(root, "Display") ? FindXMLChild(root, "Display") : root;
    TDisplayLineList first;
    first.XMLRead(element);

    pugi::xml_document written;
    NewXMLDocument(written);
    first.XMLWrite(AddXMLElement(written, "Display"));
    pugi::xml_document reloaded;
    Reload(written, reloaded, "a written \"Display\" element");
    TDisplayLineList second;
    second.XMLRead(reloaded.document_element());
    // The one field that does not come back: an empty font name is not
    // written, and a "Font" element without "Name" reads as "Arial".
    TDisplayLineList expected;
    expected.Assign(first);
    if (expected.FontName.empty() && (expected.BgColour != clNone || expected.FontColour != clNone))
      expected.FontName = "Arial";
    FuzzCheck(DisplayListText(second) == DisplayListText(expected),
              Mismatch("a \"Display\" element reads back as written", DisplayListText(expected),
                       DisplayListText(second)));
  }
};

class TValueTextRig final : public TFuzzRig {
 public:
  void Run(std::string_view text) override {
    const std::string encoded = EncodeCR(text);
    FuzzCheck(encoded.find("\r\n") == std::string::npos, "EncodeCR leaves no CR LF");
    if (text.find("&#xD;") == std::string_view::npos)
      FuzzCheck(DecodeCR(encoded) == text, Mismatch("DecodeCR(EncodeCR(x)) == x", text, DecodeCR(encoded)));
    const std::string decoded = DecodeCR(text);
    FuzzCheck(decoded.find("&#xD;") == std::string::npos, "DecodeCR leaves no \"&#xD;\"");
    if (text.find("\r\n") == std::string_view::npos)
      FuzzCheck(EncodeCR(decoded) == text, Mismatch("EncodeCR(DecodeCR(x)) == x", text, EncodeCR(decoded)));

    const auto integer = ReferenceStrToInt(text);
    FuzzCheck(TryStrToInt(text) == integer,
              Mismatch("TryStrToInt of " + Excerpt(text), OptionalText(integer), OptionalText(TryStrToInt(text))));
    const auto boolean = ReferenceStrToBool(text);
    FuzzCheck(TryStrToBool(text) == boolean,
              Mismatch("TryStrToBool of " + Excerpt(text), OptionalText(boolean), OptionalText(TryStrToBool(text))));

    // Through a document, as every reader meets a value: the writers take
    // any text XML can carry, and it comes back as it went.
    if (!IsXMLText(text)) return;
    const std::string value(text);
    pugi::xml_document doc;
    NewXMLDocument(doc);
    const TXMLNode root = AddXMLElement(doc, "Values");
    AddXMLAtt(root, "Text", value);
    AddXMLNode(root, "Text", value);  // an element only when not empty
    pugi::xml_document reloaded;
    Reload(doc, reloaded, "a document holding the value");
    const TXMLNode back = reloaded.document_element();
    constexpr std::int32_t CON_Absent = 0x5EED;
    FuzzCheck(GetXMLAtt(back, "Text", CON_Absent) == integer.value_or(CON_Absent), "the attribute as an integer");
    FuzzCheck(GetXMLAtt(back, "Text", false) == boolean.value_or(false) &&
                  GetXMLAtt(back, "Text", true) == boolean.value_or(true),
              "the attribute as a Boolean");
    if (text.find("&#xD;") != std::string_view::npos) return;  // read back as a line break, by design
    FuzzCheck(GetXMLAtt(back, "Text", "<absent>") == text,
              Mismatch("the attribute as text", text, GetXMLAtt(back, "Text", "<absent>")));
    FuzzCheck(GetXMLNode(back, "Text", "") == text,
              Mismatch("the element text", text, GetXMLNode(back, "Text", "")));
  }
};

}  // namespace

std::unique_ptr<TFuzzRig> NewDisplayElementRig() { return std::make_unique<TDisplayElementRig>(); }
std::unique_ptr<TFuzzRig> NewValueTextRig() { return std::make_unique<TValueTextRig>(); }

}  // namespace lumaren::fuzz
