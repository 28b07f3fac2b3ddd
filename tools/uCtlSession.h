#pragma once
// One run of lumaren-ctl: listen for announcements on the discovery port
// through the remote node list, then print what was seen or send the
// command to the chosen nodes. Event driven and free of Qt: the program's
// main block runs the event loop and ends it when the session calls quit,
// and tests drive the session with fake servers and a manual clock.

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "platform/ThreadTimer.h"
#include "protocol/uDeviceNode.h"
#include "tools/uCtlOptions.h"

namespace lumaren::ctl {

class TCtlSession {
 public:
  // Needs the protocol module started: it listens through RemoteNodeList
  // and sends through UDPServer. timerFactory makes the listening deadline;
  // quit is called once, when the session has finished.
  TCtlSession(TCtlOptions options, std::ostream& out, std::ostream& err, platform::TThreadTimerFactory timerFactory,
              std::function<void()> quit, TNowFunction now = SystemNow);
  ~TCtlSession();
  TCtlSession(const TCtlSession&) = delete;
  TCtlSession& operator=(const TCtlSession&) = delete;

  // Checks the content, sends to direct targets at once and starts
  // listening when nodes must be found. May finish at once.
  void Start();
  // An interruption: a watch ends normally, a one-off discovery prints what
  // it has, a command still looking for its nodes gives up unsent.
  void Stop();

  bool Finished() const { return FFinished; }
  int ExitCode() const { return FExitCode; }

 private:
  bool BuildMessage();
  bool OpenSendSocket();
  bool Listen();
  void OnNodeEvent(int index, TNodeEvent event);
  void OnDeadline();
  void EndDiscovery();
  bool AllNamesSeen() const;
  void PrintDiscovered();
  void RunOnFoundNodes();
  void Execute(const TRemoteDeviceNode& node, bool named);
  void NotFound(const std::string& what, const std::string& jsonField);
  void Line(std::ostream& stream, const std::string& text);
  void Error(const std::string& text);
  void Finish(int exitCode);

  TCtlOptions FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  platform::TThreadTimerFactory FTimerFactory;
  std::function<void()> FQuit;
  TNowFunction FNow;
  std::unique_ptr<platform::TThreadTimer> FDeadline;
  std::string FMessage;  // the command's datagram, built once for every node
  int FFailures = 0;
  bool FFinished = false;
  int FExitCode = CON_ExitOK;
};

}  // namespace lumaren::ctl
