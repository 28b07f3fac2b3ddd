#pragma once
// Moving and resizing a borderless window with the mouse. Installed on the
// window as an event filter: a left press in the band along an edge resizes
// the window, a drag anywhere else moves it. Both are handed to the window
// system; where it offers neither (an X server without a window manager, as
// kiosks often run) the filter moves and resizes the window itself. Over the
// bands the cursor shows the edge. Every event still reaches the window, so
// its double click and context menu work as before.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "display/uHitTest.h"

namespace lumaren::platform {

class TFramelessMover : public QObject {
 public:
  // window: a top-level widget; it gets mouse tracking (for the cursor
  // shapes). The mover may outlive the window; it then does nothing.
  explicit TFramelessMover(QWidget* window);
  ~TFramelessMover() override;
  TFramelessMover(const TFramelessMover&) = delete;
  TFramelessMover& operator=(const TFramelessMover&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class TDrag { dNone, dPendingMove, dMove, dResize };

  THitTestResult EdgeAt(QPoint localPos) const;
  void UpdateCursor(THitTestResult edge);
  void Press(QPoint localPos, QPoint globalPos);
  void Move(QPoint globalPos);

  QPointer<QWidget> FWindow;
  TDrag FDrag = TDrag::dNone;
  THitTestResult FEdge = THitTestResult::htNone;
  QPoint FPressGlobal;
  QRect FStartGeometry;
};

// The edges a hit-test result resizes; none for htNone.
Qt::Edges HitTestEdges(THitTestResult edge);
// The cursor over a hit-test result: the diagonal, horizontal or vertical
// size cursor, the arrow away from the edges.
Qt::CursorShape HitTestCursor(THitTestResult edge);

// The window's geometry after dragging the given edges by delta from start,
// kept within minSize..maxSize; the opposite edges stay where they were.
QRect ResizedGeometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minSize, QSize maxSize);

}  // namespace lumaren::platform
