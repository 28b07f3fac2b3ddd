// The main window's display: the default screen, colours from the content or
// the preferences, and the flash, expiry and resize timers on a hand-moved
// clock. What the window shows is read from grab().

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>

#include <memory>
#include <string>

#include "config/uPreferences.h"
#include "display/main.h"
#include "services/uFileHelpers.h"
#include "support/TManualClock.h"
#include "support/qt/TMainWindowFixture.h"
#include "support/qt/TImageInk.h"

namespace lumaren {
namespace {

using test::CountPixels;
using test::InkBands;
using test::InkRect;

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);

constexpr TColor kRedColour = 0x0000FF;    // red in the low byte
constexpr TColor kGreenColour = 0x00FF00;
constexpr TColor kBlueColour = 0xFF0000;

class MainWindowDisplayTest : public test::TMainWindowFixture {
 protected:
  MainWindowDisplayTest() { CreateWindow(); }

  // Replaces the content by lines of centre text, drawn at once.
  void SetContent(std::initializer_list<const char*> centres, TColor bg = clNone, TColor font = clNone,
                  TDisplayStyle style = TDisplayStyle::dsSteady) {
    TDisplayLineList& list = window->DisplayLineList();
    list.Clear();
    list.BgColour = bg;
    list.FontColour = font;
    list.DisplayStyle = style;
    for (const char* centre : centres) {
      auto line = std::make_unique<TDisplayLine>();
      line->TextCentre = centre;
      list.Add(std::move(line));
    }
    window->UpdateDisplay();
  }

  QImage Shot() { return window->grab().toImage(); }
  int AllPixels() const { return window->width() * window->height(); }

