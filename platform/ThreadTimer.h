#pragma once
// A periodic timer whose ticks run on the main thread, one at a time with
// every other handler of the program.
//
// Rules every implementation keeps (the fake in tests/support keeps them too):
// - A new timer is disabled, with interval 0 and no handler.
// - Enabling a disabled timer starts a full period; enabling an enabled one
//   changes nothing, its current period goes on.
// - Setting a different interval while enabled starts a full new period;
//   setting the interval it already has changes nothing.
// - Interval 0 means "no ticks": the timer may be enabled but never fires,
//   so a zero interval never spins the processor.
// - A negative interval raises std::range_error and leaves the timer as it was.
// - The handler's run time is taken off the next wait, never below zero.
//   The run time counts from the moment the tick was due, so time spent
//   waiting for the main thread to be free counts too; a late or slow tick
//   shortens the next wait instead of shifting the rhythm.
// - Ticks missed while a handler overran are not made up: one tick follows
//   at once, and the rhythm continues from there.
// - The handler may disable the timer, change its interval or handler,
//   enable it again or even destroy it from inside the tick.
// - A timer without a handler keeps its rhythm but does nothing at a tick.

#include <functional>
#include <memory>

namespace lumaren::platform {

class TThreadTimer {
 public:
  virtual ~TThreadTimer() = default;
  TThreadTimer(const TThreadTimer&) = delete;
  TThreadTimer& operator=(const TThreadTimer&) = delete;

  // Milliseconds between ticks; see the rules above for 0 and negatives.
  virtual void SetInterval(int milliseconds) = 0;
  virtual int Interval() const = 0;

  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  virtual void SetOnTimer(std::function<void()> handler) = 0;

 protected:
  TThreadTimer() = default;
};

// Makes a disabled timer. Timers are made and used on the main thread.
using TThreadTimerFactory = std::function<std::unique_ptr<TThreadTimer>()>;

}  // namespace lumaren::platform
