#include "protocol/uXMLHelpers.h"

#include <cstdio>

#include "protocol/uXMLCheck.h"

namespace lumaren {

namespace {

constexpr std::string_view CON_CRLF = "\r\n";
// The five characters that stand for a CR LF pair inside values.
constexpr std::string_view CON_EncodedCR = "&#xD;";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool SameTextASCII(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Replace(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, pos)) {
    out.append(text.substr(pos, hit - pos)).append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

// pugixml writes whatever it is given; these checks keep every document we
// write loadable by our own strict reader.
void RequireName(const std::string& name) {
  if (!IsXMLName(name)) throw EXMLError("\"" + name + "\" is not an XML name");
}

void RequireText(std::string_view value) {
  if (!IsXMLText(value)) throw EXMLError("value holds invalid UTF-8 or a character XML cannot carry");
}

void SetAttribute(TXMLNode node, const std::string& name, const std::string& value) {
  if (node.type() != pugi::node_element) throw EXMLError("attribute \"" + name + "\" added to a non-element");
  RequireName(name);
  RequireText(value);
  // A second attribute of the same name would make the document ill-formed.
  if (node.attribute(name.c_str())) throw EXMLError("attribute \"" + name + "\" added twice");
  if (!node.append_attribute(name.c_str()).set_value(value.c_str()))
    throw EXMLError("cannot add attribute \"" + name + "\"");
}

// The element's text: its text and CDATA children joined. nullopt when the
// element has element children.
std::optional<std::string> ElementText(TXMLNode element) {
  std::string text;
  for (TXMLNode c = element.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element) return std::nullopt;
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
  }
  return text;
}

// pugixml escapes CR in attribute values but writes it raw in text, where
// every reader turns it into LF (line-end normalisation), so an element text
// holding a CR would come back changed. Nothing else we serialise can hold a
// raw CR: the documents we build have no CDATA, comments or processing
// instructions, and a loaded document's CDATA has had its CRs normalised
// away. So every raw CR written is text, and is written as a reference.
class TStringWriter : public pugi::xml_writer {
 public:
  explicit TStringWriter(std::string& out) : FOut(out) {}
  void write(const void* data, std::size_t size) override {
    const std::string_view chunk(static_cast<const char*>(data), size);
    std::size_t pos = 0;
    for (std::size_t cr = chunk.find('\r'); cr != std::string_view::npos; cr = chunk.find('\r', pos)) {
      FOut.append(chunk.substr(pos, cr - pos)).append("&#13;");
      pos = cr + 1;
    }
    FOut.append(chunk.substr(pos));
  }

 private:
  std::string& FOut;
};

}  // namespace

// ---- Value encodings ----------------------------------------------------

// A sign is taken before decimal digits only: hex text is a bit pattern
// ("$FFFFFFFF" is -1), so "-$FF" does not convert.
std::optional<std::int32_t> TryStrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i == text.size()) return std::nullopt;

  std::size_t hexStart = std::string_view::npos;
  if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
    hexStart = i + 1;
  } else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hexStart = i + 2;
  }
  if (hexStart != std::string_view::npos) {
    if (hexStart == text.size()) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t k = hexStart; k < text.size(); ++k) {
      const int d = HexDigit(text[k]);
      if (d < 0) return std::nullopt;
      value = value * 16 + static_cast<std::uint64_t>(d);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    // Eight digits are a 32-bit pattern: the top bit is the sign.
    const auto wide = static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(wide >= 0x80000000LL ? wide - 0x100000000LL : wide);
  }

  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > 0x80000000LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 0x7FFFFFFFLL) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<bool> TryStrToBool(std::string_view text) {
  if (const auto number = TryStrToInt(text)) return *number != 0;
  if (SameTextASCII(text, "true")) return true;
  if (SameTextASCII(text, "false")) return false;
  return std::nullopt;
}

