#include "platform/qt/FramelessMover.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

#include <algorithm>

namespace lumaren::platform {

namespace {

// A maximised or full-screen window is not resized from its edges, and a
// window of fixed size never.
bool CanResize(const QWidget& window) {
  if (window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) return false;
  return window.minimumSize() != window.maximumSize();
}

}  // namespace

Qt::Edges HitTestEdges(THitTestResult edge) {
  switch (edge) {
    case THitTestResult::htLeft: return Qt::LeftEdge;
    case THitTestResult::htRight: return Qt::RightEdge;
    case THitTestResult::htTop: return Qt::TopEdge;
    case THitTestResult::htBottom: return Qt::BottomEdge;
    case THitTestResult::htTopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case THitTestResult::htTopRight: return Qt::TopEdge | Qt::RightEdge;
    case THitTestResult::htBottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case THitTestResult::htBottomRight: return Qt::BottomEdge | Qt::RightEdge;
    case THitTestResult::htNone: break;
  }
  return {};
}

Qt::CursorShape HitTestCursor(THitTestResult edge) {
  switch (edge) {
    case THitTestResult::htTopLeft:
    case THitTestResult::htBottomRight: return Qt::SizeFDiagCursor;
    case THitTestResult::htTopRight:
    case THitTestResult::htBottomLeft: return Qt::SizeBDiagCursor;
    case THitTestResult::htLeft:
    case THitTestResult::htRight: return Qt::SizeHorCursor;
    case THitTestResult::htTop:
    case THitTestResult::htBottom: return Qt::SizeVerCursor;
    case THitTestResult::htNone: break;
  }
  return Qt::ArrowCursor;
}

QRect ResizedGeometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minSize, QSize maxSize) {
  const auto clampLength = [](int length, int low, int high) { return std::max(low, std::min(length, high)); };
  int left = start.left();
  int top = start.top();
  int width = start.width();
  int height = start.height();
  if (edges & Qt::LeftEdge) {
    width = clampLength(start.width() - delta.x(), minSize.width(), maxSize.width());
    left = start.left() + start.width() - width;  // the right edge stays
  } else if (edges & Qt::RightEdge) {
    width = clampLength(start.width() + delta.x(), minSize.width(), maxSize.width());
  }
  if (edges & Qt::TopEdge) {
    height = clampLength(start.height() - delta.y(), minSize.height(), maxSize.height());
    top = start.top() + start.height() - height;  // the bottom edge stays
  } else if (edges & Qt::BottomEdge) {
    height = clampLength(start.height() + delta.y(), minSize.height(), maxSize.height());
  }
  return QRect(left, top, width, height);
}

TFramelessMover::TFramelessMover(QWidget* window) : FWindow(window) {
  if (!FWindow) return;
  FWindow->setMouseTracking(true);
  FWindow->installEventFilter(this);
}

TFramelessMover::~TFramelessMover() {
  if (FWindow) FWindow->removeEventFilter(this);
}

THitTestResult TFramelessMover::EdgeAt(QPoint localPos) const {
  if (!CanResize(*FWindow)) return THitTestResult::htNone;
  return EdgeHitTest(localPos.x(), localPos.y(), FWindow->width(), FWindow->height());
}

void TFramelessMover::UpdateCursor(THitTestResult edge) {
  const Qt::CursorShape shape = HitTestCursor(edge);
  if (FWindow->cursor().shape() != shape) FWindow->setCursor(shape);
}

void TFramelessMover::Press(QPoint localPos, QPoint globalPos) {
  FPressGlobal = globalPos;
  FStartGeometry = FWindow->geometry();
  FEdge = EdgeAt(localPos);
  if (FEdge == THitTestResult::htNone) {
    // Moving waits for the drag to begin, so that a double click stays a
    // double click and does not become a move of the window.
    FDrag = TDrag::dPendingMove;
    return;
  }
  QWindow* handle = FWindow->windowHandle();
  FDrag = (handle && handle->startSystemResize(HitTestEdges(FEdge))) ? TDrag::dNone : TDrag::dResize;
}

void TFramelessMover::Move(QPoint globalPos) {
  const QPoint delta = globalPos - FPressGlobal;
  if (FDrag == TDrag::dPendingMove) {
    if (delta.manhattanLength() < QApplication::startDragDistance()) return;
    QWindow* handle = FWindow->windowHandle();
    if (handle && handle->startSystemMove()) {
      FDrag = TDrag::dNone;
      return;
    }
    FDrag = TDrag::dMove;
  }
  if (FDrag == TDrag::dMove) {
    // Without a window manager, a maximised window stays where it is.
    if (!(FWindow->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
      FWindow->move(FStartGeometry.topLeft() + delta);
  } else if (FDrag == TDrag::dResize) {
    FWindow->setGeometry(ResizedGeometry(FStartGeometry, HitTestEdges(FEdge), delta, FWindow->minimumSize(),
                                         FWindow->maximumSize()));
  }
}

bool TFramelessMover::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FWindow) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton)
        Press(mouse->position().toPoint(), mouse->globalPosition().toPoint());
      break;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!(mouse->buttons() & Qt::LeftButton)) {
        FDrag = TDrag::dNone;  // a release we did not see ends any drag
        UpdateCursor(EdgeAt(mouse->position().toPoint()));
      } else if (FDrag != TDrag::dNone) {
        Move(mouse->globalPosition().toPoint());
      }
      break;
    }
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) FDrag = TDrag::dNone;
      break;
    default:
      break;
  }
  return false;  // the window sees every event too
}

}  // namespace lumaren::platform
