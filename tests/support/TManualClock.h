#pragma once
// Time moved by hand, and thread timers that tick on it. A test advances the
// clock; every tick that falls due on the way fires, in order, with the rules
// of platform/ThreadTimer.h:
//   TManualClock clock;
//   auto timer = clock.NewTimer();
//   timer->SetInterval(100); timer->SetOnTimer([&] { ++ticks; }); timer->SetEnabled(true);
//   clock.Advance(250);  // ticks at 100 and 200
// A handler takes no time unless it calls Spend. An exception from a handler
// leaves Advance, with the timer re-armed and the clock at that tick. The
// clock and its timers may be destroyed in any order.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ThreadTimer.h"

namespace lumaren::test {

namespace detail {
struct TManualClockState;
struct TManualTimerState;
}  // namespace detail

class TManualThreadTimer;

class TManualClock {
 public:
  TManualClock();
  ~TManualClock();
  TManualClock(const TManualClock&) = delete;
  TManualClock& operator=(const TManualClock&) = delete;

  // Milliseconds since the clock was made.
  std::int64_t Now() const;

  // Moves time forward, firing every tick due up to Now() + milliseconds in
  // the order they fall due; ticks due at the same moment fire in the order
  // their timers were armed. The clock reads each tick's due time while its
  // handler runs. Not to be called from a handler (std::logic_error).
  void Advance(std::int64_t milliseconds);

  // Moves time forward without firing anything: a handler that calls it
  // takes that long to run.
  void Spend(std::int64_t milliseconds);

  std::unique_ptr<TManualThreadTimer> NewTimer();
  platform::TThreadTimerFactory Factory();

  // Timers that will tick (enabled, interval above 0).
  int ArmedTimerCount() const;

 private:
  friend class TManualThreadTimer;
  std::shared_ptr<detail::TManualClockState> FState;
};

class TManualThreadTimer final : public platform::TThreadTimer {
 public:
  explicit TManualThreadTimer(TManualClock& clock);
  ~TManualThreadTimer() override;

  void SetInterval(int milliseconds) override;
  int Interval() const override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;
  void SetOnTimer(std::function<void()> handler) override;

  // When the next tick is due on the clock, -1 when none will come.
  std::int64_t NextDue() const;
  // Ticks fired so far.
  int TickCount() const;

 private:
  friend class TManualClock;
  explicit TManualThreadTimer(std::shared_ptr<detail::TManualClockState> clock);
  std::shared_ptr<detail::TManualClockState> FClock;
  std::shared_ptr<detail::TManualTimerState> FState;
};

}  // namespace lumaren::test
