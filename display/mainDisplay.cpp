// The main window's drawing: the redraw, the default screen and the flash,
// expiry and resize timers.

#include <QBackingStore>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <string>

#include "config/uPreferences.h"
#include "display/DisplayPainter.h"
#include "display/main.h"
#include "services/uFileHelpers.h"

namespace lumaren {

void TfmMain::UpdateDisplay() {
  FLaidOutSize = size();
  RequestFrame();
}

// Painting once per message made the paint the bottleneck: a flood of
// messages left most of them in the socket until the kernel dropped them.
// The content is applied at once and the paint shows whatever is current
// when it runs. The first request after a quiet frame is painted at the next
// pass of the event loop; requests within a frame of the last paint wait for
// the frame timer's tick, which paints once for all of them.
void TfmMain::RequestFrame() {
  if (FFrameTimer->Enabled()) {
    FFramePending = true;
    return;
  }
  RequestPaint();
  FFrameTimer->SetEnabled(true);
}

void TfmMain::FrameTimerTick() {
  if (!FFramePending) {
    FFrameTimer->SetEnabled(false);
    return;
  }
  FFramePending = false;
  RequestPaint();
}

// A message that changes one line repaints that line's row only; anything
// that moves or restyles the rows repaints the whole window.
void TfmMain::RequestPaint() { update(FShownFrame.ChangedRegion(CurrentFrame(CurrentLook()))); }

TDisplayLook TfmMain::CurrentLook() const {
  return Prefs ? ResolveDisplayLook(*FDisplayLineList, Prefs->BgColour, Prefs->FontColour, Prefs->FontName,
                                    FFlashState)
               : ResolveDisplayLook(*FDisplayLineList, CON_BgColourDefault, CON_FontColourDefault,
                                    CON_FontNameDefault, FFlashState);
}

TFrame TfmMain::CurrentFrame(const TDisplayLook& look) {
  if (size() == FLaidOutSize) return DisplayFrame(*this, rect(), *FDisplayLineList, look, &FTextMeasures);
  TFrame frame;
  frame.Size = size();
  frame.PixelRatio = devicePixelRatioF();
  frame.WindowColour = look.WindowColour.rgba();
  return frame;
}

void TfmMain::DefaultScreen() {
  FDisplayLineList->Clear();
  auto line = std::make_unique<TDisplayLine>();
  const std::string nodeName = Prefs ? Prefs->NodeName() : std::string();
  const std::int32_t group = Prefs ? Prefs->Group() : 0;
  line->TextCentre = ProductName() + "\r\n" + "Version: " + ProductVersion() + "\r\n" + "Node: " + nodeName +
                     "\r\n" + "Group: " + std::to_string(group) + "\r\n" + "Waiting to connect...";
  FDisplayLineList->Add(std::move(line));
  tmrResize->SetEnabled(true);
}

void TfmMain::paintEvent(QPaintEvent* event) {
  // The next paint asked for comes a whole frame after this one, however
  // late this one came.
  if (FFrameTimer->Enabled()) {
    FFrameTimer->SetEnabled(false);
    FFrameTimer->SetEnabled(true);
  }
  const TDisplayLook look = CurrentLook();
  const TFrame frame = CurrentFrame(look);
  QPainter painter(this);
  // Every paint, UpdateDisplay's or the system's after the window was
  // covered or hidden, shows the current content; only while a new size
  // waits for the resize timer's redraw does the background stand alone.
  if (frame.LaidOut) {
    PaintDisplay(painter, rect(), event->region(), *FDisplayLineList, look, &FTextMeasures);
  } else {
    painter.fillRect(rect(), look.WindowColour);
  }
  // Only a paint into the window's own backing store changes what the window
  // shows; grab() and render() paint a copy.
  QBackingStore* store = backingStore();
  if (store && painter.paintEngine() && painter.paintEngine()->paintDevice() == store->paintDevice()) {
    FShownFrame.Painted(frame, event->region());
  }
}

void TfmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TfmMain::FormResize() { tmrResize->SetEnabled(true); }

void TfmMain::tmrFlashTimer() {
  FFlashState = !FFlashState;
  UpdateDisplay();
}

void TfmMain::tmrExpiryTimer() {
  tmrExpiry->SetEnabled(false);
  tmrFlash->SetEnabled(false);
  while (FDisplayLineList->Count() > 0) FDisplayLineList->Delete(FDisplayLineList->Count() - 1);
  // Style, font name and font colour stay; only the background returns to
  // the preference.
  FDisplayLineList->BgColour = clNone;
  UpdateDisplay();
}

void TfmMain::tmrResizeTimer() {
  tmrResize->SetEnabled(false);
  UpdateDisplay();
}

}  // namespace lumaren
