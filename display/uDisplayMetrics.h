#pragma once
// The arithmetic of the display: how large the font is and where each row
// goes. Kept apart from the painting so it can be checked without a window.

#include <cstdint>

namespace lumaren {

// Reference character height, in pixels, at which text is measured.
inline constexpr int FHeight = 1000;
// Margin on every side of every row.
inline constexpr int CON_RowMargin = 5;

// Nearest integer, exact halves to the even neighbour (16.5 gives 16).
std::int64_t Round(double value);

// a * b / c with a 64-bit product, rounded to nearest with halves away from
// zero; -1 when c is 0 or the result does not fit 32 bits.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// The fitted character height for a client area of height x width pixels
// showing totalLineCount text lines whose widest measures widest pixels at
// FHeight. The smaller of the height limit, Round(0.8 * (height div
// (totalLineCount + 1))), and the width limit, MulDiv(FHeight, width,
// Round(1.1 * widest)). The factors are applied exactly, as rationals, so a
// product that is mathematically a half rounds to even.
std::int32_t FittedTextSize(int height, int width, int totalLineCount, std::int64_t widest);

// The toolkit's font-height convention for a fitted size: a negative height is
// a character height, a positive one a cell height, 0 the default height.
inline std::int32_t FontHeightForSize(std::int32_t size) { return -size; }

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect& o) const {
    return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
  }
};

// The drawing rectangle of display line index out of lineCount in client:
// rows of equal height (the remainder stays empty at the bottom), each inset
// by CON_RowMargin on every side.
TRect RowRect(const TRect& client, int lineCount, int index);

// Where a text of textHeight pixels goes inside r: centred vertically with an
// odd pixel below it, or from r's top and clipped at r's bottom when it is
// taller than r.
TRect VerticallyCentred(const TRect& r, int textHeight);

}  // namespace lumaren
