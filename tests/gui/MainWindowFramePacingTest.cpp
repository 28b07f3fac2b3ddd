// The main window paints at most once per display frame: UpdateDisplay takes
// the new content at once and the paint follows at the next pass of the
// event loop, or at the frame timer's tick when the window painted less
// than a frame ago. Paints are counted as the window receives them, without
// grab(), which would paint by itself.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

#include "display/main.h"
#include "support/qt/TMainWindowFixture.h"
#include "support/qt/TPaintRecorder.h"

namespace lumaren {
namespace {

constexpr int kFrame = 16;

class MainWindowFramePacingTest : public test::TMainWindowFixture {
 protected:
  MainWindowFramePacingTest() {
    ShowAndSettle();
    Settle();
    recorder = std::make_unique<test::TPaintRecorder>(*window);
  }

  // Lets every pending paint happen and the frame timer run out.
  void Settle() {
    QCoreApplication::processEvents();
    clock.Advance(4 * kFrame);
    QCoreApplication::processEvents();
  }

  void Show(const std::string& text) {
    TDisplayLineList& list = window->DisplayLineList();
    list.Clear();
    auto line = std::make_unique<TDisplayLine>();
    line->TextCentre = text;
    list.Add(std::move(line));
    window->UpdateDisplay();
  }

  // Moves the clock and lets the paints it asked for happen.
  void Advance(int milliseconds) {
    clock.Advance(milliseconds);
    QCoreApplication::processEvents();
  }

  std::unique_ptr<test::TPaintRecorder> recorder;
};

TEST_F(MainWindowFramePacingTest, UpdateDisplayPaintsAtTheNextPassOfTheEventLoop) {
  Show("One");
  EXPECT_TRUE(recorder->Shown.empty()) << "nothing is painted inside UpdateDisplay";
  QCoreApplication::processEvents();
  EXPECT_EQ(recorder->Shown, std::vector<std::string>{"One"});
}

TEST_F(MainWindowFramePacingTest, ABurstWithinAFrameIsPaintedOnceNowAndOnceAtTheFrameTick) {
  Show("First");
  QCoreApplication::processEvents();
  for (int i = 0; i < 50; ++i) Show("Burst " + std::to_string(i));
  QCoreApplication::processEvents();
  EXPECT_EQ(recorder->Shown, std::vector<std::string>{"First"}) << "the burst waits for the next frame";

  Advance(kFrame - 1);
  EXPECT_EQ(recorder->Shown.size(), 1u);
  Advance(1);
  EXPECT_EQ(recorder->Shown, (std::vector<std::string>{"First", "Burst 49"})) << "one paint, of the latest state";

  Advance(10 * kFrame);
  EXPECT_EQ(recorder->Shown.size(), 2u) << "no paint without a new request";
}

TEST_F(MainWindowFramePacingTest, AfterAQuietFrameTheNextUpdateIsPaintedWithoutWaiting) {
  Show("Before");
  QCoreApplication::processEvents();
  Advance(2 * kFrame);
  Show("After");
  QCoreApplication::processEvents();
  EXPECT_EQ(recorder->Shown, (std::vector<std::string>{"Before", "After"}));
}

TEST_F(MainWindowFramePacingTest, TheFrameIsCountedFromTheLastPaint) {
  Show("One");
  Advance(kFrame - 2);  // the paint comes late, just before the tick
  ASSERT_EQ(recorder->Shown.size(), 1u);
  Show("Two");
  Advance(2);
  EXPECT_EQ(recorder->Shown.size(), 1u) << "a frame has not passed since the paint";
  Advance(kFrame - 2);
  EXPECT_EQ(recorder->Shown, (std::vector<std::string>{"One", "Two"}));
}

TEST_F(MainWindowFramePacingTest, FlashTicksArePaintedAtTheirTick) {
  Show("Blink");
  window->DisplayLineList().DisplayStyle = TDisplayStyle::dsBlink;
  window->tmrFlash->SetEnabled(true);
  QCoreApplication::processEvents();
  for (int tick = 1; tick <= 3; ++tick) {
    SCOPED_TRACE(tick);
    Advance(499);
    EXPECT_EQ(recorder->Shown.size(), static_cast<std::size_t>(tick));
    Advance(1);
    EXPECT_EQ(recorder->Shown.size(), static_cast<std::size_t>(tick + 1));
  }
}

}  // namespace
}  // namespace lumaren
