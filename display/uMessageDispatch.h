#pragma once
// The display node's reading of every datagram that reaches its UDP port:
// parse it, keep a copy, and apply Acknowledge, Shutdown, ParamsSet or
// DisplayData to the main window's state. Each applied message leaves one
// session entry in the log; any failure leaves the one error entry
// "XML message read error" and nothing else, and never escapes.
//
// The handler knows the main window only through TMessageHost, so it runs
// without a window system; besides the host it uses only Prefs and the log.

#include <memory>

#include "display/uDisplayLine.h"
#include "display/uLastMessageFile.h"
#include "platform/ThreadTimer.h"
#include "platform/UDPServer.h"
#include "protocol/uDeviceNode.h"

namespace lumaren {

inline constexpr const char* CON_MessageReadError = "XML message read error";

// What the handler needs of the main window. Every call comes on the main
// thread, from inside UDPRead.
class TMessageHost {
 public:
  virtual ~TMessageHost() = default;

  // The content drawn by UpdateDisplay.
  virtual TDisplayLineList& DisplayLineList() = 0;
  // The node this display announces; ParamsSet changes its name and group.
  virtual TLocalDeviceNode& LocalNode() = 0;

  // The window's tmrExpiry: clears the content when it fires; the handler
  // sets its interval per content.
  virtual platform::TThreadTimer& ExpiryTimer() = 0;
  // The window's tmrFlash: toggles the flash phase; the window sets its
  // 500 ms, the handler only switches it on and off.
  virtual platform::TThreadTimer& FlashTimer() = 0;
  // The window's tmrClose: closes the window when it fires; the window sets
  // its 100 ms, the handler only enables it.
  virtual platform::TThreadTimer& CloseTimer() = 0;

  // Takes the current content for the window; it shows at the next paint,
  // within a display frame.
  virtual void UpdateDisplay() = 0;
  // Shows the window normal, minimised or maximised, at once.
  virtual void SetWindowState(TWindowState state) = 0;

  // The settings dialog: whether it is open, and refreshing its controls
  // from the preferences.
  virtual bool SettingsVisible() const = 0;
  virtual void ShowSettings() = 0;
};

class TMessageDispatcher {
 public:
  // host must outlive the dispatcher. store receives each parsed message;
  // the program passes a TLastMessageFile.
  TMessageDispatcher(TMessageHost& host, std::unique_ptr<TLastMessageStore> store);

  // The read event of the UDP server. Never raises. Sender address and port
  // play no part.
  void UDPRead(const platform::TUDPDatagram& datagram);

 private:
  TMessageHost& FHost;
  std::unique_ptr<TLastMessageStore> FStore;
};

}  // namespace lumaren
