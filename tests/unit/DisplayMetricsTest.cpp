// The fitted font size, the row layout and the rounding rules behind them.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "display/uDisplayMetrics.h"

namespace lumaren {
namespace {

TEST(DisplayMetrics, RoundTakesHalvesToEven) {
  const struct {
    double value;
    std::int64_t expected;
  } cases[] = {{16.5, 16}, {17.5, 18}, {-2.5, -2}, {175.2, 175}, {0.49, 0}, {2.51, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Round(c.value), c.expected);
  }
}

TEST(DisplayMetrics, MulDivRoundsHalvesAwayFromZero) {
  const struct {
    std::int32_t a, b, c, expected;
  } cases[] = {
      {1000, 439, 1, 439000},
      {1, 3, 2, 2},     // 1.5 -> 2
      {-1, 3, 2, -2},   // -1.5 -> -2
      {1, 5, 4, 1},     // 1.25 -> 1
      {1000, 500, 0, -1},                                           // zero divisor
      {std::numeric_limits<std::int32_t>::max(), 2, 1, -1},         // does not fit
      {std::numeric_limits<std::int32_t>::max(), 65536, 65536,      // 64-bit product
       std::numeric_limits<std::int32_t>::max()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.a << "*" << c.b << "/" << c.c);
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected);
  }
}

TEST(DisplayMetrics, FittedTextSize) {
  const struct {
    const char* why;
    int height, width, lines;
    std::int64_t widest;
    std::int32_t expected;
  } cases[] = {
      {"one short line: height limit, Round(0.8 * (439 div 2))", 439, 524, 1, 100, 175},
      {"default screen: five text lines use the divisor 6", 439, 5000, 5, 100, 58},
      {"long line: width limit MulDiv(1000, 524, 11000)", 439, 524, 1, 10000, 48},
      {"1.1 * 15 is exactly 16.5, which rounds to 16", 10000, 16, 1, 15, 1000},
      {"all texts empty: widest 0 gives the width limit -1", 439, 524, 1, 0, -1},
      {"more text lines than pixel rows: size 0", 10, 524, 20, 100, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(FittedTextSize(c.height, c.width, c.lines, c.widest), c.expected);
  }
  EXPECT_EQ(FontHeightForSize(-1), 1);  // a cell height of one pixel
  EXPECT_EQ(FontHeightForSize(175), -175);
}

TEST(DisplayMetrics, RowsAreEqualWithFivePixelMargins) {
  const TRect client{0, 0, 400, 300};
  EXPECT_EQ(RowRect(client, 3, 0), (TRect{5, 5, 395, 95}));
  EXPECT_EQ(RowRect(client, 3, 1), (TRect{5, 105, 395, 195}));
  EXPECT_EQ(RowRect(client, 3, 2), (TRect{5, 205, 395, 295}));
  // 301 pixels in three rows: the spare pixel stays empty at the bottom.
  EXPECT_EQ(RowRect(TRect{0, 0, 400, 301}, 3, 2).Bottom, 295);
}

TEST(DisplayMetrics, TextIsCentredWithTheOddPixelBelowOrClipped) {
  const TRect row{5, 5, 395, 95};  // 90 high
  EXPECT_EQ(VerticallyCentred(row, 41), (TRect{5, 29, 395, 70}));  // 49 spare: 24 above, 25 below
  EXPECT_EQ(VerticallyCentred(row, 90), (TRect{5, 5, 395, 95}));
  EXPECT_EQ(VerticallyCentred(row, 200), (TRect{5, 5, 395, 95}));  // from the top, clipped
}

}  // namespace
}  // namespace lumaren
