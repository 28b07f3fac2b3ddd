#include "display/uDisplayMetrics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumaren {

namespace {

// num / den rounded to nearest, halves to even; den > 0.
std::int64_t RoundRatioHalfEven(std::int64_t num, std::int64_t den) {
  std::int64_t q = num / den;
  std::int64_t r = num % den;
  if (r < 0) {
    r += den;
    --q;
  }
  const std::int64_t twice = 2 * r;
  if (twice > den || (twice == den && (q % 2 != 0))) ++q;
  return q;
}

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::int64_t Round(double value) { return static_cast<std::int64_t>(std::nearbyint(value)); }

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  std::int64_t q = p / c;
  const std::int64_t r = p % c;
  const std::int64_t absR = r < 0 ? -r : r;
  const std::int64_t absC = c < 0 ? -static_cast<std::int64_t>(c) : c;
  if (2 * absR >= absC) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q < std::numeric_limits<std::int32_t>::min() || q > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(q);
}

std::int32_t FittedTextSize(int height, int width, int totalLineCount, std::int64_t widest) {
  const std::int64_t slot = static_cast<std::int64_t>(height) / (static_cast<std::int64_t>(totalLineCount) + 1);
  const std::int64_t heightLimit = RoundRatioHalfEven(8 * slot, 10);
  const std::int32_t scaledWidest = ClampToInt32(RoundRatioHalfEven(11 * widest, 10));
  const std::int32_t widthLimit = MulDiv(FHeight, width, scaledWidest);
  return static_cast<std::int32_t>(std::min<std::int64_t>(widthLimit, heightLimit));
}

TRect RowRect(const TRect& client, int lineCount, int index) {
  const int rowHeight = lineCount > 0 ? client.Height() / lineCount : 0;
  const int rowTop = client.Top + rowHeight * index;
  return TRect{client.Left + CON_RowMargin, rowTop + CON_RowMargin, client.Right - CON_RowMargin,
               rowTop + rowHeight - CON_RowMargin};
}

TRect VerticallyCentred(const TRect& r, int textHeight) {
  TRect t{r.Left, r.Top, r.Right, r.Top + textHeight};
  if (t.Bottom < r.Bottom) {
    const int shift = (r.Bottom - t.Bottom) / 2;
    t.Top += shift;
    t.Bottom += shift;
  } else {
    t.Bottom = r.Bottom;
  }
  return t;
}

}  // namespace lumaren
