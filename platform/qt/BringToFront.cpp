#include "platform/qt/BringToFront.h"

#include <QWidget>

namespace lumaren::platform {

void BringToFront(QWidget* window) {
  if (!window) return;
  if (window->isMinimized()) {
    // Qt keeps the maximised flag while minimised: clearing only the
    // minimised one restores the state the window had.
    const Qt::WindowStates state = window->windowState() & ~Qt::WindowMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
      window->setWindowState(state);
      window->show();
    } else {
      window->showNormal();
    }
  }
  window->raise();
  window->activateWindow();
}

}  // namespace lumaren::platform
