#include "TManualClock.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace lumaren::test {

namespace detail {

struct TManualTimerState {
  int Interval = 0;
  bool Enabled = false;
  std::function<void()> OnTimer;
  bool Armed = false;
  std::int64_t Due = 0;
  std::uint64_t Sequence = 0;  // order of arming, breaks ties between equal due times
  unsigned Generation = 0;     // bumped whenever the timer is re-armed or stopped
  int TickCount = 0;
  bool Destroyed = false;
};

struct TManualClockState {
  std::int64_t Now = 0;
  std::uint64_t NextSequence = 0;
  bool Advancing = false;
  std::vector<std::weak_ptr<TManualTimerState>> Timers;

  // Starts a full period from now, or stops the timer when it must not tick.
  void Restart(TManualTimerState& timer) {
    ++timer.Generation;
    timer.Armed = timer.Enabled && timer.Interval > 0;
    if (timer.Armed) {
      timer.Due = Now + timer.Interval;
      timer.Sequence = NextSequence++;
    }
  }

  std::shared_ptr<TManualTimerState> NextDueBy(std::int64_t limit) {
    std::shared_ptr<TManualTimerState> best;
    for (const auto& weak : Timers) {
      auto timer = weak.lock();
      if (!timer || !timer->Armed || timer->Due > limit) continue;
      if (!best || timer->Due < best->Due || (timer->Due == best->Due && timer->Sequence < best->Sequence)) {
        best = timer;
      }
    }
    return best;
  }

  void Fire(const std::shared_ptr<TManualTimerState>& timer) {
    Now = std::max(Now, timer->Due);
    const std::int64_t due = timer->Due;
    const unsigned generation = timer->Generation;
    const auto handler = timer->OnTimer;  // the handler may replace itself
    ++timer->TickCount;
    // The next tick counts from this one's due time, less the time the
    // handler spent; an overrun gives one tick at once, nothing made up.
    auto rearm = [&] {
      if (timer->Destroyed || timer->Generation != generation) return;
      timer->Due = std::max(Now, due + timer->Interval);
      timer->Sequence = NextSequence++;
    };
    try {
      if (handler) handler();
    } catch (...) {
      rearm();
      throw;
    }
    rearm();
  }
};

}  // namespace detail

TManualClock::TManualClock() : FState(std::make_shared<detail::TManualClockState>()) {}

TManualClock::~TManualClock() = default;

std::int64_t TManualClock::Now() const { return FState->Now; }

void TManualClock::Advance(std::int64_t milliseconds) {
  if (milliseconds < 0) throw std::invalid_argument("the clock cannot go back");
  if (FState->Advancing) throw std::logic_error("a tick handler cannot advance the clock; use Spend");
  FState->Advancing = true;
  struct TReset {
    detail::TManualClockState& State;
    ~TReset() { State.Advancing = false; }
  } reset{*FState};
  const std::int64_t target = FState->Now + milliseconds;
  while (auto timer = FState->NextDueBy(target)) FState->Fire(timer);
  FState->Now = std::max(FState->Now, target);
}

void TManualClock::Spend(std::int64_t milliseconds) {
  if (milliseconds < 0) throw std::invalid_argument("the clock cannot go back");
  FState->Now += milliseconds;
}

std::unique_ptr<TManualThreadTimer> TManualClock::NewTimer() {
  return std::unique_ptr<TManualThreadTimer>(new TManualThreadTimer(FState));
}

platform::TThreadTimerFactory TManualClock::Factory() {
  return [state = FState]() -> std::unique_ptr<platform::TThreadTimer> {
    return std::unique_ptr<TManualThreadTimer>(new TManualThreadTimer(state));
  };
}

int TManualClock::ArmedTimerCount() const {
  return static_cast<int>(std::count_if(FState->Timers.begin(), FState->Timers.end(), [](const auto& weak) {
    const auto timer = weak.lock();
    return timer && timer->Armed;
  }));
}

TManualThreadTimer::TManualThreadTimer(TManualClock& clock) : TManualThreadTimer(clock.FState) {}

TManualThreadTimer::TManualThreadTimer(std::shared_ptr<detail::TManualClockState> clock)
    : FClock(std::move(clock)), FState(std::make_shared<detail::TManualTimerState>()) {
  auto& timers = FClock->Timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [](const auto& weak) { return weak.expired(); }),
               timers.end());
  timers.push_back(FState);
}

TManualThreadTimer::~TManualThreadTimer() {
  FState->Destroyed = true;
  FState->Armed = false;
}

void TManualThreadTimer::SetInterval(int milliseconds) {
  if (milliseconds < 0) throw std::range_error("timer interval must not be negative");
  if (milliseconds == FState->Interval) return;
  FState->Interval = milliseconds;
  if (FState->Enabled) FClock->Restart(*FState);
}

int TManualThreadTimer::Interval() const { return FState->Interval; }

void TManualThreadTimer::SetEnabled(bool enabled) {
  if (enabled == FState->Enabled) return;
  FState->Enabled = enabled;
  FClock->Restart(*FState);
}

bool TManualThreadTimer::Enabled() const { return FState->Enabled; }

void TManualThreadTimer::SetOnTimer(std::function<void()> handler) { FState->OnTimer = std::move(handler); }

std::int64_t TManualThreadTimer::NextDue() const { return FState->Armed ? FState->Due : -1; }

int TManualThreadTimer::TickCount() const { return FState->TickCount; }

}  // namespace lumaren::test
