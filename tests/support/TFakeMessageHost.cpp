#include "support/TFakeMessageHost.h"

#include "config/uPreferences.h"

namespace lumaren::test {

TFakeMessageHost::TFakeMessageHost(TManualClock& clock)
    : Expiry(clock.NewTimer()), Flash(clock.NewTimer()), Close(clock.NewTimer()) {
  Flash->SetInterval(500);
  Close->SetInterval(100);
  Flash->SetOnTimer([this] {
    FlashState = !FlashState;
    UpdateDisplay();
  });
  Expiry->SetOnTimer([this] {
    Expiry->SetEnabled(false);
    Flash->SetEnabled(false);
    while (List.Count() > 0) List.Delete(List.Count() - 1);
    List.BgColour = clNone;
    UpdateDisplay();
  });
  Close->SetOnTimer([this] {
    Close->SetEnabled(false);
    ++CloseCount;
  });
}

void TFakeMessageHost::UpdateDisplay() {
  TDrawnContent drawn;
  for (int i = 0; i < List.Count(); ++i) {
    const TDisplayLine& line = List.Items(i);
    drawn.Lines.push_back(line.TextLeft + "|" + line.TextCentre + "|" + line.TextRight);
  }
  drawn.Style = List.DisplayStyle;
  drawn.BgColour = List.BgColour;
  drawn.FontColour = List.FontColour;
  drawn.FontName = List.FontName;
  drawn.FlashState = FlashState;
  Draws.push_back(std::move(drawn));
}

void TFakeMessageHost::SetWindowState(TWindowState state) {
  WindowStates.push_back(state);
  Window.Calls.push_back("WindowState " + std::to_string(static_cast<int>(state)));
}

void TFakeMessageHost::ShowSettings() { SettingsShown.push_back(Prefs ? Prefs->NodeName() : std::string()); }

}  // namespace lumaren::test
