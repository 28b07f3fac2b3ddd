#include "platform/qt/QtThreadTimer.h"

#include <QObject>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace lumaren::platform {

namespace {

using TClock = std::chrono::steady_clock;

// Each period is a single-shot QTimer, armed anew after every tick, because
// a repeating QTimer keeps its own rhythm: after a handler that overran it
// waits a whole interval from the late tick, and its next deadline is fixed
// before the handler runs, so a handler that changes the timer would race it.
class TQtThreadTimer final : public TThreadTimer {
 public:
  explicit TQtThreadTimer(TTimerExceptionHandler onException)
      : FTimer(std::make_unique<QTimer>()), FOnException(std::move(onException)) {
    FTimer->setSingleShot(true);
    // A coarse timer may fire 5 % early or late; the flash must stay 500 ms.
    FTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { Tick(); });
  }

  ~TQtThreadTimer() override {
    FTimer->stop();
    FTimer->disconnect();
    // Destroyed from inside its own tick: the QTimer is still emitting its
    // timeout, so it goes when control is back in the event loop.
    if (FTickDepth > 0) FTimer.release()->deleteLater();
  }

  void SetInterval(int milliseconds) override {
    if (milliseconds < 0) throw std::range_error("timer interval must not be negative");
    if (milliseconds == FInterval) return;
    FInterval = milliseconds;
    if (FEnabled) Restart();
  }

  int Interval() const override { return FInterval; }

  void SetEnabled(bool enabled) override {
    if (enabled == FEnabled) return;
    FEnabled = enabled;
    Restart();
  }

  bool Enabled() const override { return FEnabled; }

  void SetOnTimer(std::function<void()> handler) override { FOnTimer = std::move(handler); }

 private:
  // Starts a full period from now, or stops the timer when it must not tick.
  void Restart() {
    ++FGeneration;
    if (FEnabled && FInterval > 0) {
      FDue = TClock::now() + std::chrono::milliseconds(FInterval);
      WaitUntilDue();
    } else {
      FTimer->stop();
    }
  }

  void WaitUntilDue() {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(FDue - TClock::now());
    FTimer->start(std::max(wait, std::chrono::milliseconds(0)));
  }

  void Tick() {
    if (!FEnabled || FInterval == 0) return;
    // The handler may change or destroy this timer; copies keep what the
    // rest of the tick needs, and the generation tells whether it re-armed.
    const auto due = FDue;
    const unsigned generation = FGeneration;
    const std::weak_ptr<char> alive = FAlive;
    const auto handler = FOnTimer;
    const auto onException = FOnException;
    ++FTickDepth;
    if (handler) {
      try {
        handler();
      } catch (...) {
        Report(onException, std::current_exception());
      }
    }
    if (alive.expired()) return;
    --FTickDepth;
    if (generation != FGeneration) return;
    // The run time since the tick was due comes off the next wait; an
    // overrun gives one tick at once and no catching up.
    FDue = std::max(TClock::now(), due + std::chrono::milliseconds(FInterval));
    WaitUntilDue();
  }

  static void Report(const TTimerExceptionHandler& onException, std::exception_ptr error) {
    if (onException) {
      onException(error);
      return;
    }
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      qWarning("Exception in a timer tick: %s", e.what());
    } catch (...) {
      qWarning("Unknown exception in a timer tick");
    }
  }

  std::unique_ptr<QTimer> FTimer;
  TTimerExceptionHandler FOnException;
  std::function<void()> FOnTimer;
  int FInterval = 0;
  bool FEnabled = false;
  TClock::time_point FDue;
  unsigned FGeneration = 0;  // bumped whenever the timer is re-armed or stopped
  int FTickDepth = 0;
  std::shared_ptr<char> FAlive = std::make_shared<char>();  // expires with the timer
};

}  // namespace

std::unique_ptr<TThreadTimer> CreateQtThreadTimer(TTimerExceptionHandler onException) {
  return std::make_unique<TQtThreadTimer>(std::move(onException));
}

TThreadTimerFactory QtThreadTimerFactory(TTimerExceptionHandler onException) {
  return [onException] { return CreateQtThreadTimer(onException); };
}

}  // namespace lumaren::platform
