#pragma once
// A controller as the tests need one: a UDP socket on a discovery port that
// collects the node's announcements, and sends datagrams to the node.
// Everything it receives arrives while the Qt event loop runs, so it waits
// through ProcessEventsUntil, never by sleeping.

#include <QHostAddress>
#include <QUdpSocket>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumaren::test {

// A UDP port that was free a moment ago: bound on port 0 and let go.
quint16 FreeUdpPort();

// One announcement as it arrived: the raw bytes and what a controller reads
// from them. Fields of elements or attributes that are missing stay empty.
struct TAnnouncement {
  std::string Data;
  QHostAddress Sender;
  quint16 SenderPort = 0;
  bool WellFormed = false;
  std::string RootName;
  std::optional<std::string> MessageType;
  std::optional<std::string> Refresh;  // the "Refresh" attribute, when present
  std::optional<std::string> DeviceType, DeviceName, DeviceVersion;
  std::optional<std::string> NodeName, NodeGroup;
};

TAnnouncement ReadAnnouncement(const std::string& data);

class TController {
 public:
  // Binds discoveryPort on every address, sharing it, as controllers beside
  // each other do; 0 takes a port the system chooses, which then stays this
  // controller's for its lifetime.
  explicit TController(quint16 discoveryPort = 0);

  bool Bound() const { return FBound; }
  quint16 DiscoveryPort() const { return FDiscoveryPort; }

  // Everything received on the discovery port so far, in order of arrival.
  const std::vector<TAnnouncement>& Announcements() const { return FAnnouncements; }
  // Waits until at least count announcements have arrived.
  bool WaitForAnnouncements(std::size_t count, std::chrono::milliseconds timeout);
  // Waits for the first announcement from index `from` on for which match
  // is true and returns its index.
  std::optional<std::size_t> WaitForAnnouncement(std::size_t from,
                                                 const std::function<bool(const TAnnouncement&)>& match,
                                                 std::chrono::milliseconds timeout);
  // Lets the event loop run for the whole period, collecting what arrives;
  // for checks that something does not happen.
  void CollectFor(std::chrono::milliseconds period);

  // Sends bytes to the node at the address and port its first announcement
  // came from. False when none has arrived or the send failed.
  bool SendToNode(const std::string& data);
  bool SendTo(const QHostAddress& address, quint16 port, const std::string& data);

 private:
  void ReadPending();

  QUdpSocket FSocket;
  bool FBound = false;
  quint16 FDiscoveryPort = 0;
  std::vector<TAnnouncement> FAnnouncements;
};

}  // namespace lumaren::test
