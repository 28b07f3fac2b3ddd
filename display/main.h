#pragma once
// The display node's one window: borderless, filled with the display content.

#include <QSize>
#include <QWidget>

#include <memory>

#include "display/uDisplayLine.h"
#include "platform/ThreadTimer.h"

namespace lumaren {

class TfmMain : public QWidget {
  Q_OBJECT

 public:
  // timerFactory makes the window's timers: the Qt timers in the program,
  // timers on a hand-moved clock in the tests.
  explicit TfmMain(const platform::TThreadTimerFactory& timerFactory, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Redraw after a size change, 100 ms after the first of a burst.
  const std::unique_ptr<platform::TThreadTimer> tmrResize;
  // Clears the content; its interval is set per content.
  const std::unique_ptr<platform::TThreadTimer> tmrExpiry;
  // Toggles the flash phase every 500 ms while the content blinks or alternates.
  const std::unique_ptr<platform::TThreadTimer> tmrFlash;

  TDisplayLineList& DisplayLineList() { return *FDisplayLineList; }
  const TDisplayLineList& DisplayLineList() const { return *FDisplayLineList; }
  // True in the phase in which blink hides the text and alternate swaps the
  // colours.
  bool FlashState() const { return FFlashState; }

  // Redraws the whole window now: colours and font from the content or the
  // preferences, the font fitted to the window, one row per display line.
  void UpdateDisplay();
  // Replaces the content by the start-up text and schedules a redraw.
  void DefaultScreen();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void FormResize();
  void tmrFlashTimer();
  void tmrExpiryTimer();
  void tmrResizeTimer();

  std::unique_ptr<TDisplayLineList> FDisplayLineList;
  bool FFlashState = false;
  // The client size the content was last laid out for by UpdateDisplay. At
  // any other size the paint handler shows only the background until the
  // resize timer's redraw, so a burst of size events costs one layout.
  QSize FLaidOutSize;
  bool FShown = false;
};

}  // namespace lumaren
