#include "support/qt/TPaintRecorder.h"

#include <QEvent>
#include <QPaintEvent>

#include "display/main.h"

namespace lumaren::test {

TPaintRecorder::TPaintRecorder(TfmMain& window) : FWindow(window) { window.installEventFilter(this); }

bool TPaintRecorder::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FWindow && event->type() == QEvent::Paint) {
    Regions.push_back(static_cast<QPaintEvent*>(event)->region());
    const TDisplayLineList& list = FWindow.DisplayLineList();
    Shown.push_back(list.Count() > 0 ? list.Items(0).TextCentre : std::string());
  }
  return false;
}

}  // namespace lumaren::test
