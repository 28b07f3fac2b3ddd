// A Qt window as a placement target: outer geometry, its own size limits,
// clamping of values it cannot take, and the monitor test.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cstdint>
#include <limits>

#include "config/uFormState.h"
#include "platform/qt/QtFormWindow.h"

namespace lumaren {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// Never shown: a shown window of the clamped size would need a backing store
// of 2^24 x 2^24 pixels.
class QtFormWindowTest : public ::testing::Test {
 protected:
  QWidget widget;
  platform::TQtFormWindow window{widget, "fmMain"};
};

TEST_F(QtFormWindowTest, SetsAndReadsTheOuterGeometry) {
  EXPECT_EQ(window.ComponentName(), "fmMain");
  window.SetTop(40);
  window.SetLeft(-30);
  window.SetHeight(250);
  window.SetWidth(350);
  EXPECT_EQ(window.Top(), 40);
  EXPECT_EQ(window.Left(), -30);
  EXPECT_EQ(window.Height(), 250);
  EXPECT_EQ(window.Width(), 350);
  EXPECT_EQ(widget.frameGeometry(), QRect(-30, 40, 350, 250));
}

TEST_F(QtFormWindowTest, TheWindowsSizeLimitsApply) {
  widget.setMinimumSize(200, 200);
  widget.setMaximumSize(1000, 900);
  window.SetHeight(50);
  window.SetWidth(5000);
  EXPECT_EQ(window.Height(), 200);
  EXPECT_EQ(window.Width(), 1000);
}

TEST_F(QtFormWindowTest, ValuesOutsideTheWindowSystemsRangeAreClamped) {
  window.SetTop(kMin);
  window.SetLeft(kMax);
  window.SetHeight(kMax);
  window.SetWidth(kMin);
  EXPECT_EQ(window.Top(), -QWIDGETSIZE_MAX);
  EXPECT_EQ(window.Left(), QWIDGETSIZE_MAX);
  EXPECT_EQ(window.Height(), QWIDGETSIZE_MAX);
  EXPECT_EQ(window.Width(), widget.minimumWidth());
  EXPECT_FALSE(window.IntersectsAnyMonitor());
}

TEST_F(QtFormWindowTest, IntersectsWhenOnePixelIsOnAMonitor) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  window.SetHeight(100);
  window.SetWidth(100);
  window.SetTop(screen.top());
  window.SetLeft(screen.right());
  EXPECT_TRUE(window.IntersectsAnyMonitor());
  window.SetLeft(screen.right() + 1);
  EXPECT_FALSE(window.IntersectsAnyMonitor());
  window.SetLeft(screen.left() - 99);
  EXPECT_TRUE(window.IntersectsAnyMonitor());
  window.SetLeft(screen.left() - 100);
  EXPECT_FALSE(window.IntersectsAnyMonitor());
}

TEST_F(QtFormWindowTest, MaximiseDoesNotShowAHiddenWindow) {
  EXPECT_FALSE(window.Maximised());
  window.Maximise();
  EXPECT_TRUE(window.Maximised());
  EXPECT_FALSE(widget.isVisible());
}

// A shown window has a frame (the offscreen platform draws one too): the
// values are those of the outer rectangle, the client area is smaller.
TEST_F(QtFormWindowTest, ShownWindowIsPlacedByItsOuterRectangle) {
  widget.resize(200, 150);
  widget.show();
  QCoreApplication::processEvents();
  window.SetTop(20);
  window.SetLeft(30);
  window.SetHeight(300);
  window.SetWidth(400);
  QCoreApplication::processEvents();
  // Without a frame this would not show whether the frame is accounted for.
  ASSERT_GT(widget.frameGeometry().width(), widget.width());
  ASSERT_GT(widget.frameGeometry().height(), widget.height());
  EXPECT_EQ(widget.frameGeometry(), QRect(30, 20, 400, 300));
  EXPECT_EQ(window.Height(), 300);
  EXPECT_EQ(window.Width(), 400);
}

// Moving or resizing a maximised window changes where it returns to when
// restored; it stays maximised.
TEST_F(QtFormWindowTest, MaximisedWindowStaysMaximisedWhenPlaced) {
  widget.resize(200, 150);
  widget.show();
  QCoreApplication::processEvents();
  window.Maximise();
  QCoreApplication::processEvents();
  ASSERT_TRUE(window.Maximised());
  window.SetTop(20);
  window.SetLeft(30);
  window.SetHeight(300);
  window.SetWidth(400);
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.Maximised());
  widget.showNormal();
  QCoreApplication::processEvents();
  EXPECT_EQ(widget.frameGeometry(), QRect(30, 20, 400, 300));
}

TEST_F(QtFormWindowTest, PlacementOffEveryMonitorComesBackToTheCorner) {
  platform::TFormWindow* slot = &window;
  TQelFormState state(&slot);
  state.Top = kMin;
  state.Left = 5000000;
  state.Height = 480;
  state.Width = 640;
  state.StateLoad();
  EXPECT_EQ(widget.frameGeometry(), QRect(0, 0, 640, 480));
}

}  // namespace
}  // namespace lumaren
