#include "tools/uCtlSession.h"

#include <algorithm>
#include <set>

#include "protocol/uNodeCommands.h"
#include "tools/uCtlOutput.h"

namespace lumaren::ctl {

namespace {

// What the result line says was sent.
std::string CommandObject(TCtlCommand command) {
  switch (command) {
    case TCtlCommand::Send: return "display data";
    case TCtlCommand::Ack: return "acknowledge";
    case TCtlCommand::Shutdown: return "shutdown";
    case TCtlCommand::SetName: return "new name";
    case TCtlCommand::SetState: return "window state";
    default: return "";
  }
}

}  // namespace

TCtlSession::TCtlSession(TCtlOptions options, std::ostream& out, std::ostream& err,
                         platform::TThreadTimerFactory timerFactory, std::function<void()> quit, TNowFunction now)
    : FOptions(std::move(options)),
      FOut(out),
      FErr(err),
      FTimerFactory(std::move(timerFactory)),
      FQuit(std::move(quit)),
      FNow(now ? std::move(now) : TNowFunction(SystemNow)) {}

TCtlSession::~TCtlSession() {
  if (RemoteNodeList) {
    RemoteNodeList->OnRemoteNodeEvent = nullptr;
    RemoteNodeList->OnRemoteNodeError = nullptr;
  }
}

void TCtlSession::Line(std::ostream& stream, const std::string& text) {
  // Flushed line by line: a script reading a watch sees each event at once.
  stream << text << '\n' << std::flush;
}

void TCtlSession::Error(const std::string& text) { Line(FErr, "lumaren-ctl: " + text); }

void TCtlSession::Start() {
  if (!UDPServer || !RemoteNodeList) throw std::logic_error("lumaren-ctl session without the protocol module");
  if (FOptions.Command != TCtlCommand::Discover) {
    if (!BuildMessage() || !OpenSendSocket()) return;
    for (const auto& target : FOptions.Targets) {
      if (!target.Direct()) continue;
      TRemoteDeviceNode node(FNow());
      node.IPAddress = target.Address;
      node.NodePort = target.Port;
      Execute(node, false);
    }
    if (!FOptions.NeedsDiscovery()) {
      Finish(FFailures > 0 ? CON_ExitFailed : CON_ExitOK);
      return;
    }
  }
  Listen();
}

bool TCtlSession::BuildMessage() {
  try {
    switch (FOptions.Command) {
      case TCtlCommand::Send: {
        TDisplayLineList content;
        FOptions.FillContent(content);
        FMessage = DisplayDataMessage(content);
        break;
      }
      case TCtlCommand::Ack: FMessage = AcknowledgeMessage(); break;
      case TCtlCommand::Shutdown: FMessage = ShutdownMessage(); break;
      case TCtlCommand::SetName: FMessage = SetNameMessage(FOptions.NewName); break;
      case TCtlCommand::SetState: FMessage = SetDisplayStateMessage(FOptions.State); break;
      default: break;
    }
    return true;
  } catch (const EMessageTooLong& e) {
    Error("the text is too long: " + std::string(e.what()));
  } catch (const EXMLError& e) {
    Error("the text cannot be sent: " + std::string(e.what()));
  } catch (const std::exception& e) {
    Error(std::string("the message cannot be built: ") + e.what());
  }
  Finish(CON_ExitUsage);
  return false;
}

bool TCtlSession::OpenSendSocket() {
  // Commands leave from a port of their own, so they never compete with the
  // discovery port that other controllers may share.
  try {
    UDPServer->AddBinding(FOptions.Bind, 0);
    UDPServer->SetActive(true);
    return true;
  } catch (const std::exception& e) {
    Error(std::string("cannot open a socket to send from: ") + e.what());
  }
  Finish(CON_ExitFailed);
  return false;
}

bool TCtlSession::Listen() {
  RemoteNodeList->OnRemoteNodeEvent = [this](int index, TNodeEvent event) { OnNodeEvent(index, event); };
  RemoteNodeList->OnRemoteNodeError = nullptr;  // foreign datagrams on a shared port are no news
  // Shared, so that other controllers and a display on this machine can
  // listen on the discovery port beside us. Always on every address, --bind
  // or not: a socket bound to one address never receives datagrams sent to
  // 255.255.255.255, which is where the nodes announce.
  RemoteNodeList->SetReuseAddress(true);
  const std::string address = "0.0.0.0";
  RemoteNodeList->UpdateUDPServer(address, FOptions.Port, true);
  if (!RemoteNodeList->Listening()) {
    Error("cannot listen on " + Endpoint(address, FOptions.Port) + ": " + RemoteNodeList->BindError());
    Finish(CON_ExitFailed);
    return false;
  }
  if (const int ms = FOptions.ListenMs(); ms > 0) {
    FDeadline = FTimerFactory();
    FDeadline->SetOnTimer([this] { OnDeadline(); });
    FDeadline->SetInterval(ms);
    FDeadline->SetEnabled(true);
  }
  return true;
}

void TCtlSession::OnNodeEvent(int index, TNodeEvent event) {
  if (FFinished) return;
  if (FOptions.Command == TCtlCommand::Discover) {
    if (!FOptions.Watch) return;
    const TRemoteDeviceNode& node = RemoteNodeList->Items(index);
    const std::string name = EventName(event);
    Line(FOut, FOptions.Json ? NodeJson(node, name.c_str()) : EventLine(node, event, FNow()));
    return;
  }
  // Names alone can be complete before the deadline; a group or --all never is.
  if (event != TNodeEvent::neOffline && !FOptions.All && FOptions.Groups.empty() && AllNamesSeen()) {
    RunOnFoundNodes();
  }
}

bool TCtlSession::AllNamesSeen() const {
  std::set<std::string> seen;
  for (int i = 0; i < RemoteNodeList->Count(); ++i) {
    const TRemoteDeviceNode& node = RemoteNodeList->Items(i);
    if (node.Online) seen.insert(node.NodeName);
  }
  return std::all_of(FOptions.Targets.begin(), FOptions.Targets.end(),
                     [&](const TCtlTarget& t) { return t.Direct() || seen.count(t.Name) > 0; });
}

void TCtlSession::OnDeadline() {
  if (FDeadline) FDeadline->SetEnabled(false);
  if (FFinished) return;
  if (FOptions.Command == TCtlCommand::Discover) {
    EndDiscovery();
    return;
  }
  RunOnFoundNodes();
}

// Watching ends quietly; a one-off discovery prints what it found.
void TCtlSession::EndDiscovery() {
  if (FOptions.Watch) {
    Finish(CON_ExitOK);
  } else {
    PrintDiscovered();
  }
}

void TCtlSession::Stop() {
  if (FFinished) return;
  if (FOptions.Command == TCtlCommand::Discover) {
    EndDiscovery();
    return;
  }
  Error("interrupted before the nodes were found; nothing more was sent");
  Finish(CON_ExitFailed);
}

void TCtlSession::PrintDiscovered() {
  const TRemoteDeviceNodeList& list = *RemoteNodeList;
  if (list.Count() == 0) {
    Error("no node announced itself on port " + std::to_string(FOptions.Port) + " within " +
          std::to_string(FOptions.ListenMs()) + " ms");
    Finish(CON_ExitFailed);
    return;
  }
  if (FOptions.Json) {
    for (int i = 0; i < list.Count(); ++i) Line(FOut, NodeJson(list.Items(i)));
  } else {
    FOut << NodeTable(list) << std::flush;
  }
  Finish(CON_ExitOK);
}

void TCtlSession::RunOnFoundNodes() {
  const TRemoteDeviceNodeList& list = *RemoteNodeList;
  std::set<std::string> names;
  for (const auto& target : FOptions.Targets) {
    if (!target.Direct()) names.insert(target.Name);
  }
  const std::set<int> groups(FOptions.Groups.begin(), FOptions.Groups.end());

  std::vector<int> chosen;
  std::set<std::string> namesFound;
  std::set<int> groupsFound;
  for (int i = 0; i < list.Count(); ++i) {
    const TRemoteDeviceNode& node = list.Items(i);
    if (!node.Online) continue;
    const bool byName = names.count(node.NodeName) > 0;
    const bool byGroup = groups.count(node.Group) > 0;
    if (byName) namesFound.insert(node.NodeName);
    if (byGroup) groupsFound.insert(node.Group);
    if (FOptions.All || byName || byGroup) chosen.push_back(i);  // once, whatever chose it
  }

  const std::string where = " on port " + std::to_string(FOptions.Port);
  for (const auto& name : names) {
    if (namesFound.count(name) == 0) NotFound("no node named \"" + PrintableText(name) + "\"" + where, "\"name\":" + JsonString(name));
  }
  for (const int group : groups) {
    if (groupsFound.count(group) == 0) NotFound("no node in group " + std::to_string(group) + where, "\"group\":" + std::to_string(group));
  }
  if (FOptions.All && chosen.empty()) NotFound("no node announced itself" + where, "\"all\":true");

  for (const int index : chosen) Execute(list.Items(index), true);
  Finish(FFailures > 0 ? CON_ExitFailed : CON_ExitOK);
}

void TCtlSession::NotFound(const std::string& what, const std::string& jsonField) {
  ++FFailures;
  Error(what + " within " + std::to_string(FOptions.ListenMs()) + " ms");
  if (FOptions.Json) {
    Line(FOut, "{\"command\":" + JsonString(CommandName(FOptions.Command)) + ",\"result\":\"not-found\"," +
                   jsonField + "}");
  }
}

void TCtlSession::Execute(const TRemoteDeviceNode& node, bool named) {
  const std::string endpoint = Endpoint(node.IPAddress, node.NodePort);
  const std::string who = named ? PrintableText(node.NodeName) + " at " + endpoint : endpoint;
  const std::string jsonNode = std::string("\"name\":") + (named ? JsonString(node.NodeName) : "null") +
                               ",\"address\":" + JsonString(node.IPAddress) +
                               ",\"port\":" + std::to_string(node.NodePort);
  const std::string jsonHead = "{\"command\":" + JsonString(CommandName(FOptions.Command));
  try {
    // A copy: Send is not const, and the list's node stays as it was.
    TRemoteDeviceNode target = node;
    target.Send(FMessage);
  } catch (const std::exception& e) {
    ++FFailures;
    Error("cannot send " + CommandObject(FOptions.Command) + " to " + who + ": " + e.what());
    if (FOptions.Json) {
      Line(FOut, jsonHead + ",\"result\":\"failed\"," + jsonNode + ",\"error\":" + JsonString(e.what()) + "}");
    }
    return;
  }
  Line(FOut, FOptions.Json ? jsonHead + ",\"result\":\"sent\"," + jsonNode + "}"
                           : "Sent " + CommandObject(FOptions.Command) + " to " + who);
}

void TCtlSession::Finish(int exitCode) {
  if (FFinished) return;
  FFinished = true;
  FExitCode = exitCode;
  if (FDeadline) FDeadline->SetEnabled(false);
  // Stops the list's server and timer; safe from inside its own read event.
  if (RemoteNodeList) RemoteNodeList->UpdateUDPServer("", 0, false);
  if (FQuit) FQuit();
}

}  // namespace lumaren::ctl
