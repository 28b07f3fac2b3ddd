// The borderless window's edge bands: which edge or corner resizes the window.

#include <gtest/gtest.h>

#include "display/uHitTest.h"

namespace lumaren {
namespace {

using H = THitTestResult;

// The main window's initial client size; its last pixel column is 523 and
// its last pixel row 438.
constexpr int W = 524;
constexpr int Hgt = 439;

TEST(EdgeHitTest, Table) {
  struct Case {
    int x, y;
    H expected;
    const char* why;
  };
  const Case cases[] = {
      {3, 3, H::htTopLeft, "3 from top and left"},
      {200, 3, H::htTop, "3 from the top only"},
      {7, 7, H::htNone, "7 from top and left is outside both bands"},
      {W - 8, Hgt - 8, H::htNone, "7 from right and bottom"},
      {200, 200, H::htNone, "the middle"},
      {0, 0, H::htTopLeft, "the top-left pixel"},
      {W - 1, 0, H::htTopRight, "the top-right pixel"},
      {0, Hgt - 1, H::htBottomLeft, "the bottom-left pixel"},
      {W - 1, Hgt - 1, H::htBottomRight, "the bottom-right pixel"},
      {W - 4, 3, H::htTopRight, "3 from top and right"},
      {3, Hgt - 4, H::htBottomLeft, "3 from bottom and left"},
      {W - 4, Hgt - 4, H::htBottomRight, "3 from bottom and right"},
      {3, 200, H::htLeft, "left only"},
      {W - 4, 200, H::htRight, "right only"},
      {200, Hgt - 4, H::htBottom, "bottom only"},
      {6, 200, H::htLeft, "distance 6 is the band's inner row"},
      {W - 7, 200, H::htRight, "distance 6 from the last column"},
      {200, Hgt - 7, H::htBottom, "distance 6 from the last row"},
      {W - 8, 200, H::htNone, "distance 7 from the last column"},
      {200, Hgt - 8, H::htNone, "distance 7 from the last row"},
      {6, 7, H::htLeft, "in the left band just below the corner"},
      {7, 6, H::htTop, "in the top band just right of the corner"},
      {-1, 200, H::htNone, "left of the window"},
      {W, 200, H::htNone, "right of the window"},
      {200, Hgt, H::htNone, "below the window"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(EdgeHitTest(c.x, c.y, W, Hgt), c.expected);
  }
}

// Every band is EDGEDETECT pixels wide: distances 0..6 on each of the four
// sides, measured along the middle of that side.
TEST(EdgeHitTest, EveryBandIsSevenPixelsWide) {
  struct Side {
    H result;
    int (*x)(int d);
    int (*y)(int d);
  };
  const Side sides[] = {
      {H::htLeft, [](int d) { return d; }, [](int) { return Hgt / 2; }},
      {H::htRight, [](int d) { return W - 1 - d; }, [](int) { return Hgt / 2; }},
      {H::htTop, [](int) { return W / 2; }, [](int d) { return d; }},
      {H::htBottom, [](int) { return W / 2; }, [](int d) { return Hgt - 1 - d; }},
  };
  for (const Side& side : sides) {
    for (int d = 0; d <= EDGEDETECT; ++d) {
      SCOPED_TRACE(testing::Message() << "side " << static_cast<int>(side.result) << " distance " << d);
      EXPECT_EQ(EdgeHitTest(side.x(d), side.y(d), W, Hgt), d < EDGEDETECT ? side.result : H::htNone);
    }
  }
}

// A window 10 x 20 pixels, narrower than two bands: every column is in the
// left or the right band, and the rule order decides.
TEST(EdgeHitTest, NarrowWindowFollowsTheRuleOrder) {
  struct Case {
    int x, y;
    H expected;
    const char* why;
  };
  const Case cases[] = {
      {5, 5, H::htTopLeft, "top-left before top-right"},
      {5, 14, H::htBottomLeft, "bottom-left before bottom-right"},
      {9, 14, H::htBottomRight, "only the right corner band"},
      {5, 9, H::htLeft, "left before right, though the right edge is nearer"},
      {9, 9, H::htRight, "only the right band"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(EdgeHitTest(c.x, c.y, 10, 20), c.expected);
  }
}

}  // namespace
}  // namespace lumaren
