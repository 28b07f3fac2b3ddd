#pragma once
// The main window with every module it uses started on fakes: a fake UDP
// server, timers on a hand-moved clock, a recorded keep-awake switch, a fake
// adapter list, and the program's folders in a temporary place.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/main.h"
#include "support/TFakeUDPServer.h"
#include "support/TManualClock.h"
#include "support/TTempDir.h"

namespace lumaren::test {

class TMainWindowFixture : public ::testing::Test {
 protected:
  TMainWindowFixture();
  ~TMainWindowFixture() override;

  // Makes the window (FormCreate runs); tests that need to prepare the
  // preferences file first call this themselves.
  void CreateWindow();
  // Shows the window (FormShow runs) and lets the resize timer draw.
  void ShowAndSettle();

  std::string PreferencesPath() const;

  TTempDir home;
  TManualClock clock;
  TFakeUDPServer* udp = nullptr;  // UDPServer, owned by the protocol module
  std::vector<std::uint32_t> executionStates;
  std::unique_ptr<TfmMain> window;

 private:
  platform::TFormWindow* FMainFormSlot = nullptr;
  std::string FOldConfigHome;
  std::string FOldStateHome;
};

}  // namespace lumaren::test
