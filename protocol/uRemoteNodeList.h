#pragma once
// The controller's side of the protocol: the nodes seen on the network, built
// from their announcements, marked offline when their announcements stop, and
// the commands a controller sends them. The display program makes the list
// too but leaves it idle: its server is never bound and nothing reaches it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ThreadTimer.h"
#include "platform/UDPServer.h"
#include "protocol/uDeviceNode.h"

namespace lumaren {

class TDisplayLineList;

// When something happened, on the wall clock (a controller shows it).
using TDateTime = std::chrono::system_clock::time_point;
// Where the list and its nodes read the time; tests hand in a clock they move.
using TNowFunction = std::function<TDateTime()>;

// The system clock.
TDateTime SystemNow();

// The expiry tick's interval: a node goes offline at most this much after
// its timeout has passed.
inline constexpr int CON_NodeExpiryInterval = 100;
// The range SetNodeTimeout keeps the timeout in, in milliseconds.
inline constexpr int CON_NodeTimeoutMin = 1000;
inline constexpr int CON_NodeTimeoutMax = 60000;
// What the error event reports for any datagram the list could not take.
inline constexpr const char* CON_XMLReadError = "XML message read error";

// A node as a controller knows it. Its identity is the pair IPAddress and
// NodePort: the source address and port of its announcements.
class TRemoteDeviceNode : public TDeviceNode {
 public:
  // Online, last seen at now.
  explicit TRemoteDeviceNode(TDateTime now = SystemNow());

  TDateTime LastSeen;  // when its last announcement arrived
  bool Online = true;  // it announced itself within the node timeout

  // The commands. Each sends one message to IPAddress:NodePort through the
  // shared UDPServer and changes no field of the node (a new name shows up
  // in the list when the node announces it). Nothing is caught: a port
  // outside 0..65535 raises std::range_error, a socket failure
  // platform::EUDPServerError, and a text XML cannot carry EXMLError.
  void Acknowledge();
  void Shutdown();
  // A name too long for one datagram is shortened to the longest part that fits.
  void SetName(const std::string& Value);
  void SetDisplayState(TWindowState Value);
  // Content too large for one datagram raises EMessageTooLong, unsent.
  void SendDisplayData(const TDisplayLineList& Content);

  // Sends a message's text as UTF-8 bytes through UDPServer (not the list's
  // own server) to IPAddress:NodePort. std::logic_error when the protocol
  // module is not started.
  void Send(const std::string& text);
};

// An owning list of remote nodes, with its own server on which announcements
// arrive and a timer that marks silent nodes offline.
//
// The read event and the expiry tick run on the main thread, one at a time.
// Event handlers are called while the list is being walked: they may read
// Items(ANodeIndex) but must not add or remove nodes.
class TRemoteDeviceNodeList {
 public:
  using TOnRemoteNodeEvent = std::function<void(std::int32_t ANodeIndex, TNodeEvent ANodeEvent)>;
  using TOnRemoteNodeError = std::function<void(const std::string& AMessage)>;

  // Takes the list's own server (stopped, no bindings) and its expiry timer,
  // which starts ticking at once, every CON_NodeExpiryInterval ms.
  TRemoteDeviceNodeList(std::unique_ptr<platform::TUDPServer> server, std::unique_ptr<platform::TThreadTimer> timer,
                        TNowFunction now = SystemNow);
  // Stops the timer, frees the server, then the nodes.
  ~TRemoteDeviceNodeList();
  TRemoteDeviceNodeList(const TRemoteDeviceNodeList&) = delete;
  TRemoteDeviceNodeList& operator=(const TRemoteDeviceNodeList&) = delete;

  // A node is new, back online, changed or gone offline. Never neInvalid.
  TOnRemoteNodeEvent OnRemoteNodeEvent;
  // A datagram on the list's server could not be taken as a message.
  TOnRemoteNodeError OnRemoteNodeError;

  int Count() const { return static_cast<int>(FItems.size()); }
  // std::out_of_range outside 0..Count()-1. The node's IPAddress and
  // NodePort are its key in the list and are not to be changed.
  TRemoteDeviceNode& Items(int Index);
  const TRemoteDeviceNode& Items(int Index) const;

  // The index of the node with that address and port, -1 when none.
  int NodeIndex(const std::string& AIPAddress, int Port) const;
  bool ValidIndex(int Idx) const { return Idx >= 0 && Idx < Count(); }
  // Nodes whose Online is true.
  int ActiveNodeCount() const;
  // Deletes every offline node; the others keep their order. No event.
  void RemoveOfflineNodes();
  // Shutdown to every node in index order, online or not. The first failure
  // ends the walk and reaches the caller.
  void ShutdownAll();

  // Stops the expiry timer and the list's server and drops its bindings;
  // then, unless AIPAddress is empty or Active is false, listens on
  // AIPAddress ("0.0.0.0": every local address) at APort and starts the
  // timer again. A failed bind leaves server and timer stopped and raises
  // nothing; Listening() and BindError() tell the caller.
  void UpdateUDPServer(const std::string& AIPAddress, int APort, bool Active);
  bool Listening() const;
  // Why the last UpdateUDPServer could not listen; empty when it could.
  const std::string& BindError() const { return FBindError; }
  // Lets other programs listen on the same port beside the list (several
  // controllers and a display on one machine). Applies at the next
  // UpdateUDPServer.
  void SetReuseAddress(bool Value);
  // The port the list's server listens on, 0 when stopped.
  int ListeningPort() const;

  // Kept within CON_NodeTimeoutMin..CON_NodeTimeoutMax.
  void SetNodeTimeout(int Value);
  int NodeTimeout() const { return FNodeTimeout; }

  // The read event of the list's server: one announcement, its bytes and
  // sender. Raises nothing; every failure goes to OnRemoteNodeError.
  void ReadAnnouncement(const platform::TUDPDatagram& datagram);
  // The expiry timer's tick: online nodes silent for longer than the node
  // timeout go offline, each with one neOffline.
  void OnExpiryTimer();

 private:
  struct TNodeKey {
    std::string IPAddress;
    int Port = 0;
    bool operator==(const TNodeKey& other) const { return Port == other.Port && IPAddress == other.IPAddress; }
  };
  struct TNodeKeyHash {
    std::size_t operator()(const TNodeKey& key) const;
  };

  void HandleAnnouncement(const platform::TUDPDatagram& datagram);
  void RebuildIndex();

  std::unique_ptr<platform::TThreadTimer> FNodeExpiryTimer;
  int FNodeTimeout = CON_NodeTimeout;
  std::unique_ptr<platform::TUDPServer> FUDPServer;
  TNowFunction FNow;
  std::string FBindError;
  std::vector<std::unique_ptr<TRemoteDeviceNode>> FItems;
  // Address and port to position: an announcement finds its node without a
  // walk over the list, however many nodes there are.
  std::unordered_map<TNodeKey, int, TNodeKeyHash> FIndex;
};

// The controller's list. Made by DeviceNodeModuleStart before UDPServer and
// freed by DeviceNodeModuleEnd before it; null outside.
extern std::unique_ptr<TRemoteDeviceNodeList> RemoteNodeList;

}  // namespace lumaren
