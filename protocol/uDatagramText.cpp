#include "protocol/uDatagramText.h"

#include <algorithm>
#include <vector>

#include "protocol/uXMLCheck.h"

namespace lumaren {

namespace {

// The length a UTF-8 lead byte announces; 1 for anything that cannot lead.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

// Offsets at which text may be cut, 0 and text.size() included.
std::vector<std::size_t> CutPoints(std::string_view text) {
  std::vector<std::size_t> cuts{0};
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t len = SequenceLength(static_cast<unsigned char>(text[pos]));
    if (text.compare(pos, 2, "\r\n") == 0) {
      len = 2;  // one line break, which travels as "&#xD;"
    } else if (text.compare(pos, 5, "&#xD;") == 0) {
      len = 5;  // read back as a line break
    }
    pos = std::min(pos + len, text.size());
    cuts.push_back(pos);
  }
  return cuts;
}

}  // namespace

std::string XMLCarriableText(std::string_view text) {
  if (IsXMLText(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t len = SequenceLength(static_cast<unsigned char>(text[pos]));
    const std::string_view one = text.substr(pos, len);
    if (one.size() == len && IsXMLText(one)) {
      out.append(one);
      pos += len;
    } else {
      // One replacement per byte that does not start a good character, so
      // the good characters after a broken sequence survive.
      out.append(CON_ReplacementChar);
      ++pos;
    }
  }
  return out;
}

std::string FitDatagram(std::string_view text, const std::function<std::string(const std::string&)>& build,
                        std::size_t limit) {
  std::string whole = build(std::string(text));
  if (whole.size() <= limit) return whole;

  // The document grows with every unit kept, so the longest fitting prefix is
  // found by bisection over the cut points; cuts[low] always fits or is 0.
  const std::vector<std::size_t> cuts = CutPoints(text);
  std::size_t low = 0;
  std::size_t high = cuts.size() - 1;  // known not to fit
  std::string best = build(std::string());
  if (best.size() > limit) return best;
  while (high - low > 1) {
    const std::size_t mid = low + (high - low) / 2;
    std::string candidate = build(std::string(text.substr(0, cuts[mid])));
    if (candidate.size() <= limit) {
      low = mid;
      best = std::move(candidate);
    } else {
      high = mid;
    }
  }
  return best;
}

}  // namespace lumaren
