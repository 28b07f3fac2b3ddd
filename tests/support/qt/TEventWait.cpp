#include "support/qt/TEventWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace lumaren::test {

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const QDeadlineTimer deadline(timeout);
  // Wakes the blocking wait below now and then, so the deadline is seen even
  // when nothing else happens.
  QTimer wake;
  wake.setInterval(10);
  wake.start();
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace lumaren::test
