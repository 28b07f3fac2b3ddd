#pragma once
// Runs a job once, at the pass of the event loop after a window's first
// paint: what the window does not need in order to show itself waits until
// it has shown itself.

#include <QObject>

#include <functional>

class QEvent;
class QWidget;

namespace lumaren::platform {

class TAfterFirstPaint : public QObject {
 public:
  // window must outlive this object; the job does not run once this object
  // is gone.
  TAfterFirstPaint(QWidget& window, std::function<void()> job);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget& FWindow;
  std::function<void()> FJob;
};

}  // namespace lumaren::platform
