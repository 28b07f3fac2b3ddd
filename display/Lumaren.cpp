// The program's main block. The modules start one after the other in a fixed
// order before any window exists, and end in the reverse order after the
// event loop has ended.

#include <QApplication>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/about.h"
#include "config/uPreferences.h"
#include "display/DisplayPainter.h"
#include "display/main.h"
#include "platform/CrashReporter.h"
#include "platform/DisplayServer.h"
#include "platform/ExecutionState.h"
#include "platform/FormWindow.h"
#include "platform/Locale.h"
#include "platform/MachineInfo.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "platform/VersionInfo.h"
#include "platform/linux/CrashReport.h"
#include "platform/linux/LinuxAdapterSource.h"
#include "platform/qt/AfterFirstPaint.h"
#include "platform/qt/Application.h"
#include "platform/qt/BringToFront.h"
#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "platform/qt/SignalCloser.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uNetworkAdapters.h"
#include "services/uFileHelpers.h"
#include "services/uLogs.h"
#include "services/uSystemCritical.h"

namespace {

using namespace lumaren;

// Starts the modules in order and ends them in reverse, also when start-up
// fails half-way or an exception leaves the event loop.
class TModules {
 public:
  // mainWindow: where the main window will be, for the crash reporter's
  // "close" choice.
  TModules(platform::TFormWindow* const* mainFormSlot, TfmMain* const* mainWindow)
      : FExecutionState(platform::NewSessionExecutionState()) {
    try {
      StartAll(mainFormSlot, mainWindow);
    } catch (...) {
      EndAll();
      throw;
    }
  }

  ~TModules() { EndAll(); }

  TModules(const TModules&) = delete;
  TModules& operator=(const TModules&) = delete;

 private:
  void StartAll(platform::TFormWindow* const* mainFormSlot, TfmMain* const* mainWindow) {
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
    Start([mainWindow] { platform::CrashReporterModuleStart(CrashReporterSettings(mainWindow)); },
          platform::CrashReporterModuleEnd);
    Start([] { NetworkAdaptersModuleStart(platform::GetLinuxAdapters, platform::ShowInformationBox); },
          NetworkAdaptersModuleEnd);
    Start(
        [state = FExecutionState.get()] {
          SystemCriticalModuleStart([state](std::uint32_t flags) { state->SetExecutionState(flags); });
        },
        SystemCriticalModuleEnd);
  }

  static platform::TCrashReporterSettings CrashReporterSettings(TfmMain* const* mainWindow) {
    platform::TCrashReporterSettings settings;
    settings.ProgramName = ProductName();
    settings.ProgramVersion = ProductVersion();
    settings.ReportFolder = platform::StateHome() + "/" + CompanyName() + "/" + ProductName();
    settings.SupportAddress = "support@tivora.example";
    settings.LastLogLines = [] { return platform::ReadFileTail(SessionLogFileName(), 30, 8192); };
    settings.CloseProgram = [mainWindow] {
      if (*mainWindow) (*mainWindow)->mnExitClick();
    };
    return settings;
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
  // Placement needs window positions, which a Wayland session does not give.
  platform::PreferXWaylandOnWayland();
  // Large glyphs are cached; it must be set before the application object exists.
  ConfigureGlyphCache();
  // The application object comes first: the log header lists the monitors.
  platform::TApplication app(argc, argv);
  // Qt sets the C locale from the environment; numbers we write never follow it.
  std::setlocale(LC_NUMERIC, "C");

  // Hold the main window once it exists: the placement state and the crash
  // reporter reach the window through them.
  platform::TFormWindow* mainFormSlot = nullptr;
  TfmMain* mainWindow = nullptr;
  TModules modules(&mainFormSlot, &mainWindow);

  // A second start hands its command line to the running instance and ends
  // at once, without ending the modules.
  const auto instance = platform::NewSingleInstance(CompanyName(), ProductName(),
                                                    std::vector<std::string>(argv, argv + argc));
  if (!instance->IsFirstInstance()) {
    std::fflush(nullptr);
    _exit(0);
  }

  TfmMain window(platform::QtThreadTimerFactory([](std::exception_ptr error) {
                   platform::ReportException(error, "timer tick");
                 }),
                 &mainFormSlot);
  mainWindow = &window;
  // The dialogs go before the window they belong to.
  struct TDialogs {
    ~TDialogs() {
      SettingsFormFree();
      AboutFormFree();
    }
  } dialogs;
  // The about box and the settings dialog are made right after the window
  // has first been painted: they are only opened from its menu, and making
  // them took about a quarter of the time to the first frame.
  const platform::TAfterFirstPaint makeDialogs(window, [&window] {
    AboutFormCreate(&window);
    SettingsFormCreate(&window, [&window] { window.UpdateDisplay(); });
  });
  instance->SetOnCmdLineReceived([&window](const std::vector<std::string>&) { platform::BringToFront(&window); });
  // SIGTERM, SIGINT, SIGHUP and the end of the desktop session close the
  // window the way "Exit Program" does.
  platform::TSignalCloser closer([&window] { window.mnExitClick(); });

  window.show();
  const int result = QApplication::exec();
  mainWindow = nullptr;
  return result;
}
