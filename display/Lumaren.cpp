// The program's main block. The modules start one after the other in a fixed
// order before any window exists, and end in the reverse order after the
// event loop has ended.

#include <QApplication>

#include <clocale>
#include <functional>
#include <memory>
#include <vector>

#include "display/DisplayPainter.h"
#include "display/main.h"
#include "config/Settings.h"
#include "config/about.h"
#include "config/uPreferences.h"
#include "platform/ExecutionState.h"
#include "platform/FormWindow.h"
#include "platform/MessageBox.h"
#include "platform/linux/LinuxAdapterSource.h"
#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uNetworkAdapters.h"
#include "platform/Locale.h"
#include "platform/MachineInfo.h"
#include "platform/Paths.h"
#include "platform/VersionInfo.h"
#include "services/uFileHelpers.h"
#include "services/uLogs.h"
#include "services/uSystemCritical.h"

namespace {

using namespace lumaren;

// Starts the modules in order and ends them in reverse, also when start-up
// fails half-way or an exception leaves the event loop.
class TModules {
 public:
  explicit TModules(platform::TFormWindow* const* mainFormSlot)
      : FExecutionState(platform::NewSessionExecutionState()) {
    try {
      StartAll(mainFormSlot);
    } catch (...) {
      EndAll();
      throw;
    }
  }

  ~TModules() { EndAll(); }

  TModules(const TModules&) = delete;
  TModules& operator=(const TModules&) = delete;

 private:
  void StartAll(platform::TFormWindow* const* mainFormSlot) {
    Start([] { DeviceNodeModuleStart(platform::QtUDPServerFactory(), platform::QtThreadTimerFactory()); },
          DeviceNodeModuleEnd);
    Start([mainFormSlot] { PreferencesModuleStart(mainFormSlot); }, PreferencesModuleEnd);
    Start([] { FileHelpersModuleStart(platform::ReadVersionInfo()); }, FileHelpersModuleEnd);
    // The adapter module's information box is titled with the program's name.
    QApplication::setApplicationDisplayName(QString::fromStdString(ProductName()));
    Start(
        [] {
          LogsModuleStart(platform::StateHome() + "/" + CompanyName() + "/" + ProductName() + "/logs/",
                          platform::ReadMachineFacts(), platform::UserDateTimeSeparators());
        },
        LogsModuleEnd);
    Start([] { NetworkAdaptersModuleStart(platform::GetLinuxAdapters, platform::ShowInformationBox); },
          NetworkAdaptersModuleEnd);
    Start(
        [state = FExecutionState.get()] {
          SystemCriticalModuleStart([state](std::uint32_t flags) { state->SetExecutionState(flags); });
        },
        SystemCriticalModuleEnd);
  }

  void EndAll() {
    while (!FEnds.empty()) {
      FEnds.back()();
      FEnds.pop_back();
    }
  }

  void Start(const std::function<void()>& start, std::function<void()> end) {
    start();
    FEnds.push_back(std::move(end));
  }

  std::unique_ptr<platform::TExecutionState> FExecutionState;
  std::vector<std::function<void()>> FEnds;
};

}  // namespace

int main(int argc, char* argv[]) {
  ConfigureGlyphCache();
  // The application object comes first: the log header lists the monitors.
  QApplication app(argc, argv);
  // Qt sets the C locale from the environment; numbers we write never follow it.
  std::setlocale(LC_NUMERIC, "C");

  // Holds the main window once it exists; the placement state reaches the
  // window through it.
  platform::TFormWindow* mainFormSlot = nullptr;
  TModules modules(&mainFormSlot);
  TfmMain window(platform::QtThreadTimerFactory(), &mainFormSlot);
  AboutFormCreate(&window);
  SettingsFormCreate(&window, [&window] { window.UpdateDisplay(); });
  // The dialogs go before the window they belong to.
  struct TDialogs {
    ~TDialogs() {
      SettingsFormFree();
      AboutFormFree();
    }
  } dialogs;
  window.show();
  return QApplication::exec();
}
