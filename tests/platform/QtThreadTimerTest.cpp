// The Qt thread timer against the rules of platform/ThreadTimer.h, in real
// time. Nothing here asserts how fast a tick comes; the checks compare
// timers with each other, count ticks, or use lower bounds that a slow
// machine cannot break.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt/QtThreadTimer.h"
#include "support/qt/TEventWait.h"

namespace lumaren::platform {
namespace {

using std::chrono::milliseconds;
using test::ProcessEventsUntil;
using TSteady = std::chrono::steady_clock;

// A timer that counts its ticks.
struct TCounted {
  explicit TCounted(int interval) : Timer(CreateQtThreadTimer()) {
    Timer->SetInterval(interval);
    Timer->SetOnTimer([this] { ++Ticks; });
  }
  std::unique_ptr<TThreadTimer> Timer;
  int Ticks = 0;
};

TEST(QtThreadTimer, StartsDisabledWithoutInterval) {
  const auto timer = CreateQtThreadTimer();
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 0);
}

TEST(QtThreadTimer, TicksOnTheMainThread) {
  TCounted timer(5);
  std::vector<QThread*> threads;
  timer.Timer->SetOnTimer([&] { threads.push_back(QThread::currentThread()); });
  timer.Timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return threads.size() >= 3; }));
  for (QThread* thread : threads) EXPECT_EQ(thread, QCoreApplication::instance()->thread());
}

TEST(QtThreadTimer, ZeroIntervalNeverTicks) {
  TCounted zero(0);
  zero.Timer->SetEnabled(true);
  TCounted reference(10);
  reference.Timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return reference.Ticks >= 10; }));
  EXPECT_EQ(zero.Ticks, 0);
  EXPECT_TRUE(zero.Timer->Enabled());

  // Setting the interval later starts the ticks.
  zero.Timer->SetInterval(10);
  EXPECT_TRUE(ProcessEventsUntil([&] { return zero.Ticks >= 2; }));
}

TEST(QtThreadTimer, NegativeIntervalIsRejectedAndKeepsTheOldOne) {
  const auto timer = CreateQtThreadTimer();
  timer->SetInterval(250);
  EXPECT_THROW(timer->SetInterval(-1), std::range_error);
  EXPECT_EQ(timer->Interval(), 250);
}

// A second timer pokes the one under test every 20 ms. A 300 ms timer only
// ever ticks if the pokes leave its period alone.
struct TPokeCase {
  const char* Name;
  // Gets the target and the handler that counts its ticks.
  void (*Poke)(TThreadTimer&, const std::function<void()>&);
  bool Restarts;
};

TEST(QtThreadTimer, WhatStartsANewPeriod) {
  const TPokeCase cases[] = {
      {"enabling an enabled timer", [](TThreadTimer& t, const auto&) { t.SetEnabled(true); }, false},
      {"setting the same interval", [](TThreadTimer& t, const auto&) { t.SetInterval(300); }, false},
      {"replacing the handler", [](TThreadTimer& t, const auto& count) { t.SetOnTimer(count); }, false},
      {"disabling and enabling",
       [](TThreadTimer& t, const auto&) {
         t.SetEnabled(false);
         t.SetEnabled(true);
       },
       true},
      {"changing the interval",
       [](TThreadTimer& t, const auto&) { t.SetInterval(t.Interval() == 300 ? 301 : 300); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TCounted target(300);
    int targetTicks = 0;
    const std::function<void()> count = [&] { ++targetTicks; };
    target.Timer->SetOnTimer(count);
    target.Timer->SetEnabled(true);
    TCounted poker(20);
    poker.Timer->SetOnTimer([&] {
      ++poker.Ticks;
      c.Poke(*target.Timer, count);
    });
    poker.Timer->SetEnabled(true);
    if (c.Restarts) {
      // The poker's deadline always lies before the target's, so even a
      // stalled event loop serves the poke first.
      ASSERT_TRUE(ProcessEventsUntil([&] { return poker.Ticks >= 40; }));
      EXPECT_EQ(targetTicks, 0);
    } else {
      ASSERT_TRUE(ProcessEventsUntil([&] { return targetTicks >= 2; }));
      EXPECT_GT(poker.Ticks, 2);
    }
  }
}

// A 300 ms timer whose handler runs 200 ms is due again 100 ms after the
// handler returns. A 200 ms probe started as the handler returns therefore
// fires only after the timer's next tick; had the timer waited a whole
// interval after its handler, the probe would come first. Qt serves overdue
// timers in deadline order, so a slow machine does not change the order.
TEST(QtThreadTimer, HandlerRunTimeComesOffTheNextWait) {
  std::string order;
  const auto probe = CreateQtThreadTimer();
  probe->SetInterval(200);
  probe->SetOnTimer([&] {
    order += 'p';
    probe->SetEnabled(false);
  });
  const auto slow = CreateQtThreadTimer();
  slow->SetInterval(300);
  slow->SetOnTimer([&] {
    order += 's';
    std::this_thread::sleep_for(milliseconds(200));
    if (order.size() == 3) slow->SetEnabled(false);
    probe->SetEnabled(false);
    probe->SetEnabled(true);
  });
  slow->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return order.size() >= 4 || order.find('p') != std::string::npos; },
                                 std::chrono::seconds(30)));
  EXPECT_EQ(order, "sssp");
}

