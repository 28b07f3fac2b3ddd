#pragma once
// A window without a window server: a rectangle, a maximised flag, a list of
// monitors, and a record of every change made through the interface, so
// tests can see what a placement record applied and in which order.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/FormWindow.h"

namespace lumaren::test {

struct TFakeRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

class TFakeFormWindow : public platform::TFormWindow {
 public:
  explicit TFakeFormWindow(std::string name = "fmMain") : FName(std::move(name)) {}

  std::string ComponentName() const override { return FName; }
  std::int32_t Top() const override { return Current().Top; }
  std::int32_t Left() const override { return Current().Left; }
  std::int32_t Height() const override { return Current().Height; }
  std::int32_t Width() const override { return Current().Width; }
  void SetTop(std::int32_t value) override;
  void SetLeft(std::int32_t value) override;
  void SetHeight(std::int32_t value) override;
  void SetWidth(std::int32_t value) override;
  bool Maximised() const override { return FMaximised; }
  void Maximise() override;
  bool IntersectsAnyMonitor() const override;

  // Test controls.
  std::vector<TFakeRect> Monitors{{0, 0, 1920, 1080}};
  std::int32_t MinWidth = 0;
  std::int32_t MinHeight = 0;
  // Every call that changed something, e.g. "SetTop 5", "Maximise".
  std::vector<std::string> Calls;
  // Puts the window in a state directly, without recording a call.
  void Place(const TFakeRect& rect) { FRestored = rect; FMaximised = false; }
  // The placement the window returns to when it is restored.
  const TFakeRect& Restored() const { return FRestored; }

 private:
  const TFakeRect& Current() const { return FMaximised ? FMaximisedRect : FRestored; }

  std::string FName;
  TFakeRect FRestored;
  TFakeRect FMaximisedRect;
  bool FMaximised = false;
};

// True when the two rectangles share at least one pixel; never overflows.
bool RectsIntersect(const TFakeRect& a, const TFakeRect& b);

}  // namespace lumaren::test