std::optional<TColor> TryHexToTColor(std::string_view text) {
  if (text.size() != 6) return std::nullopt;
  TColor color = 0;
  for (std::size_t pair = 0; pair < 3; ++pair) {
    const int hi = HexDigit(text[pair * 2]);
    const int lo = HexDigit(text[pair * 2 + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    color |= (hi * 16 + lo) << (8 * pair);  // red first, in the low byte
  }
  return color;
}

std::string TColorToHex(TColor color) {
  if (color < 0) throw std::range_error("colour " + std::to_string(color) + " is a system colour reference, not RGB");
  char buf[7];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  return buf;
}

std::string EncodeCR(std::string_view text) { return Replace(text, CON_CRLF, CON_EncodedCR); }

std::string DecodeCR(std::string_view text) { return Replace(text, CON_EncodedCR, CON_CRLF); }

// ---- Writers ------------------------------------------------------------

TXMLNode AddXMLElement(TXMLNode parent, const std::string& name) {
  RequireName(name);
  TXMLNode child = parent.append_child(name.c_str());
  if (!child) throw EXMLError("cannot append element \"" + name + "\"");
  return child;
}

bool AddXMLNode(TXMLNode parent, const std::string& name, std::int32_t value) {
  try {
    return AddXMLElement(parent, name).text().set(std::to_string(value).c_str());
  } catch (...) {
    return false;
  }
}

bool AddXMLNode(TXMLNode parent, const std::string& name, const std::string& value) {
  if (value.empty()) return false;
  const std::string encoded = EncodeCR(value);
  RequireText(encoded);
  TXMLNode child = AddXMLElement(parent, name);
  if (!child.text().set(encoded.c_str())) throw EXMLError("cannot set the text of \"" + name + "\"");
  return true;
}

bool AddXMLNode(TXMLNode parent, const std::string& name, const char* value) {
  return AddXMLNode(parent, name, std::string(value ? value : ""));
}

void AddXMLAtt(TXMLNode node, const std::string& name, bool value) {
  SetAttribute(node, name, value ? "-1" : "0");
}

void AddXMLAtt(TXMLNode node, const std::string& name, TColorValue value) {
  SetAttribute(node, name, TColorToHex(value.Value));
}

void AddXMLAtt(TXMLNode node, const std::string& name, std::int32_t value) {
  SetAttribute(node, name, std::to_string(value));
}

void AddXMLAtt(TXMLNode node, const std::string& name, const std::string& value) {
  SetAttribute(node, name, EncodeCR(value));
}

void AddXMLAtt(TXMLNode node, const std::string& name, const char* value) {
  AddXMLAtt(node, name, std::string(value ? value : ""));
}

// ---- Readers ------------------------------------------------------------

TXMLNode FindXMLChild(TXMLNode parent, std::string_view name) {
  for (TXMLNode c = parent.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && name == c.name()) return c;
  return TXMLNode();
}

bool GetXMLAtt(TXMLNode node, const std::string& name, bool def) {
  const pugi::xml_attribute att = node.attribute(name.c_str());
  return att ? TryStrToBool(att.value()).value_or(def) : def;
}

std::int32_t GetXMLAtt(TXMLNode node, const std::string& name, std::int32_t def) {
  const pugi::xml_attribute att = node.attribute(name.c_str());
  return att ? TryStrToInt(att.value()).value_or(def) : def;
}

std::string GetXMLAtt(TXMLNode node, const std::string& name, const std::string& def) {
  const pugi::xml_attribute att = node.attribute(name.c_str());
  return att ? DecodeCR(att.value()) : def;
}

std::string GetXMLAtt(TXMLNode node, const std::string& name, const char* def) {
  return GetXMLAtt(node, name, std::string(def ? def : ""));
}

std::int32_t GetXMLNode(TXMLNode parent, const std::string& name, std::int32_t def) {
  const TXMLNode child = FindXMLChild(parent, name);
  if (!child) return def;
  const auto text = ElementText(child);
  return text ? TryStrToInt(*text).value_or(def) : def;
}

std::string GetXMLNode(TXMLNode parent, const std::string& name, const std::string& def) {
  const TXMLNode child = FindXMLChild(parent, name);
  if (!child) return def;
  const auto text = ElementText(child);
  return text ? DecodeCR(*text) : def;
}

std::string GetXMLNode(TXMLNode parent, const std::string& name, const char* def) {
  return GetXMLNode(parent, name, std::string(def ? def : ""));
}

// ---- Documents ----------------------------------------------------------

void NewXMLDocument(pugi::xml_document& doc) {
  doc.reset();
  TXMLNode decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version").set_value("1.0");
  decl.append_attribute("encoding").set_value("UTF-8");
}

void LoadXMLText(pugi::xml_document& doc, std::string_view utf8) {
  doc.reset();
  // A byte-order mark is not part of the document.
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  CheckWellFormedXML(utf8);
  // parse_default keeps elements, text and CDATA, decodes the predefined
  // entities and character references and normalises line ends and
  // attribute white space as XML requires; it never expands a DOCTYPE.
  // It drops text made only of white space, which is right for the
  // indentation between elements but not for an element whose whole text it
  // is: AddXMLNode(" ") must read back as " ".
  const pugi::xml_parse_result result = doc.load_buffer(
      utf8.data(), utf8.size(), pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
  if (!result || !doc.document_element()) {
    doc.reset();
    throw EXMLError("XML not loaded at byte " + std::to_string(result.offset) + ": " + result.description());
  }
}

std::string SaveXMLText(const pugi::xml_document& doc) {
  // The declaration is always ours, whatever the document holds.
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  TStringWriter writer(text);
  for (TXMLNode c = doc.first_child(); c; c = c.next_sibling())
    if (c.type() != pugi::node_declaration) c.print(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
  return text;
}

}  // namespace lumaren
