// A Qt window as a placement target: outer geometry, its own size limits,
// clamping of values it cannot take, and the monitor test.

#include <gtest/gtest.h>

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
