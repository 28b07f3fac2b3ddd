#pragma once
// Every XML document of the program, datagrams and files alike, is written and
// read through these helpers. They keep our own reading rules: pugixml's
// as_int/as_bool are not used, because they accept text we must refuse
// ("0x5ab", "- 16") and look only at the first character of a Boolean.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace lumaren {

using TXMLNode = pugi::xml_node;

// A colour in the Windows layout: red in the low byte, then green, then blue.
using TColor = std::int32_t;
// "Not set": the preference colour applies.
inline constexpr TColor clNone = 0x1FFFFFFF;

// Marks an argument as a colour, so it is written as six hex digits rather
// than as a decimal integer.
struct TColorValue {
  TColor Value;
};

// Raised for text that is not a well-formed XML 1.0 document, and by the
// writers for a change the document cannot take (a name that is not an XML
// name, a value XML cannot carry, an attribute given twice, a node that is
// not an element).
class EXMLError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---- Value encodings ----------------------------------------------------

// Optional blanks, then a signed decimal, or hex after "$", "x", "X", "0x",
// "0X"; eight hex digits are a 32-bit pattern. Anything else: nullopt.
std::optional<std::int32_t> TryStrToInt(std::string_view text);
// A number (non-zero is true) or True/False in any letter case.
std::optional<bool> TryStrToBool(std::string_view text);
// Exactly six hex digits, red first: red + green*256 + blue*65536.
std::optional<TColor> TryHexToTColor(std::string_view text);

// Six upper-case hex digits, red first; the top byte is dropped.
// A negative colour (a system colour reference) raises std::range_error.
std::string TColorToHex(TColor color);
// Every CR LF pair becomes the five characters "&#xD;", and back.
std::string EncodeCR(std::string_view text);
std::string DecodeCR(std::string_view text);

// ---- Writers: children and attributes are appended after existing ones ---

// Appends an empty child element; the payload elements of a message and the
// "Font" and "Line" children of the display content are made this way.
TXMLNode AddXMLElement(TXMLNode parent, const std::string& name);

bool AddXMLNode(TXMLNode parent, const std::string& name, std::int32_t value);
bool AddXMLNode(TXMLNode parent, const std::string& name, const std::string& value);
bool AddXMLNode(TXMLNode parent, const std::string& name, const char* value);
void AddXMLAtt(TXMLNode node, const std::string& name, bool value);
void AddXMLAtt(TXMLNode node, const std::string& name, TColorValue value);
void AddXMLAtt(TXMLNode node, const std::string& name, std::int32_t value);
void AddXMLAtt(TXMLNode node, const std::string& name, const std::string& value);
void AddXMLAtt(TXMLNode node, const std::string& name, const char* value);

// ---- Readers: the default when absent or when the text does not convert --

// The first direct child element of that name (exact, case-sensitive), or an
// empty node. Readers find every payload element this way.
TXMLNode FindXMLChild(TXMLNode parent, std::string_view name);

bool GetXMLAtt(TXMLNode node, const std::string& name, bool def);
std::int32_t GetXMLAtt(TXMLNode node, const std::string& name, std::int32_t def);
std::string GetXMLAtt(TXMLNode node, const std::string& name, const std::string& def);
std::string GetXMLAtt(TXMLNode node, const std::string& name, const char* def);
// GetXMLNode reads the text of the first child element of that name; an
// element that has element children has no text and gives the default.
std::int32_t GetXMLNode(TXMLNode parent, const std::string& name, std::int32_t def);
std::string GetXMLNode(TXMLNode parent, const std::string& name, const std::string& def);
std::string GetXMLNode(TXMLNode parent, const std::string& name, const char* def);

// ---- Documents ----------------------------------------------------------

// Starts an empty document with the declaration version "1.0", encoding "UTF-8".
void NewXMLDocument(pugi::xml_document& doc);
// Loads UTF-8 text into doc; the declaration's encoding is not consulted and a
// leading byte-order mark is skipped. Accepts the well-formed XML 1.0
// documents; anything else raises EXMLError and leaves doc empty. A DOCTYPE
// is checked but never expanded and nothing external is read, so references
// to entities other than the five predefined ones are refused too.
void LoadXMLText(pugi::xml_document& doc, std::string_view utf8);
// Serialises with the declaration and two-space indentation of child elements.
std::string SaveXMLText(const pugi::xml_document& doc);

}  // namespace lumaren
