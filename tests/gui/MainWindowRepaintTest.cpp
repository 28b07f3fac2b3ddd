// The main window repaints only what changed, and its backing store (what
// the window system is shown) then holds what a whole redraw of the current
// content would: it is read through the screen, and compared with grab(),
// which paints the whole window afresh.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QRegion>
#include <QScreen>

#include <memory>
#include <string>
#include <vector>

#include "display/main.h"
#include "display/uDisplayMetrics.h"
#include "support/qt/TMainWindowFixture.h"
#include "support/qt/TPaintRecorder.h"

namespace lumaren {
namespace {

constexpr int kFrame = 16;

class MainWindowRepaintTest : public test::TMainWindowFixture {
 protected:
  MainWindowRepaintTest() {
    ShowAndSettle();
    window->resize(900, 450);
    QCoreApplication::processEvents();
    clock.Advance(100);  // the resize timer lays the content out for the size
    Show({"#0001 Gate 4", "Doors close in two minutes", "Track 7"});
    Settle();
    recorder = std::make_unique<test::TPaintRecorder>(*window);
  }

  void Show(const std::vector<std::string>& centres) {
    TDisplayLineList& list = window->DisplayLineList();
    list.Clear();
    for (const std::string& centre : centres) {
      auto line = std::make_unique<TDisplayLine>();
      line->TextCentre = centre;
      list.Add(std::move(line));
    }
    window->UpdateDisplay();
  }

  void Settle() {
    QCoreApplication::processEvents();
    clock.Advance(4 * kFrame);
    QCoreApplication::processEvents();
  }

  // What the window system is given: the window's backing store.
  QImage OnScreen() const { return window->screen()->grabWindow(window->winId()).toImage(); }
  QImage Afresh() const { return window->grab().toImage().convertToFormat(OnScreen().format()); }

  QRect Row(int index) const {
    const TRect r = RowRect(TRect{0, 0, window->width(), window->height()}, 3, index);
    return QRect(QPoint(r.Left, r.Top), QSize(r.Width(), r.Height()));
  }

  std::unique_ptr<test::TPaintRecorder> recorder;
};

TEST_F(MainWindowRepaintTest, AChangedLineRepaintsItsRowOnly) {
  ASSERT_EQ(window->size(), QSize(900, 450));
  ASSERT_TRUE(OnScreen() == Afresh()) << "the set-up shows its content";
  recorder->Regions.clear();

  Show({"#0002 Gate 4", "Doors close in two minutes", "Track 7"});
  QCoreApplication::processEvents();
  ASSERT_EQ(recorder->Regions.size(), 1u);
  EXPECT_EQ(recorder->Regions[0], QRegion(Row(0)));
  EXPECT_TRUE(OnScreen() == Afresh());

  Settle();
  recorder->Regions.clear();
  Show({"#0002 Gate 4", "Doors close in two minutes", "Track 7"});
  Settle();
  EXPECT_TRUE(recorder->Regions.empty()) << "the same content again paints nothing";
}

TEST_F(MainWindowRepaintTest, ACopyPaintedWhileAChangeWaitsLeavesTheWindowToBeRepainted) {
  Show({"#0002 Gate 4", "Doors close in two minutes", "Track 7"});
  QCoreApplication::processEvents();
  // Within the frame: this waits for the frame timer's tick. A copy of the
  // window painted meanwhile shows it, but the window does not yet.
  Show({"#0003 Gate 4", "Doors close in two minutes", "Track 8"});
  const QImage copy = Afresh();
  EXPECT_FALSE(OnScreen() == copy);
  Settle();
  EXPECT_TRUE(OnScreen() == copy);
}

TEST_F(MainWindowRepaintTest, ALayoutChangeRepaintsTheWholeWindow) {
  Show({"#0002 Gate 4", "Doors close in two minutes, please take your seats", "Track 7"});
  QCoreApplication::processEvents();
  ASSERT_EQ(recorder->Regions.size(), 1u);
  EXPECT_EQ(recorder->Regions[0], QRegion(window->rect()));
  EXPECT_TRUE(OnScreen() == Afresh());
}

}  // namespace
}  // namespace lumaren
