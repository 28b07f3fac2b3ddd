#include "platform/qt/SignalCloser.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <stdexcept>

#include <sys/socket.h>
#include <unistd.h>

namespace lumaren::platform {

namespace {

constexpr int CON_CloseSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int CON_SignalCount = sizeof CON_CloseSignals / sizeof CON_CloseSignals[0];

// The handler's state; only plain values it may touch.
volatile sig_atomic_t GWriteFd = -1;
volatile sig_atomic_t GRequested = 0;  // a close was asked for
struct sigaction GPrevious[CON_SignalCount];

void OnCloseSignal(int signal) {
  const int savedErrno = errno;
  if (GRequested) {
    // Asked again: the orderly close is too slow or hung; end now.
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    ::raise(signal);  // blocked while we run; delivered when we return
    errno = savedErrno;
    return;
  }
  GRequested = 1;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(GWriteFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TSignalCloser::TSignalCloser(std::function<void()> onClose) : FOnClose(std::move(onClose)) {
  if (GWriteFd >= 0) throw std::logic_error("TSignalCloser: only one at a time");
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
    throw std::runtime_error("TSignalCloser: socketpair failed");
  FReadFd = fds[0];
  GWriteFd = fds[1];
  GRequested = 0;
  FNotifier = std::make_unique<QSocketNotifier>(FReadFd, QSocketNotifier::Read);
  QObject::connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { ReadSignals(); });

  struct sigaction action {};
  action.sa_handler = OnCloseSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < CON_SignalCount; ++i) sigaction(CON_CloseSignals[i], &action, &GPrevious[i]);

#ifndef QT_NO_SESSIONMANAGER
  // The session is ending: save and close now; the session manager ends
  // whatever is still running afterwards.
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QObject::connect(
        app, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager&) { CloseNow(); },
        Qt::DirectConnection);
  }
#endif
}

TSignalCloser::~TSignalCloser() {
  for (int i = 0; i < CON_SignalCount; ++i) sigaction(CON_CloseSignals[i], &GPrevious[i], nullptr);
  const int writeFd = GWriteFd;
  GWriteFd = -1;
  FNotifier.reset();
  ::close(writeFd);
  ::close(FReadFd);
}

void TSignalCloser::ReadSignals() {
  char buffer[64];
  bool any = false;
  while (::read(FReadFd, buffer, sizeof buffer) > 0) any = true;
  if (any) CloseNow();
}

void TSignalCloser::CloseNow() {
  if (FOnClose) FOnClose();
  // Leaves every event loop, also those of modal dialogs that were open.
  QCoreApplication::quit();
}

}  // namespace lumaren::platform
