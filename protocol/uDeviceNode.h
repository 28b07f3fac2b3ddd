#pragma once
// The protocol's vocabulary (enumerations, constants and their conversions),
// the node records, and the shared UDP server on which the display listens
// and from which it announces itself.

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "platform/ThreadTimer.h"
#include "platform/UDPServer.h"

namespace lumaren {

enum class TDeviceType : std::uint8_t { dtUndefined = 0, dtAny = 1, dtDisplay = 2 };

enum class TMessageType : std::uint8_t {
  mtUndefined = 0,
  mtAnnounce = 1,
  mtAcknowledge = 2,
  mtShutdown = 3,
  mtParamsSet = 4,
  mtParamsInfo = 5,
  mtDisplayData = 6,
};

enum class TNodeCapability : std::uint8_t { ncWindowState = 0, ncWindowSize = 1 };

// A set of capabilities, one bit per TNodeCapability ordinal.
class TNodeCapabilities {
 public:
  constexpr TNodeCapabilities() = default;
  constexpr TNodeCapabilities(std::initializer_list<TNodeCapability> caps) {
    for (auto c : caps) FBits |= Bit(c);
  }
  constexpr bool Contains(TNodeCapability c) const { return (FBits & Bit(c)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TNodeCapabilities& o) const { return FBits == o.FBits; }
  constexpr bool operator!=(const TNodeCapabilities& o) const { return FBits != o.FBits; }

 private:
  static constexpr std::uint8_t Bit(TNodeCapability c) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(c));
  }
  std::uint8_t FBits = 0;
};

enum class TNodeCountType : std::uint8_t { nctAll = 0, nctOnline = 1, nctOffline = 2 };

enum class TNodeEvent : std::uint8_t { neInvalid = 0, neNew = 1, neOnline = 2, neOffline = 3, neUpdate = 4 };

// The window state carried by the "Window" element's "State" attribute.
enum class TWindowState : std::uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

inline constexpr const char* XML_TOP_NODE = "VELOMARK";
inline constexpr int CON_UDPPortDefault = 1965;
inline constexpr int CON_NodeTimeout = 2000;              // ms without an announcement
inline constexpr int CON_HeartbeatIntervalDefault = 1000;  // ms between announcements

// Out-of-range values (negative or too large) give the enumeration's first value.
TMessageType IntToMessageType(std::int32_t value);
TDeviceType IntToDeviceType(std::int32_t value);
TWindowState IntToWindowState(std::int32_t value);

// "Undefined", "N/A" or "Display": for log lines and hints, never sent.
std::string DeviceTypeToStr(TDeviceType type);

// ---- Node records -------------------------------------------------------

// What a node is, which application runs it, its name and group, and where
// it can be reached. A new node has every field zero, empty or false.
class TDeviceNode {
 public:
  // The kind of node; written only through SetDeviceType, which keeps
  // Capabilities in step with it.
  TDeviceType DeviceType() const { return FDeviceType; }
  std::string AppName;
  std::string AppVersion;
  TNodeCapabilities Capabilities;  // derived from DeviceType
  std::int32_t Group = 0;
  std::string IPAddress;
  std::string NodeName;
  std::int32_t NodePort = 0;
  // The announced parameters changed since the last announcement; consumed
  // by the next one.
  bool Refresh = false;

  // A display may have its window state and size changed by a controller;
  // every other type nothing.
  void SetDeviceType(TDeviceType Value);
  // "Undefined", "N/A" or "Display".
  std::string DeviceTypeStr() const;
  // Six lines for a tooltip, joined by CR LF: the name, "App: ",
  // "Version: ", "Device: ", "IP: " and "Port: ".
  std::string InfoHintStr() const;

 private:
  TDeviceType FDeviceType = TDeviceType::dtUndefined;
};

// The display's own node.
class TLocalDeviceNode : public TDeviceNode {
 public:
  // Broadcasts one announcement through UDPServer to 255.255.255.255 at
  // APort; it leaves from the listening socket, so its source port tells
  // controllers where to send. A failed send (a port outside 0..65535
  // included) restarts UDPServer without bindings on a port the system
  // chooses and is not reported; an error while restarting reaches the
  // caller. std::logic_error when the module is not started.
  void Announce(std::int32_t APort);

  // The announcement's text, as Announce sends it. Clears Refresh: a set
  // flag goes out in exactly one announcement, whether or not its send
  // succeeds. Texts XML cannot carry are replaced in the sent copy, and a
  // name too long for one datagram is shortened in it.
  std::string BuildAnnouncement();
};

// ---- Module -------------------------------------------------------------

// The server the display listens on and announces from. Valid from
// DeviceNodeModuleStart to DeviceNodeModuleEnd; made stopped, with no
// bindings, default port 0 and no read event.
extern std::unique_ptr<platform::TUDPServer> UDPServer;

// Makes the module's globals: the remote node list RemoteNodeList (its own
// server from udpServerFactory, its expiry timer from timerFactory, the time
// from now, the system clock when empty), then UDPServer from
// udpServerFactory. Nothing is left made when a step fails.
void DeviceNodeModuleStart(platform::TUDPServerFactory udpServerFactory,
                           platform::TThreadTimerFactory timerFactory,
                           std::function<std::chrono::system_clock::time_point()> now = {});
// Frees them in the order they were made: the remote node list, then UDPServer.
void DeviceNodeModuleEnd();

}  // namespace lumaren

// The controller's side of the protocol belongs to this module too.
#include "protocol/uRemoteNodeList.h"
