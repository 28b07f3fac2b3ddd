// lumaren-ctl: finds the display nodes on the local network and sends them
// commands, for people at a terminal and for scripts. The work is done by a
// session over the protocol module; this block starts the modules, turns
// SIGINT and SIGTERM into a clean stop and runs the event loop.

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/VersionInfo.h"
#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "protocol/uDeviceNode.h"
#include "services/uFileHelpers.h"
#include "tools/uCtlOptions.h"
#include "tools/uCtlSession.h"

namespace {

using namespace lumaren;

// The write end of the pipe that carries a signal into the event loop: a
// signal handler may do little more than write a byte.
int GSignalPipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const auto written = write(GSignalPipe[1], &byte, 1);
  errno = saved;
}

// Starts the modules the tool uses and ends them in reverse.
class TModules {
 public:
  TModules() {
    FileHelpersModuleStart(platform::ReadVersionInfo());
    DeviceNodeModuleStart(platform::QtUDPServerFactory(),
                          platform::QtThreadTimerFactory([](std::exception_ptr error) {
                            try {
                              std::rethrow_exception(error);
                            } catch (const std::exception& e) {
                              std::cerr << "lumaren-ctl: " << e.what() << std::endl;
                            } catch (...) {
                              std::cerr << "lumaren-ctl: unknown failure in a timer" << std::endl;
                            }
                          }));
  }
  ~TModules() {
    DeviceNodeModuleEnd();
    FileHelpersModuleEnd();
  }
  TModules(const TModules&) = delete;
  TModules& operator=(const TModules&) = delete;
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");

  ctl::TCtlOptions options;
  try {
    options = ctl::ParseCtlArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const ctl::ECtlUsage& e) {
    std::cerr << "lumaren-ctl: " << e.what() << "\nTry 'lumaren-ctl --help' for more information." << std::endl;
    return ctl::CON_ExitUsage;
  }
  if (options.Help) {
    std::cout << ctl::CtlHelpText() << std::flush;
    return ctl::CON_ExitOK;
  }

  try {
    TModules modules;
    if (options.Version) {
      std::cout << "lumaren-ctl (" << ProductName() << ") " << ProductVersion() << std::endl;
      return ctl::CON_ExitOK;
    }

    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, GSignalPipe) != 0) {
      std::cerr << "lumaren-ctl: cannot set up signal handling" << std::endl;
      return ctl::CON_ExitFailed;
    }
    ctl::TCtlSession session(options, std::cout, std::cerr, platform::QtThreadTimerFactory(),
                             [] { QCoreApplication::exit(0); });
    QSocketNotifier notifier(GSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&session] {
      char byte = 0;
      [[maybe_unused]] const auto got = read(GSignalPipe[0], &byte, 1);
      session.Stop();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    session.Start();
    if (!session.Finished()) QCoreApplication::exec();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    close(GSignalPipe[0]);
    close(GSignalPipe[1]);
    return session.ExitCode();
  } catch (const std::exception& e) {
    std::cerr << "lumaren-ctl: " << e.what() << std::endl;
    return ctl::CON_ExitFailed;
  }
}
