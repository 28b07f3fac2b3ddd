#include "platform/qt/QtFormWindow.h"

#include <algorithm>
#include <cstdint>

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace lumaren::platform {

namespace {

// Placement values may come from a network message, so anything from
// INT32_MIN to INT32_MAX arrives here. Qt keeps rectangles as int with
// right = left + width - 1, so positions and sizes are kept within
// QWIDGETSIZE_MAX (2^24 - 1) each: their sum can never overflow.
constexpr std::int64_t CON_CoordinateLimit = QWIDGETSIZE_MAX;

int ClampCoordinate(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, -CON_CoordinateLimit, CON_CoordinateLimit));
}

// A client size from an outer size: the frame comes off, the widget's own
// limits apply.
int ClientSize(std::int64_t outer, std::int64_t frame, int minimum, int maximum) {
  const std::int64_t upper = std::min<std::int64_t>(maximum, QWIDGETSIZE_MAX);
  const std::int64_t lower = std::min<std::int64_t>(std::max(minimum, 0), upper);
  return static_cast<int>(std::clamp<std::int64_t>(outer - frame, lower, upper));
}

// Qt takes a maximised window out of its maximised state when it is moved or
// resized. A change of placement must instead become the placement the
// window returns to when restored, and leave it maximised: so it is made in
// the restored state, and the state is put back.
template <typename TChange>
void ChangeRestoredPlacement(QWidget& window, TChange change) {
  const Qt::WindowStates states = window.windowState();
  if (!(states & Qt::WindowMaximized)) {
    change();
    return;
  }
  window.setWindowState(states & ~Qt::WindowMaximized);
  change();
  window.setWindowState(states);
}

}  // namespace

TQtFormWindow::TQtFormWindow(QWidget& window, std::string componentName)
    : FWindow(window), FComponentName(std::move(componentName)) {}

std::int32_t TQtFormWindow::Top() const { return FWindow.frameGeometry().top(); }
std::int32_t TQtFormWindow::Left() const { return FWindow.frameGeometry().left(); }
std::int32_t TQtFormWindow::Height() const { return FWindow.frameGeometry().height(); }
std::int32_t TQtFormWindow::Width() const { return FWindow.frameGeometry().width(); }

// move() places a top-level widget by its frame's corner; resize() and
// setGeometry() take the client area, so the frame is added back there.
void TQtFormWindow::SetTop(std::int32_t value) {
  ChangeRestoredPlacement(FWindow, [&] { FWindow.move(FWindow.frameGeometry().left(), ClampCoordinate(value)); });
}

void TQtFormWindow::SetLeft(std::int32_t value) {
  ChangeRestoredPlacement(FWindow, [&] { FWindow.move(ClampCoordinate(value), FWindow.frameGeometry().top()); });
}

void TQtFormWindow::SetHeight(std::int32_t value) {
  ChangeRestoredPlacement(FWindow, [&] {
    const std::int64_t frame = std::int64_t{FWindow.frameGeometry().height()} - FWindow.height();
    FWindow.resize(FWindow.width(), ClientSize(value, frame, FWindow.minimumHeight(), FWindow.maximumHeight()));
  });
}

void TQtFormWindow::SetWidth(std::int32_t value) {
  ChangeRestoredPlacement(FWindow, [&] {
    const std::int64_t frame = std::int64_t{FWindow.frameGeometry().width()} - FWindow.width();
    FWindow.resize(ClientSize(value, frame, FWindow.minimumWidth(), FWindow.maximumWidth()), FWindow.height());
  });
}

bool TQtFormWindow::Maximised() const { return FWindow.isMaximized(); }

// setWindowState rather than showMaximized: a window not shown yet is not
// shown by this, it opens maximised when its owner shows it.
void TQtFormWindow::Maximise() { FWindow.setWindowState(FWindow.windowState() | Qt::WindowMaximized); }

bool TQtFormWindow::IntersectsAnyMonitor() const {
  const QRect frame = FWindow.frameGeometry();
  const auto screens = QGuiApplication::screens();
  return std::any_of(screens.begin(), screens.end(),
                     [&frame](const QScreen* screen) { return screen->geometry().intersects(frame); });
}

}  // namespace lumaren::platform
