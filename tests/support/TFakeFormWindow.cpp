#include "support/TFakeFormWindow.h"

#include <algorithm>

namespace lumaren::test {

// As the interface asks, a change to a maximised window changes the
// placement it is restored to.
void TFakeFormWindow::SetTop(std::int32_t value) {
  FRestored.Top = value;
  Calls.push_back("SetTop " + std::to_string(value));
}

void TFakeFormWindow::SetLeft(std::int32_t value) {
  FRestored.Left = value;
  Calls.push_back("SetLeft " + std::to_string(value));
}

void TFakeFormWindow::SetHeight(std::int32_t value) {
  FRestored.Height = std::max(value, MinHeight);
  Calls.push_back("SetHeight " + std::to_string(value));
}

void TFakeFormWindow::SetWidth(std::int32_t value) {
  FRestored.Width = std::max(value, MinWidth);
  Calls.push_back("SetWidth " + std::to_string(value));
}

void TFakeFormWindow::Maximise() {
  Calls.push_back("Maximise");
  if (FMaximised) return;
  // The monitor the restored placement lies on, else the first one.
  TFakeRect target = Monitors.empty() ? TFakeRect{} : Monitors.front();
  for (const auto& m : Monitors) {
    if (RectsIntersect(m, FRestored)) {
      target = m;
      break;
    }
  }
  FMaximisedRect = target;
  FMaximised = true;
}

bool TFakeFormWindow::IntersectsAnyMonitor() const {
  return std::any_of(Monitors.begin(), Monitors.end(),
                     [this](const TFakeRect& m) { return RectsIntersect(m, Current()); });
}

bool RectsIntersect(const TFakeRect& a, const TFakeRect& b) {
  if (a.Width <= 0 || a.Height <= 0 || b.Width <= 0 || b.Height <= 0) return false;
  const std::int64_t aRight = std::int64_t{a.Left} + a.Width;
  const std::int64_t aBottom = std::int64_t{a.Top} + a.Height;
  const std::int64_t bRight = std::int64_t{b.Left} + b.Width;
  const std::int64_t bBottom = std::int64_t{b.Top} + b.Height;
  return a.Left < bRight && b.Left < aRight && a.Top < bBottom && b.Top < aBottom;
}

}  // namespace lumaren::test
