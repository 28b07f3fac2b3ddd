// The program's main block. The modules start one after the other in a fixed
// order before any window exists, and end in the reverse order after the
// event loop has ended.

#include <QApplication>

#include <clocale>

#include "display/main.h"
#include "platform/ExecutionState.h"
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
  TModules() : FExecutionState(platform::NewSessionExecutionState()) {
    FileHelpersModuleStart(platform::ReadVersionInfo());
    FFileHelpersStarted = true;
    LogsModuleStart(platform::StateHome() + "/" + CompanyName() + "/" + ProductName() + "/logs/",
                    platform::ReadMachineFacts(), platform::UserDateTimeSeparators());
    FLogsStarted = true;
    SystemCriticalModuleStart([state = FExecutionState.get()](std::uint32_t flags) {
      state->SetExecutionState(flags);
    });
  }

  ~TModules() {
    SystemCriticalModuleEnd();
    if (FLogsStarted) LogsModuleEnd();
    if (FFileHelpersStarted) FileHelpersModuleEnd();
  }

  TModules(const TModules&) = delete;
  TModules& operator=(const TModules&) = delete;

 private:
  std::unique_ptr<platform::TExecutionState> FExecutionState;
  bool FFileHelpersStarted = false;
  bool FLogsStarted = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  // The application object comes first: the log header lists the monitors.
  QApplication app(argc, argv);
  // Qt sets the C locale from the environment; numbers we write never follow it.
  std::setlocale(LC_NUMERIC, "C");

  TModules modules;
  QApplication::setApplicationDisplayName(QString::fromStdString(ProductName()));
  TfmMain window;
  window.show();
  return QApplication::exec();
}
