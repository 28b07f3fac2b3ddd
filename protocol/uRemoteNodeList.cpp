#include "protocol/uRemoteNodeList.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/uMessage.h"
#include "protocol/uNodeCommands.h"

namespace lumaren {

TDateTime SystemNow() { return std::chrono::system_clock::now(); }

// ---- TRemoteDeviceNode ------------------------------------------------------

TRemoteDeviceNode::TRemoteDeviceNode(TDateTime now) : LastSeen(now) {}

void TRemoteDeviceNode::Send(const std::string& text) {
  if (!UDPServer) throw std::logic_error("command without the UDP server (DeviceNodeModuleStart not run)");
  UDPServer->Send(text, IPAddress, NodePort);
}

void TRemoteDeviceNode::Acknowledge() { Send(AcknowledgeMessage()); }

void TRemoteDeviceNode::Shutdown() { Send(ShutdownMessage()); }

void TRemoteDeviceNode::SetName(const std::string& Value) { Send(SetNameMessage(Value)); }

void TRemoteDeviceNode::SetDisplayState(TWindowState Value) { Send(SetDisplayStateMessage(Value)); }

void TRemoteDeviceNode::SendDisplayData(const TDisplayLineList& Content) { Send(DisplayDataMessage(Content)); }

// ---- TRemoteDeviceNodeList --------------------------------------------------

std::size_t TRemoteDeviceNodeList::TNodeKeyHash::operator()(const TNodeKey& key) const {
  const std::size_t h = std::hash<std::string>()(key.IPAddress);
  return h ^ (std::hash<int>()(key.Port) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

TRemoteDeviceNodeList::TRemoteDeviceNodeList(std::unique_ptr<platform::TUDPServer> server,
                                             std::unique_ptr<platform::TThreadTimer> timer, TNowFunction now)
    : FNodeExpiryTimer(std::move(timer)), FUDPServer(std::move(server)), FNow(std::move(now)) {
  if (!FUDPServer) throw std::invalid_argument("remote node list without a UDP server");
  if (!FNodeExpiryTimer) throw std::invalid_argument("remote node list without an expiry timer");
  if (!FNow) FNow = SystemNow;
  FUDPServer->SetOnRead([this](const platform::TUDPDatagram& datagram) { ReadAnnouncement(datagram); });
  FNodeExpiryTimer->SetInterval(CON_NodeExpiryInterval);
  FNodeExpiryTimer->SetOnTimer([this] { OnExpiryTimer(); });
  FNodeExpiryTimer->SetEnabled(true);
}

TRemoteDeviceNodeList::~TRemoteDeviceNodeList() {
  FNodeExpiryTimer->SetEnabled(false);
  FNodeExpiryTimer.reset();
  FUDPServer.reset();
}

TRemoteDeviceNode& TRemoteDeviceNodeList::Items(int Index) {
  if (!ValidIndex(Index)) {
    throw std::out_of_range("remote node index " + std::to_string(Index) + " outside 0.." +
                            std::to_string(Count() - 1));
  }
  return *FItems[static_cast<std::size_t>(Index)];
}

const TRemoteDeviceNode& TRemoteDeviceNodeList::Items(int Index) const {
  return const_cast<TRemoteDeviceNodeList*>(this)->Items(Index);
}

int TRemoteDeviceNodeList::NodeIndex(const std::string& AIPAddress, int Port) const {
  const auto found = FIndex.find(TNodeKey{AIPAddress, Port});
  return found == FIndex.end() ? -1 : found->second;
}

int TRemoteDeviceNodeList::ActiveNodeCount() const {
  return static_cast<int>(std::count_if(FItems.begin(), FItems.end(), [](const auto& node) { return node->Online; }));
}

void TRemoteDeviceNodeList::RemoveOfflineNodes() {
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(), [](const auto& node) { return !node->Online; }),
               FItems.end());
  RebuildIndex();
}

void TRemoteDeviceNodeList::RebuildIndex() {
  FIndex.clear();
  FIndex.reserve(FItems.size());
  for (int i = 0; i < Count(); ++i) {
    const TRemoteDeviceNode& node = *FItems[static_cast<std::size_t>(i)];
    FIndex.emplace(TNodeKey{node.IPAddress, node.NodePort}, i);  // the first of equal keys wins
  }
}

void TRemoteDeviceNodeList::ShutdownAll() {
  for (const auto& node : FItems) node->Shutdown();
}

void TRemoteDeviceNodeList::UpdateUDPServer(const std::string& AIPAddress, int APort, bool Active) {
  FNodeExpiryTimer->SetEnabled(false);
  FUDPServer->SetActive(false);
  FUDPServer->ClearBindings();
  FBindError.clear();
  if (AIPAddress.empty() || !Active) return;
  try {
    FUDPServer->AddBinding(AIPAddress, APort);
    FUDPServer->SetActive(true);
    FNodeExpiryTimer->SetEnabled(true);
  } catch (const std::exception& e) {
    // Left unbound and without a timer; the owner looks at Listening().
    FBindError = e.what();
    FUDPServer->SetActive(false);
    FUDPServer->ClearBindings();
  }
}

bool TRemoteDeviceNodeList::Listening() const { return FUDPServer->Active(); }

void TRemoteDeviceNodeList::SetReuseAddress(bool Value) { FUDPServer->SetReuseAddress(Value); }

int TRemoteDeviceNodeList::ListeningPort() const { return FUDPServer->Active() ? FUDPServer->CurrentPort() : 0; }

void TRemoteDeviceNodeList::SetNodeTimeout(int Value) {
  FNodeTimeout = std::clamp(Value, CON_NodeTimeoutMin, CON_NodeTimeoutMax);
}

void TRemoteDeviceNodeList::ReadAnnouncement(const platform::TUDPDatagram& datagram) {
  try {
    HandleAnnouncement(datagram);
  } catch (...) {
    // A datagram is never the server's problem; the owner hears of it if it
    // asked to.
    if (OnRemoteNodeError) OnRemoteNodeError(CON_XMLReadError);
  }
}

void TRemoteDeviceNodeList::HandleAnnouncement(const platform::TUDPDatagram& datagram) {
  TReceivedMessage message;
  ReadMessage(datagram.Data, message);
  if (!message.HasMessage() || message.Type != TMessageType::mtAnnounce) return;
  const bool refresh = GetXMLAtt(message.Message, "Refresh", false);
  const TDateTime now = FNow();

  int index = NodeIndex(datagram.PeerIP, datagram.PeerPort);
  TNodeEvent event = TNodeEvent::neInvalid;
  if (index < 0) {
    auto node = std::make_unique<TRemoteDeviceNode>(now);
    node->IPAddress = datagram.PeerIP;
    node->NodePort = datagram.PeerPort;
    node->Refresh = refresh;
    FItems.push_back(std::move(node));
    index = Count() - 1;
    FIndex.emplace(TNodeKey{datagram.PeerIP, datagram.PeerPort}, index);
    event = TNodeEvent::neNew;
  } else {
    TRemoteDeviceNode& node = *FItems[static_cast<std::size_t>(index)];
    node.LastSeen = now;
    node.Refresh = refresh;
    if (!node.Online) {
      node.Online = true;
      event = TNodeEvent::neOnline;
    }
    // Changed parameters matter more than the return: the owner reads them all again.
    if (refresh) event = TNodeEvent::neUpdate;
  }

  TRemoteDeviceNode& node = *FItems[static_cast<std::size_t>(index)];
  if (const TXMLNode device = message.Payload("Device")) {
    node.SetDeviceType(IntToDeviceType(GetXMLAtt(device, "Type", std::int32_t{0})));
    node.AppName = GetXMLAtt(device, "Name", "N/A");
    node.AppVersion = GetXMLAtt(device, "Version", "N/A");
  }
  if (const TXMLNode nodeElement = message.Payload("Node")) {
    node.NodeName = GetXMLAtt(nodeElement, "Name", "N/A");
    node.Group = GetXMLAtt(nodeElement, "Group", std::int32_t{0});
  }
  if (event != TNodeEvent::neInvalid && OnRemoteNodeEvent) OnRemoteNodeEvent(index, event);
}

void TRemoteDeviceNodeList::OnExpiryTimer() {
  const TDateTime now = FNow();
  const int count = Count();
  // The count is taken once, as the walk's contract says; the bound check
  // keeps a handler that removed nodes against the rule from walking past
  // the end.
  for (int i = 0; i < count && i < Count(); ++i) {
    TRemoteDeviceNode& node = *FItems[static_cast<std::size_t>(i)];
    if (!node.Online) continue;
    // Either direction counts: a clock set back makes the node look silent too.
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(
        now > node.LastSeen ? now - node.LastSeen : node.LastSeen - now);
    if (silent.count() > FNodeTimeout) {
      node.Online = false;
      if (OnRemoteNodeEvent) OnRemoteNodeEvent(i, TNodeEvent::neOffline);
    }
  }
}

// ---- Module -------------------------------------------------------------------

std::unique_ptr<TRemoteDeviceNodeList> RemoteNodeList;

}  // namespace lumaren
