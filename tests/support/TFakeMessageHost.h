#pragma once
// The main window as the message handler sees it, without a window system:
// its content, its local node, timers on a manual clock, and a record of
// every redraw, window state change and settings refresh. The timer ticks
// do what the main window's do: the flash tick toggles the phase and
// redraws, the expiry tick stops both timers, empties the content and
// redraws, the close tick counts a close.

#include <memory>
#include <string>
#include <vector>

#include "display/uMessageDispatch.h"
#include "support/TFakeFormWindow.h"
#include "support/TManualClock.h"

namespace lumaren::test {

// What one UpdateDisplay had to draw.
struct TDrawnContent {
  std::vector<std::string> Lines;  // "left|centre|right"
  TDisplayStyle Style = TDisplayStyle::dsSteady;
  TColor BgColour = 0;
  TColor FontColour = 0;
  std::string FontName;
  bool FlashState = false;
};

class TFakeMessageHost : public TMessageHost {
 public:
  // Timers as the main window makes them: flash 500 ms, close 100 ms,
  // expiry without an interval; all disabled.
  explicit TFakeMessageHost(TManualClock& clock);

  TDisplayLineList& DisplayLineList() override { return List; }
  TLocalDeviceNode& LocalNode() override { return Node; }
  platform::TThreadTimer& ExpiryTimer() override { return *Expiry; }
  platform::TThreadTimer& FlashTimer() override { return *Flash; }
  platform::TThreadTimer& CloseTimer() override { return *Close; }
  void UpdateDisplay() override;
  // Recorded in WindowStates and, to keep the order with the placement, as
  // "WindowState N" in Window.Calls.
  void SetWindowState(TWindowState state) override;
  bool SettingsVisible() const override { return SettingsOpen; }
  // Records the preference node name the dialog would show.
  void ShowSettings() override;

  TDisplayLineList List;
  TLocalDeviceNode Node;
  std::unique_ptr<TManualThreadTimer> Expiry;
  std::unique_ptr<TManualThreadTimer> Flash;
  std::unique_ptr<TManualThreadTimer> Close;
  bool FlashState = false;
  bool SettingsOpen = false;
  int CloseCount = 0;
  TFakeFormWindow Window;  // the window's placement, for the preferences' slot

  std::vector<TDrawnContent> Draws;
  std::vector<TWindowState> WindowStates;
  std::vector<std::string> SettingsShown;
};

}  // namespace lumaren::test