// A handler that overruns by several intervals gets one tick at once and
// then the normal rhythm: the missed ticks are not made up in a burst.
TEST(QtThreadTimer, OverrunTicksAreNotMadeUp) {
  const int interval = 200;
  TCounted timer(interval);
  std::vector<TSteady::time_point> starts;
  TSteady::time_point firstEnd;
  timer.Timer->SetOnTimer([&] {
    starts.push_back(TSteady::now());
    if (starts.size() == 1) {
      std::this_thread::sleep_for(milliseconds(5 * interval));
      firstEnd = TSteady::now();
    }
  });
  timer.Timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return starts.size() >= 3; }, std::chrono::seconds(30)));
  // The second tick comes right after the overrun; the third only a whole
  // interval after that (it was due at the end of the overrun plus one
  // interval), where making up would have fired it at once.
  EXPECT_GE(starts[2] - firstEnd, milliseconds(interval));
}

TEST(QtThreadTimer, HandlerCanDisableItsTimer) {
  TCounted self(5);
  self.Timer->SetOnTimer([&] {
    ++self.Ticks;
    self.Timer->SetEnabled(false);
  });
  self.Timer->SetEnabled(true);
  TCounted reference(5);
  reference.Timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return reference.Ticks >= 20; }));
  EXPECT_EQ(self.Ticks, 1);
  EXPECT_FALSE(self.Timer->Enabled());
}

TEST(QtThreadTimer, HandlerCanDestroyItsTimer) {
  auto doomed = CreateQtThreadTimer();
  int doomedTicks = 0;
  doomed->SetInterval(5);
  doomed->SetOnTimer([&] {
    ++doomedTicks;
    doomed.reset();
  });
  doomed->SetEnabled(true);
  TCounted reference(5);
  reference.Timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return reference.Ticks >= 20; }));
  EXPECT_EQ(doomedTicks, 1);
  EXPECT_EQ(doomed, nullptr);
}

TEST(QtThreadTimer, HandlerCanChangeTheIntervalAndRestart) {
  TCounted timer(5);
  timer.Timer->SetOnTimer([&] {
    ++timer.Ticks;
    if (timer.Ticks == 1) timer.Timer->SetInterval(10);
    if (timer.Ticks == 2) {
      timer.Timer->SetEnabled(false);
      timer.Timer->SetEnabled(true);
    }
    if (timer.Ticks == 4) timer.Timer->SetInterval(0);
  });
  timer.Timer->SetEnabled(true);
  TCounted reference(5);
  reference.Timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return timer.Ticks >= 4 && reference.Ticks >= 40; }));
  EXPECT_EQ(timer.Ticks, 4);  // interval 0 stopped it
  EXPECT_EQ(timer.Timer->Interval(), 0);
  EXPECT_TRUE(timer.Timer->Enabled());
}

TEST(QtThreadTimer, EscapedExceptionGoesToTheHandlerAndTicksGoOn) {
  std::vector<std::string> reported;
  auto timer = CreateQtThreadTimer([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reported.push_back(e.what());
    }
  });
  int ticks = 0;
  timer->SetInterval(5);
  timer->SetOnTimer([&] {
    ++ticks;
    if (ticks == 1) throw std::runtime_error("tick failed");
  });
  timer->SetEnabled(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return ticks >= 3; }));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "tick failed");
}

TEST(QtThreadTimer, FactoryMakesIndependentDisabledTimers) {
  const TThreadTimerFactory factory = QtThreadTimerFactory();
  const auto a = factory();
  const auto b = factory();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  a->SetInterval(5);
  a->SetEnabled(true);
  EXPECT_FALSE(b->Enabled());
  EXPECT_EQ(b->Interval(), 0);
}

}  // namespace
}  // namespace lumaren::platform
