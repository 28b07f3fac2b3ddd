#include "support/qt/TMainWindowFixture.h"

#include <QCoreApplication>

#include <cstdlib>

#include "config/uPreferences.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uNetworkAdapters.h"
#include "services/uFileHelpers.h"
#include "services/uLogs.h"
#include "services/uSystemCritical.h"

namespace lumaren::test {

namespace {

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<platform::TAdapterInfo> OneAdapter() {
  platform::TAdapterInfo lan;
  lan.Name = "lan0";
  lan.Description = "Ethernet lan0";
  lan.IPv4 = "10.77.0.2";
  lan.HardwareAddress = {0x02, 0x00, 0x0A, 0x4D, 0x00, 0x02};
  lan.IsUp = true;
  lan.BroadcastSupport = true;
  return {lan};
}

}  // namespace

TMainWindowFixture::TMainWindowFixture()
    : FOldConfigHome(Getenv("XDG_CONFIG_HOME")), FOldStateHome(Getenv("XDG_STATE_HOME")) {
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
  DeviceNodeModuleStart([] { return std::make_unique<TFakeUDPServer>(); }, clock.Factory());
  PreferencesModuleStart(&FMainFormSlot);
  FileHelpersModuleStart(platform::TVersionInfo{"Tivora", "Lumaren", "1.0.4.0", "1.0.0.0"});
  LogsModuleStart((home / "state" / "logs").string(), platform::TMachineFacts{}, platform::TDateTimeSeparators{});
  NetworkAdaptersModuleStart(OneAdapter, [](const std::string&) {});
  SystemCriticalModuleStart([this](std::uint32_t flags) { executionStates.push_back(flags); });
  udp = static_cast<TFakeUDPServer*>(UDPServer.get());
}

TMainWindowFixture::~TMainWindowFixture() {
  window.reset();
  SystemCriticalModuleEnd();
  NetworkAdaptersModuleEnd();
  LogsModuleEnd();
  FileHelpersModuleEnd();
  PreferencesModuleEnd();
  DeviceNodeModuleEnd();
  setenv("XDG_CONFIG_HOME", FOldConfigHome.c_str(), 1);
  setenv("XDG_STATE_HOME", FOldStateHome.c_str(), 1);
}

void TMainWindowFixture::CreateWindow() { window = std::make_unique<TfmMain>(clock.Factory(), &FMainFormSlot); }

void TMainWindowFixture::ShowAndSettle() {
  if (!window) CreateWindow();
  window->show();
  QCoreApplication::processEvents();
  clock.Advance(100);
}

std::string TMainWindowFixture::PreferencesPath() const {
  return (home / "config" / "Tivora" / "Lumaren" / "Preferences.xml").string();
}

}  // namespace lumaren::test
