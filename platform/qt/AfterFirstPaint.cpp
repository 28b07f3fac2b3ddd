#include "platform/qt/AfterFirstPaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace lumaren::platform {

TAfterFirstPaint::TAfterFirstPaint(QWidget& window, std::function<void()> job)
    : FWindow(window), FJob(std::move(job)) {
  FWindow.installEventFilter(this);
}

bool TAfterFirstPaint::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FWindow && event->type() == QEvent::Paint) {
    FWindow.removeEventFilter(this);
    // The paint runs after this filter; the job after the paint.
    QTimer::singleShot(0, this, [this] { FJob(); });
  }
  return false;
}

}  // namespace lumaren::platform
