#pragma once
// Which edge or corner of the borderless window lies under the cursor: the
// band EDGEDETECT pixels wide along each edge resizes the window, the rest
// moves it.

namespace lumaren {

// Distances 0..EDGEDETECT-1 from an edge are in its band.
inline constexpr int EDGEDETECT = 7;

enum class THitTestResult {
  htNone,  // inside the window, away from every edge: the window moves
  htLeft,
  htRight,
  htTop,
  htTopLeft,
  htTopRight,
  htBottom,
  htBottomLeft,
  htBottomRight,
};

// The cursor at (x, y) in window coordinates (0, 0 is the window's top-left
// pixel) of a window width x height pixels large. Distances count from the
// outermost pixel row or column on each side: dl = x, dt = y,
// dr = (width - 1) - x, db = (height - 1) - y, so the band is 7 pixels wide on
// every side (an exclusive right edge, right = left + width, would leave only
// 6 on the right and at the bottom). Corners win over edges, then top, left,
// bottom, right. A cursor outside the window gives htNone.
THitTestResult EdgeHitTest(int x, int y, int width, int height);

}  // namespace lumaren
