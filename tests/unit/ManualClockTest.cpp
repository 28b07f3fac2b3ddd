// The manual clock and its timers: other modules' tests trust them to fire
// in order and to keep the thread timer's rules.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/TManualClock.h"

namespace lumaren::test {
namespace {

// Records "name@time" for every tick.
struct TLog {
  std::vector<std::string> Entries;
  std::function<void()> Recorder(const TManualClock& clock, std::string name) {
    return [this, &clock, name] { Entries.push_back(name + "@" + std::to_string(clock.Now())); };
  }
};

TEST(ManualClock, FiresDueTicksInOrder) {
  TManualClock clock;
  TLog log;
  auto a = clock.NewTimer();
  auto b = clock.NewTimer();
  a->SetInterval(30);
  a->SetOnTimer(log.Recorder(clock, "a"));
  b->SetInterval(20);
  b->SetOnTimer(log.Recorder(clock, "b"));
  a->SetEnabled(true);
  b->SetEnabled(true);
  clock.Advance(59);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"b@20", "a@30", "b@40"}));
  // At 60 both are due; a was re-armed (at 30) before b (at 40).
  clock.Advance(1);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"b@20", "a@30", "b@40", "a@60", "b@60"}));
  EXPECT_EQ(clock.Now(), 60);
}

TEST(ManualClock, WhatStartsANewPeriod) {
  struct Case {
    const char* Name;
    void (*Change)(platform::TThreadTimer&);
    std::int64_t ExpectedDue;  // after the change at 60, first due at 100
  };
  const Case cases[] = {
      {"nothing", [](platform::TThreadTimer&) {}, 100},
      {"enabling an enabled timer", [](platform::TThreadTimer& t) { t.SetEnabled(true); }, 100},
      {"setting the same interval", [](platform::TThreadTimer& t) { t.SetInterval(100); }, 100},
      {"disabling and enabling",
       [](platform::TThreadTimer& t) {
         t.SetEnabled(false);
         t.SetEnabled(true);
       },
       160},
      {"changing the interval", [](platform::TThreadTimer& t) { t.SetInterval(50); }, 110},
      {"disabling", [](platform::TThreadTimer& t) { t.SetEnabled(false); }, -1},
      {"interval 0", [](platform::TThreadTimer& t) { t.SetInterval(0); }, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TManualClock clock;
    auto timer = clock.NewTimer();
    timer->SetInterval(100);
    timer->SetEnabled(true);
    clock.Advance(60);
    c.Change(*timer);
    EXPECT_EQ(timer->NextDue(), c.ExpectedDue);
    clock.Advance(200);
    EXPECT_EQ(timer->TickCount() > 0, c.ExpectedDue >= 0);
  }
}

TEST(ManualClock, NewTimerIsDisabledAndZeroIntervalNeverTicks) {
  TManualClock clock;
  auto timer = clock.NewTimer();
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 0);
  timer->SetEnabled(true);
  clock.Advance(1000);
  EXPECT_EQ(timer->TickCount(), 0);
  EXPECT_EQ(clock.ArmedTimerCount(), 0);
  EXPECT_THROW(timer->SetInterval(-5), std::range_error);
  EXPECT_EQ(timer->Interval(), 0);
}

TEST(ManualClock, HandlerRunTimeComesOffTheNextWaitAndOverrunsAreNotMadeUp) {
  TManualClock clock;
  TLog log;
  auto timer = clock.NewTimer();
  std::vector<std::int64_t> spend = {30, 250, 0, 0};
  timer->SetInterval(100);
  timer->SetOnTimer([&] {
    log.Entries.push_back(std::to_string(clock.Now()));
    const std::size_t tick = log.Entries.size() - 1;
    if (tick < spend.size()) clock.Spend(spend[tick]);
  });
  timer->SetEnabled(true);
  clock.Advance(600);
  // 100: runs 30 ms, next still at 200. 200: runs until 450, missing 300
  // and 400: one tick at 450, then 550.
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"100", "200", "450", "550"}));
}

TEST(ManualClock, HandlersMayChangeOrDestroyTimersDuringAdvance) {
  TManualClock clock;
  TLog log;
  auto a = clock.NewTimer();
  auto b = clock.NewTimer();
  a->SetInterval(10);
  b->SetInterval(10);
  a->SetOnTimer([&] {
    log.Entries.push_back("a@" + std::to_string(clock.Now()));
    b.reset();  // b was due at the same moment and must not fire
    a->SetInterval(25);
  });
  b->SetOnTimer(log.Recorder(clock, "b"));
  a->SetEnabled(true);
  b->SetEnabled(true);
  clock.Advance(60);
  EXPECT_EQ(log.Entries, (std::vector<std::string>{"a@10", "a@35", "a@60"}));

  a->SetOnTimer([&] { a.reset(); });
  clock.Advance(100);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(clock.ArmedTimerCount(), 0);
}

TEST(ManualClock, HandlerCannotAdvanceTheClock) {
  TManualClock clock;
  auto timer = clock.NewTimer();
  timer->SetInterval(10);
  timer->SetOnTimer([&] { clock.Advance(5); });
  timer->SetEnabled(true);
  EXPECT_THROW(clock.Advance(10), std::logic_error);
  // The clock is usable again afterwards.
  timer->SetOnTimer([] {});
  EXPECT_NO_THROW(clock.Advance(10));
}

TEST(ManualClock, ExceptionLeavesAdvanceWithTheTimerRearmed) {
  TManualClock clock;
  auto timer = clock.NewTimer();
  timer->SetInterval(10);
  timer->SetOnTimer([] { throw std::runtime_error("tick failed"); });
  timer->SetEnabled(true);
  EXPECT_THROW(clock.Advance(100), std::runtime_error);
  EXPECT_EQ(clock.Now(), 10);
  EXPECT_EQ(timer->NextDue(), 20);
}

TEST(ManualClock, TimersMayOutliveTheClock) {
  std::unique_ptr<platform::TThreadTimer> timer;
  {
    TManualClock clock;
    timer = clock.Factory()();
    timer->SetInterval(10);
    timer->SetEnabled(true);
  }
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
}

}  // namespace
}  // namespace lumaren::test
