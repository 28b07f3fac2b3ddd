// Moving and resizing the borderless window with the mouse where the window
// system does neither (the offscreen platform, like an X server without a
// window manager), the edge cursors, and double clicks reaching the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

#include "platform/qt/FramelessMover.h"

namespace lumaren::platform {
namespace {

class TCountingWindow : public QWidget {
 public:
  TCountingWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {}
  int DoubleClicks = 0;
  int Presses = 0;

 protected:
  void mouseDoubleClickEvent(QMouseEvent*) override { ++DoubleClicks; }
  void mousePressEvent(QMouseEvent*) override { ++Presses; }
};

class FramelessMover : public ::testing::Test {
 protected:
  void SetUp() override {
    FWindow.setMinimumSize(200, 200);
    FWindow.setGeometry(100, 100, 400, 300);
    FWindow.show();
    ASSERT_NE(FWindow.windowHandle(), nullptr);
  }

  // Mouse events in window coordinates; the global position follows the
  // window's current place, as the window system would report it.
  void Send(QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(local), QPointF(FWindow.mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&FWindow, &event);
  }
  void Press(QPoint local) { Send(QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton); }
  void DragTo(QPoint local) { Send(QEvent::MouseMove, local, Qt::NoButton, Qt::LeftButton); }
  void Release(QPoint local) { Send(QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton); }
  void Hover(QPoint local) { Send(QEvent::MouseMove, local, Qt::NoButton, Qt::NoButton); }

  // The fall-back is what this suite drives; a platform that moves windows
  // itself would take the drag away from the test.
  bool SystemMovesWindows() { return FWindow.windowHandle()->startSystemMove(); }

  TCountingWindow FWindow;
  TFramelessMover FMover{&FWindow};
};

TEST_F(FramelessMover, DragInsideMovesTheWindow) {
  if (SystemMovesWindows()) GTEST_SKIP() << "the window system moves windows itself";
  Press({200, 150});
  DragTo({230, 190});  // local positions at the window's place before the move
  EXPECT_EQ(FWindow.pos(), QPoint(130, 140));
  EXPECT_EQ(FWindow.size(), QSize(400, 300));
  // The window now sits elsewhere; the pointer is what counts.
  DragTo(FWindow.mapFromGlobal(QPoint(100 + 200 - 50, 100 + 150 - 20)));
  EXPECT_EQ(FWindow.pos(), QPoint(50, 80));
  Release({0, 0});
  Hover({250, 250});
  EXPECT_EQ(FWindow.pos(), QPoint(50, 80));  // moving without the button does nothing
}

TEST_F(FramelessMover, SmallJitterBeforeTheDragDistanceDoesNotMove) {
  Press({200, 150});
  DragTo({201, 151});
  EXPECT_EQ(FWindow.pos(), QPoint(100, 100));
}

TEST_F(FramelessMover, DragInTheBandsResizesTheWindow) {
  if (SystemMovesWindows()) GTEST_SKIP() << "the window system resizes windows itself";
  struct Case {
    QPoint press;
    QPoint pointerDelta;
    QRect expected;
    const char* why;
  };
  // The window is 400 x 300 at 100, 100; its last pixel is 399, 299.
  const Case cases[] = {
      {{399, 150}, {50, 0}, QRect(100, 100, 450, 300), "right edge wider"},
      {{393, 150}, {-50, 0}, QRect(100, 100, 350, 300), "distance 6 from the right is in the band"},
      {{200, 299}, {0, 40}, QRect(100, 100, 400, 340), "bottom edge lower"},
      {{0, 150}, {-30, 0}, QRect(70, 100, 430, 300), "left edge: the right edge stays"},
      {{200, 0}, {0, 20}, QRect(100, 120, 400, 280), "top edge: the bottom edge stays"},
      {{3, 3}, {10, 10}, QRect(110, 110, 390, 290), "top-left corner"},
      {{396, 296}, {-20, 30}, QRect(100, 100, 380, 330), "bottom-right corner"},
      {{0, 150}, {300, 0}, QRect(300, 100, 200, 300), "not below the minimum width"},
      {{200, 0}, {0, 500}, QRect(100, 200, 400, 200), "not below the minimum height"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    FWindow.setGeometry(100, 100, 400, 300);
    Press(c.press);
    const QPoint globalPress = FWindow.mapToGlobal(c.press);
    DragTo(FWindow.mapFromGlobal(globalPress + c.pointerDelta));
    Release({0, 0});
    EXPECT_EQ(FWindow.geometry(), c.expected);
  }
}

TEST_F(FramelessMover, MaximisedWindowIsNeitherResizedNorMoved) {
  if (SystemMovesWindows()) GTEST_SKIP() << "the window system moves windows itself";
  FWindow.showMaximized();
  const QRect maximised = FWindow.geometry();
  Hover({1, 100});
  EXPECT_EQ(FWindow.cursor().shape(), Qt::ArrowCursor);
  Press({1, 100});
  DragTo({80, 100});
  Release({80, 100});
  EXPECT_EQ(FWindow.geometry(), maximised);
}

TEST_F(FramelessMover, CursorShowsTheEdge) {
  struct Case {
    QPoint at;
    Qt::CursorShape expected;
  };
  const Case cases[] = {
      {{3, 3}, Qt::SizeFDiagCursor},     {{396, 296}, Qt::SizeFDiagCursor}, {{396, 3}, Qt::SizeBDiagCursor},
      {{3, 296}, Qt::SizeBDiagCursor},   {{0, 150}, Qt::SizeHorCursor},     {{399, 150}, Qt::SizeHorCursor},
      {{200, 6}, Qt::SizeVerCursor},     {{200, 293}, Qt::SizeVerCursor},   {{200, 150}, Qt::ArrowCursor},
      {{7, 7}, Qt::ArrowCursor},         {{392, 292}, Qt::ArrowCursor},     {{0, 150}, Qt::SizeHorCursor},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.at.x() << "," << c.at.y());
    Hover(c.at);
    EXPECT_EQ(FWindow.cursor().shape(), c.expected);
  }
}

TEST_F(FramelessMover, EventsStillReachTheWindow) {
  Press({200, 150});
  Release({200, 150});
  Send(QEvent::MouseButtonDblClick, {200, 150}, Qt::LeftButton, Qt::LeftButton);
  Release({200, 150});
  EXPECT_EQ(FWindow.Presses, 1);
  EXPECT_EQ(FWindow.DoubleClicks, 1);
  EXPECT_EQ(FWindow.pos(), QPoint(100, 100));  // a double click is not a drag
}

TEST(FramelessMoverWindow, MoverMayOutliveItsWindow) {
  auto window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
  TFramelessMover mover(window.get());
  EXPECT_TRUE(window->hasMouseTracking());
  window.reset();  // the mover's destructor must not touch the freed window
}

}  // namespace
}  // namespace lumaren::platform
