#pragma once
// Ends the program the way Linux users expect, through the same close as
// "Exit Program": SIGTERM (systemd, kill, the end of a login session), SIGINT
// (Ctrl+C in a terminal) and SIGHUP (the terminal went away), and the desktop
// session manager's request to save before logging out.
//
// The signal handler only writes a byte to a socket pair; the main thread
// reads it, calls onClose and then ends the event loop (also the loop of a
// modal dialog that was open). Any further signal ends the program at once
// by the signal's default action: a second Ctrl+C always works, also when
// the main thread hangs.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace lumaren::platform {

class TSignalCloser : public QObject {
 public:
  // Installs the handlers; one closer at a time (a second throws
  // std::logic_error). Needs the Qt application object.
  explicit TSignalCloser(std::function<void()> onClose);
  // Puts the previous handlers back.
  ~TSignalCloser() override;
  TSignalCloser(const TSignalCloser&) = delete;
  TSignalCloser& operator=(const TSignalCloser&) = delete;

 private:
  void ReadSignals();
  void CloseNow();

  std::function<void()> FOnClose;
  int FReadFd = -1;
  std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace lumaren::platform
