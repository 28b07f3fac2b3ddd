#include "display/uHitTest.h"

namespace lumaren {

THitTestResult EdgeHitTest(int x, int y, int width, int height) {
  if (x < 0 || y < 0 || x >= width || y >= height) return THitTestResult::htNone;
  const int dl = x;
  const int dr = (width - 1) - x;
  const int dt = y;
  const int db = (height - 1) - y;
  // The first matching rule wins; on a window narrower than two bands the
  // left and top rules therefore take precedence.
  if (dt < EDGEDETECT && dl < EDGEDETECT) return THitTestResult::htTopLeft;
  if (dt < EDGEDETECT && dr < EDGEDETECT) return THitTestResult::htTopRight;
  if (db < EDGEDETECT && dl < EDGEDETECT) return THitTestResult::htBottomLeft;
  if (db < EDGEDETECT && dr < EDGEDETECT) return THitTestResult::htBottomRight;
  if (dt < EDGEDETECT) return THitTestResult::htTop;
  if (dl < EDGEDETECT) return THitTestResult::htLeft;
  if (db < EDGEDETECT) return THitTestResult::htBottom;
  if (dr < EDGEDETECT) return THitTestResult::htRight;
  return THitTestResult::htNone;
}

}  // namespace lumaren
