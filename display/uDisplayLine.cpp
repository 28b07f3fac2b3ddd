#include "display/uDisplayLine.h"

#include <stdexcept>

namespace lumaren {

namespace {

// Reads a colour attribute in its six-hex-digit form; anything else, and an
// absent attribute, is "not set".
TColor ReadColour(TXMLNode node, const char* name) {
  const pugi::xml_attribute att = node.attribute(name);
  return att ? TryHexToTColor(att.value()).value_or(clNone) : clNone;
}

}  // namespace

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(pos));
      break;
    }
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

// ---- TDisplayLine -------------------------------------------------------

void TDisplayLine::Assign(const TDisplayLine& source) {
  TextLeft = source.TextLeft;
  TextCentre = source.TextCentre;
  TextRight = source.TextRight;
}

void TDisplayLine::XMLRead(TXMLNode node) {
  TextLeft = GetXMLAtt(node, "Left", "");
  TextCentre = GetXMLAtt(node, "Centre", "");
  TextRight = GetXMLAtt(node, "Right", "");
}

void TDisplayLine::XMLWrite(TXMLNode node) const {
  if (!TextLeft.empty()) AddXMLAtt(node, "Left", TextLeft);
  if (!TextCentre.empty()) AddXMLAtt(node, "Centre", TextCentre);
  if (!TextRight.empty()) AddXMLAtt(node, "Right", TextRight);
}

// ---- TDisplayLineList ---------------------------------------------------

TDisplayLine& TDisplayLineList::Items(int index) {
  if (index < 0 || index >= Count())
    throw std::out_of_range("display line index " + std::to_string(index) + " outside 0.." +
                            std::to_string(Count() - 1));
  return *FItems[static_cast<std::size_t>(index)];
}

const TDisplayLine& TDisplayLineList::Items(int index) const {
  return const_cast<TDisplayLineList*>(this)->Items(index);
}

int TDisplayLineList::Add(std::unique_ptr<TDisplayLine> line) {
  if (!line) throw std::invalid_argument("no display line to add");
  FItems.push_back(std::move(line));
  return Count() - 1;
}

void TDisplayLineList::Delete(int index) {
  Items(index);  // range check
  FItems.erase(FItems.begin() + index);
}

void TDisplayLineList::Clear() {
  FItems.clear();
  BgColour = clNone;
  DisplayStyle = TDisplayStyle::dsSteady;
  ExpiryMilliSecs = 0;
  FontColour = clNone;
  FontName.clear();
  NodeIndex = 0;
}

void TDisplayLineList::Assign(const TDisplayLineList& source) {
  // Clearing first would wipe the source when it is this very list.
  if (&source == this) return;
  Clear();
  NodeIndex = source.NodeIndex;
  DisplayStyle = source.DisplayStyle;
  ExpiryMilliSecs = source.ExpiryMilliSecs;
  FontName = source.FontName;
  FontColour = source.FontColour;
  BgColour = source.BgColour;
  for (const auto& line : source.FItems) {
    auto copy = std::make_unique<TDisplayLine>();
    copy->Assign(*line);
    Add(std::move(copy));
  }
}

int TDisplayLineList::TotalLineCount() const {
  int total = 0;
  for (const auto& line : FItems) total += static_cast<int>(SplitTextLines(line->Text()).size());
  return total;
}

void TDisplayLineList::XMLRead(TXMLNode node) {
  Clear();
  ExpiryMilliSecs = GetXMLAtt(node, "Expiry", std::int32_t{0});  // negative values are kept
  // Only the low byte is kept; ordinals above dsAlternate are stored as sent.
  DisplayStyle = static_cast<TDisplayStyle>(
      static_cast<std::uint8_t>(GetXMLAtt(node, "DisplayStyle", std::int32_t{0}) & 0xFF));
  if (const TXMLNode font = FindXMLChild(node, "Font")) {
    // A "Font" element without "Name" names Arial, not the preference font.
    FontName = GetXMLAtt(font, "Name", "Arial");
    BgColour = ReadColour(font, "BGColour");
    FontColour = ReadColour(font, "FontColour");
  }
  for (TXMLNode child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element || std::string_view(child.name()) != "Line") continue;
    auto line = std::make_unique<TDisplayLine>();
    line->XMLRead(child);
    Add(std::move(line));
  }
}

void TDisplayLineList::XMLWrite(TXMLNode node) const {
  AddXMLAtt(node, "Expiry", ExpiryMilliSecs);
  AddXMLAtt(node, "DisplayStyle", static_cast<std::int32_t>(DisplayStyle));
  if (!FontName.empty() || BgColour != clNone || FontColour != clNone) {
    TXMLNode font = AddXMLElement(node, "Font");
    if (!FontName.empty()) AddXMLAtt(font, "Name", FontName);
    if (BgColour != clNone) AddXMLAtt(font, "BGColour", TColorValue{BgColour});
    if (FontColour != clNone) AddXMLAtt(font, "FontColour", TColorValue{FontColour});
  }
  for (const auto& line : FItems) line->XMLWrite(AddXMLElement(node, "Line"));
}

}  // namespace lumaren
