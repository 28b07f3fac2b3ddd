#pragma once
// What the display node shows: an ordered list of lines, each with a left, a
// centre and a right text, and the parameters of the whole content. The list
// reads and writes the "Display" element of a DisplayData message.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/uXMLHelpers.h"

namespace lumaren {

// Stored in one byte. A received ordinal other than 0..2 is kept as it is and
// draws as steady.
enum class TDisplayStyle : std::uint8_t { dsSteady = 0, dsBlink = 1, dsAlternate = 2 };

// Splits text into text lines the way the renderer lays them out: a break is
// CR LF, a lone CR or a lone LF; a break at the very end starts no further
// line; empty text has no lines ("A\r\n" is one line, "\n" one empty line).
std::vector<std::string> SplitTextLines(std::string_view text);

class TDisplayLine {
 public:
  std::string TextLeft;
  std::string TextCentre;
  std::string TextRight;

  // The three texts joined with nothing between them; for measuring and
  // counting text lines only.
  std::string Text() const { return TextLeft + TextCentre + TextRight; }
  void Assign(const TDisplayLine& source);
  // Sets all three texts from "Left", "Centre" and "Right"; absent is empty.
  void XMLRead(TXMLNode node);
  // Adds "Left", "Centre", "Right" in that order, each only when not empty.
  void XMLWrite(TXMLNode node) const;
};

// Owns its lines: deleting, clearing or destroying the list frees them.
class TDisplayLineList {
 public:
  // A new list has not been cleared: every parameter is zero (black colours)
  // until the first Clear, Assign or XMLRead.
  TColor BgColour = 0;
  TDisplayStyle DisplayStyle = TDisplayStyle::dsSteady;
  std::int32_t ExpiryMilliSecs = 0;  // 0: the content does not expire
  TColor FontColour = 0;
  std::string FontName;              // empty: the preference font applies
  std::int32_t NodeIndex = 0;        // carried along; not part of the XML form

  TDisplayLineList() = default;
  TDisplayLineList(const TDisplayLineList&) = delete;
  TDisplayLineList& operator=(const TDisplayLineList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises std::out_of_range for an index outside 0..Count()-1.
  TDisplayLine& Items(int index);
  const TDisplayLine& Items(int index) const;
  // Appends and takes ownership; returns the new line's index.
  int Add(std::unique_ptr<TDisplayLine> line);
  // Frees the line at index (std::out_of_range outside 0..Count()-1).
  void Delete(int index);

  // Frees every line and sets the parameters to "not set": both colours
  // clNone, steady, no expiry, no font name, node index 0.
  void Clear();
  // Clear, then a copy of source's parameters and of each of its lines.
  void Assign(const TDisplayLineList& source);
  // The number of text lines over all lines (see SplitTextLines).
  int TotalLineCount() const;
  // Replaces the whole content from a "Display" element.
  void XMLRead(TXMLNode node);
  // Writes the whole content into a "Display" element. A negative colour
  // raises std::range_error with the element written up to that point.
  void XMLWrite(TXMLNode node) const;

 private:
  std::vector<std::unique_ptr<TDisplayLine>> FItems;
};

}  // namespace lumaren