  void ResizeTo(int width, int height) {
    window->resize(width, height);
    QCoreApplication::processEvents();
    ASSERT_EQ(window->size(), QSize(width, height));
  }

};

TEST_F(MainWindowDisplayTest, TimersStartDisabledWithTheirPeriods) {
  EXPECT_FALSE(window->tmrResize->Enabled());
  EXPECT_FALSE(window->tmrExpiry->Enabled());
  EXPECT_FALSE(window->tmrFlash->Enabled());
  EXPECT_EQ(window->tmrResize->Interval(), 100);
  EXPECT_EQ(window->tmrFlash->Interval(), 500);
  EXPECT_FALSE(window->FlashState());
}

TEST_F(MainWindowDisplayTest, TheDefaultScreenIsDrawnAtTheResizeTick) {
  window->show();
  QCoreApplication::processEvents();
  ASSERT_EQ(window->DisplayLineList().Count(), 1);
  EXPECT_EQ(window->DisplayLineList().Items(0).TextCentre,
            "Lumaren\r\nVersion: 1.0.4.0\r\nNode: Lumaren\r\nGroup: 1\r\nWaiting to connect...");
  EXPECT_TRUE(window->tmrResize->Enabled());

  clock.Advance(99);
  EXPECT_EQ(CountPixels(Shot(), kBlack), AllPixels()) << "nothing drawn before the tick";
  clock.Advance(1);
  EXPECT_FALSE(window->tmrResize->Enabled());
  const QImage shot = Shot();
  EXPECT_GT(CountPixels(shot, kWhite), 500);
  const auto bands = InkBands(shot, kBlack);
  ASSERT_EQ(bands.size(), 5u);
  for (const auto& band : bands) {
    SCOPED_TRACE(::testing::Message() << "text line at " << band.Top);
    const QRect ink = InkRect(shot, kBlack, QRect(0, band.Top, shot.width(), band.Bottom - band.Top + 1));
    EXPECT_LE(std::abs(ink.left() - (shot.width() - 1 - ink.right())), 12) << "centred";
  }
  // The widest line, "Waiting to connect...", fills most of the width.
  const QRect all = InkRect(shot, kBlack);
  EXPECT_GT(all.width(), shot.width() * 8 / 10);
}

TEST_F(MainWindowDisplayTest, TheDefaultScreenNamesTheNodeAndGroupOfThePreferences) {
  ShowAndSettle();
  Prefs->SetNodeName("Foyer");
  Prefs->SetGroup(7);
  window->DefaultScreen();
  ASSERT_EQ(window->DisplayLineList().Count(), 1);
  EXPECT_EQ(window->DisplayLineList().Items(0).TextCentre,
            "Lumaren\r\nVersion: 1.0.4.0\r\nNode: Foyer\r\nGroup: 7\r\nWaiting to connect...");
  EXPECT_EQ(window->DisplayLineList().BgColour, clNone) << "the list was cleared";
  EXPECT_TRUE(window->tmrResize->Enabled());
}

TEST_F(MainWindowDisplayTest, ColoursComeFromTheContentOrThePreferences) {
  ShowAndSettle();
  Prefs->BgColour = kBlueColour;
  Prefs->FontColour = kGreenColour;
  const struct {
    const char* why;
    TColor bg, font;
    QColor expectedBg, expectedFont;
  } cases[] = {
      {"content colours", kRedColour, kBlueColour, kRed, kBlue},
      {"preference colours", clNone, clNone, kBlue, kGreen},
      {"content background, preference text", kRedColour, clNone, kRed, kGreen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    SetContent({"Text"}, c.bg, c.font);
    const QImage shot = Shot();
    EXPECT_EQ(QColor(shot.pixel(0, 0)), c.expectedBg);
    EXPECT_EQ(QColor(shot.pixel(shot.width() - 1, shot.height() - 1)), c.expectedBg);
    EXPECT_GT(CountPixels(shot, c.expectedFont), 500);
  }
}

TEST_F(MainWindowDisplayTest, BlinkHidesTheTextEveryOtherFlashTick) {
  ShowAndSettle();
  SetContent({"Blink"}, clNone, clNone, TDisplayStyle::dsBlink);
  window->tmrFlash->SetEnabled(true);
  EXPECT_GT(CountPixels(Shot(), kWhite), 500);

  clock.Advance(500);
  EXPECT_TRUE(window->FlashState());
  EXPECT_EQ(CountPixels(Shot(), kBlack), AllPixels()) << "the text is hidden";

  clock.Advance(499);
  EXPECT_TRUE(window->FlashState());
  clock.Advance(1);
  EXPECT_FALSE(window->FlashState());
  EXPECT_GT(CountPixels(Shot(), kWhite), 500);
}

TEST_F(MainWindowDisplayTest, AlternateSwapsTheColoursInTheFlashPhase) {
  ShowAndSettle();
  SetContent({"Swap"}, kRedColour, kBlueColour, TDisplayStyle::dsAlternate);
  window->tmrFlash->SetEnabled(true);
  clock.Advance(500);
  ASSERT_TRUE(window->FlashState());
  const QImage shot = Shot();
  EXPECT_EQ(QColor(shot.pixel(0, 0)), kBlue);
  EXPECT_GT(CountPixels(shot, kRed), 500) << "the text in the background colour";

  // An empty list shows nothing but the window colour, which is now the
  // font colour.
  TDisplayLineList& list = window->DisplayLineList();
  while (list.Count() > 0) list.Delete(0);
  window->UpdateDisplay();
  EXPECT_EQ(CountPixels(Shot(), kBlue), AllPixels());
}

TEST_F(MainWindowDisplayTest, ExpiryClearsTheLinesAndTheBackgroundOnly) {
  ShowAndSettle();
  SetContent({"Gone soon"}, kRedColour, kGreenColour, TDisplayStyle::dsBlink);
  TDisplayLineList& list = window->DisplayLineList();
  list.FontName = "Arial";
  list.ExpiryMilliSecs = 1200;
  window->tmrExpiry->SetInterval(1200);
  window->tmrExpiry->SetEnabled(true);
  window->tmrFlash->SetEnabled(true);

  clock.Advance(1199);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_FALSE(window->FlashState());  // toggled at 500 and 1000
  clock.Advance(1);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.BgColour, clNone);
  EXPECT_EQ(list.FontColour, kGreenColour);
  EXPECT_EQ(list.FontName, "Arial");
  EXPECT_EQ(list.DisplayStyle, TDisplayStyle::dsBlink);
  EXPECT_EQ(list.ExpiryMilliSecs, 1200);
  EXPECT_FALSE(window->tmrExpiry->Enabled());
  EXPECT_FALSE(window->tmrFlash->Enabled());
  EXPECT_EQ(CountPixels(Shot(), kBlack), AllPixels()) << "the preference background";

  clock.Advance(2000);
  EXPECT_FALSE(window->FlashState()) << "no flash ticks after expiry";
}

TEST_F(MainWindowDisplayTest, ExpiryKeepsTheFlashPhase) {
  ShowAndSettle();
  SetContent({"Swap"}, clNone, kBlueColour, TDisplayStyle::dsAlternate);
  window->tmrExpiry->SetInterval(700);
  window->tmrExpiry->SetEnabled(true);
  window->tmrFlash->SetEnabled(true);
  clock.Advance(700);
  EXPECT_EQ(window->DisplayLineList().Count(), 0);
  EXPECT_TRUE(window->FlashState());
  // Still alternating, in the swapped phase: the empty window shows the
  // font colour.
  EXPECT_EQ(CountPixels(Shot(), kBlue), AllPixels());
}

TEST_F(MainWindowDisplayTest, ABurstOfResizesGivesOneRedrawAHundredMillisecondsAfterTheFirst) {
  ShowAndSettle();
  SetContent({"Resize"});
  auto& resizeTimer = dynamic_cast<test::TManualThreadTimer&>(*window->tmrResize);
  const int ticksBefore = resizeTimer.TickCount();

  ResizeTo(600, 450);
  EXPECT_TRUE(window->tmrResize->Enabled());
  EXPECT_EQ(CountPixels(Shot(), kWhite), 0) << "no layout until the resize timer's redraw";
  clock.Advance(40);
  ResizeTo(640, 470);
  clock.Advance(40);
  ResizeTo(700, 500);
  clock.Advance(19);
  EXPECT_EQ(resizeTimer.TickCount(), ticksBefore);
  EXPECT_EQ(CountPixels(Shot(), kWhite), 0);
  clock.Advance(1);
  EXPECT_EQ(resizeTimer.TickCount(), ticksBefore + 1);
  EXPECT_FALSE(window->tmrResize->Enabled());
  const QImage shot = Shot();
  EXPECT_EQ(shot.size(), QSize(700, 500));
  EXPECT_GT(CountPixels(shot, kWhite), 500);

  // The next resize after that redraw starts a new period.
  clock.Advance(50);
  ResizeTo(500, 400);
  clock.Advance(100);
  EXPECT_EQ(resizeTimer.TickCount(), ticksBefore + 2);
  EXPECT_GT(CountPixels(Shot(), kWhite), 500);
  clock.Advance(1000);
  EXPECT_EQ(resizeTimer.TickCount(), ticksBefore + 2);
}

TEST_F(MainWindowDisplayTest, UpdateDisplayDrawsAtOnceEvenWhileAResizeIsPending) {
  ShowAndSettle();
  SetContent({"Now"});
  ResizeTo(600, 450);
  ASSERT_TRUE(window->tmrResize->Enabled());
  window->UpdateDisplay();
  EXPECT_GT(CountPixels(Shot(), kWhite), 500);
}

TEST_F(MainWindowDisplayTest, AReExposedWindowShowsItsText) {
  ShowAndSettle();
  SetContent({"Still here"}, kRedColour, kGreenColour);
  window->hide();
  QCoreApplication::processEvents();
  window->show();
  QCoreApplication::processEvents();
  // No UpdateDisplay since: the paint handler alone draws the content.
  const QImage shot = Shot();
  EXPECT_EQ(QColor(shot.pixel(0, 0)), kRed);
  EXPECT_GT(CountPixels(shot, kGreen), 500);
  EXPECT_EQ(window->DisplayLineList().Items(0).TextCentre, "Still here") << "showing again is not a first show";
}

}  // namespace
}  // namespace lumaren
