#pragma once
// The display node's one window: borderless, filled with the display content.
// Its implementation is spread over a few files, one job each: main.cpp
// (creation, showing, closing, menu and mouse), mainDisplay.cpp (drawing and
// its timers), mainNetwork.cpp (preferences applied to the network and the
// heartbeat).

#include <QSize>
#include <QWidget>

#include <memory>
#include <string>

#include "display/DisplayPainter.h"
#include "display/ShownFrame.h"
#include "display/uDisplayLine.h"
#include "display/uMessageDispatch.h"
#include "platform/FormWindow.h"
#include "platform/ThreadTimer.h"
#include "protocol/uDeviceNode.h"

class QAction;
class QMenu;

namespace lumaren::platform {
class TFramelessMover;
}

namespace lumaren {

// The window is also what the message handler works on (TMessageHost).
class TfmMain : public QWidget, public TMessageHost {
  Q_OBJECT

 public:
  // timerFactory makes the window's timers: the Qt timers in the program,
  // timers on a hand-moved clock in the tests. mainFormSlot, when given, is
  // the application's main-window slot: the window puts its placement
  // interface there for its lifetime, so the preferences' placement state
  // reaches it.
  explicit TfmMain(const platform::TThreadTimerFactory& timerFactory,
                   platform::TFormWindow** mainFormSlot = nullptr, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Redraw after a size change, 100 ms after the first of a burst.
  const std::unique_ptr<platform::TThreadTimer> tmrResize;
  // Closes the window shortly after a Shutdown message.
  const std::unique_ptr<platform::TThreadTimer> tmrClose;
  // Announces the node; its interval comes from the preferences.
  const std::unique_ptr<platform::TThreadTimer> tmrHeartbeat;
  // Clears the content; its interval is set per content.
  const std::unique_ptr<platform::TThreadTimer> tmrExpiry;
  // Toggles the flash phase every 500 ms while the content blinks or alternates.
  const std::unique_ptr<platform::TThreadTimer> tmrFlash;

  TDisplayLineList& DisplayLineList() override { return *FDisplayLineList; }
  const TDisplayLineList& DisplayLineList() const { return *FDisplayLineList; }
  TLocalDeviceNode& LocalNode() override { return *FLocalNode; }
  // True in the phase in which blink hides the text and alternate swaps the
  // colours.
  bool FlashState() const { return FFlashState; }
  // The program's folder under the user's configuration folder, ending in "/".
  const std::string& AppDataPath() const { return FAppDataPath; }

  // Takes the current content and preferences for the next paint: colours
  // and font from the content or the preferences, the font fitted to the
  // window, one row per display line. The paint follows at the next pass of
  // the event loop, at most once per display frame, so a burst of messages
  // costs one paint per frame instead of one each (see RequestFrame).
  void UpdateDisplay() override;
  // Replaces the content by the start-up text and schedules a redraw.
  void DefaultScreen();
  // Applies the network preferences: binds the UDP server (falling back to
  // a free port that then replaces the preference), sets the heartbeat and
  // announces. A failure is logged and leaves the node silent until the
  // preferences are applied again.
  void PreferencesChanged();

  // Every datagram on UDPServer arrives here.
  void UDPRead(const platform::TUDPDatagram& datagram);

  // What the message handler needs besides the content and the redraw.
  platform::TThreadTimer& ExpiryTimer() override { return *tmrExpiry; }
  platform::TThreadTimer& FlashTimer() override { return *tmrFlash; }
  platform::TThreadTimer& CloseTimer() override { return *tmrClose; }
  void SetWindowState(TWindowState state) override;
  bool SettingsVisible() const override;
  void ShowSettings() override;

  // The menu's commands, also for the program's own shut-down paths.
  void mnExitClick();
  void mnMinimiseThisWindowClick();
  void mnSettingsClick();
  void mnAboutClick();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormCloseQuery();
  void FormDblClick();
  void FormResize();
  void CreatePopupMenu();
  void ApplyNetworkPreferences();
  void tmrFlashTimer();
  void tmrExpiryTimer();
  void tmrResizeTimer();
  void tmrCloseTimer();
  void tmrHeartbeatTimer();
  void RequestFrame();
  void FrameTimerTick();
  // Asks the toolkit to paint the part of the window that differs from what
  // it shows.
  void RequestPaint();
  TDisplayLook CurrentLook() const;
  TFrame CurrentFrame(const TDisplayLook& look);

  QMenu* PopupMenu = nullptr;  // owned by the window, as its child
  QAction* mnExit = nullptr;
  QAction* mnMinimiseThisWindow = nullptr;
  QAction* mnSettings = nullptr;
  QAction* mnAbout = nullptr;

  std::unique_ptr<TLocalDeviceNode> FLocalNode;
  std::unique_ptr<TMessageDispatcher> FDispatcher;
  std::string FAppDataPath;
  std::unique_ptr<TDisplayLineList> FDisplayLineList;
  bool FFlashState = false;

  // Moves and resizes the borderless window with the mouse.
  std::unique_ptr<platform::TFramelessMover> FMover;
  // Set once the window has been asked to close.
  bool FClosing = false;

  // The window's placement interface, and the slot that holds it.
  std::unique_ptr<platform::TFormWindow> FFormWindow;
  platform::TFormWindow** FMainFormSlot = nullptr;

  // The client size the content was last laid out for by UpdateDisplay. At
  // any other size the paint handler shows only the background until the
  // resize timer's redraw, so a burst of size events costs one layout.
  QSize FLaidOutSize;
  bool FShown = false;

  // Paces the paints to the display's frame rate: runs while paints are
  // being asked for; FFramePending marks a request that waits for its tick.
  const std::unique_ptr<platform::TThreadTimer> FFrameTimer;
  bool FFramePending = false;
  // What earlier paints measured, so a paint measures only new text.
  TTextMeasureCache FTextMeasures;
  // What the paints have put into the window's backing store.
  TShownFrame FShownFrame;
};

}  // namespace lumaren
