#pragma once
// What a placement record needs of a top-level window: its outer rectangle
// in screen coordinates (frame included), its maximised state, whether it
// shows on any monitor at all, and the name its placement is filed under.
// The Qt window implements it in platform/qt; the tests use a fake.

#include <cstdint>
#include <string>

namespace lumaren::platform {

class TFormWindow {
 public:
  virtual ~TFormWindow() = default;

  // The component name, e.g. "fmMain": the element the placement is stored in.
  virtual std::string ComponentName() const = 0;

  // Outer edges and size in screen pixels, frame included.
  virtual std::int32_t Top() const = 0;
  virtual std::int32_t Left() const = 0;
  virtual std::int32_t Height() const = 0;
  virtual std::int32_t Width() const = 0;

  // Each setter changes one value and keeps the others. Values the window
  // system cannot take are clamped; the window's own size limits apply. On a
  // maximised window they change the placement it returns to when restored,
  // and it stays maximised.
  virtual void SetTop(std::int32_t value) = 0;
  virtual void SetLeft(std::int32_t value) = 0;
  virtual void SetHeight(std::int32_t value) = 0;
  virtual void SetWidth(std::int32_t value) = 0;

  virtual bool Maximised() const = 0;
  // Maximises on the monitor that holds the current (restored) placement.
  virtual void Maximise() = 0;

  // True when the outer rectangle shares at least one pixel with a monitor.
  virtual bool IntersectsAnyMonitor() const = 0;
};

}  // namespace lumaren::platform
