// A job put off until after a window's first paint runs once, after that
// paint has ended, and not at all if the window is never painted.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPaintEvent>
#include <QWidget>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/qt/AfterFirstPaint.h"

namespace lumaren::platform {
namespace {

class TNotingWindow : public QWidget {
 public:
  std::vector<std::string>* Events = nullptr;

 protected:
  void paintEvent(QPaintEvent* /*event*/) override { Events->push_back("paint"); }
};

TEST(AfterFirstPaint, TheJobRunsOnceAfterTheFirstPaint) {
  std::vector<std::string> events;
  TNotingWindow window;
  window.Events = &events;
  window.resize(100, 100);
  const TAfterFirstPaint after(window, [&events] { events.push_back("job"); });
  QCoreApplication::processEvents();
  EXPECT_TRUE(events.empty()) << "a hidden window is not painted";

  window.show();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), "paint");
  window.repaint();
  window.repaint();
  QCoreApplication::processEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "job"), 1);
  EXPECT_NE(events.back(), "job") << "later paints come after the job";
}

TEST(AfterFirstPaint, NoJobRunsOnceItsOwnerIsGone) {
  std::vector<std::string> events;
  TNotingWindow window;
  window.Events = &events;
  {
    const TAfterFirstPaint after(window, [&events] { events.push_back("job"); });
    window.show();
    window.repaint();
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "job"), 0);
}

}  // namespace
}  // namespace lumaren::platform
