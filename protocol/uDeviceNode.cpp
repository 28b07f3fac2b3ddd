#include "protocol/uDeviceNode.h"

#include <array>
#include <stdexcept>

#include "protocol/uDatagramText.h"
#include "protocol/uMessage.h"

namespace lumaren {

namespace {

const std::array<const char*, 3> dtDesc = {"Undefined", "N/A", "Display"};

template <typename TEnum>
TEnum InRangeOrFirst(std::int32_t value, std::int32_t last) {
  return (value >= 0 && value <= last) ? static_cast<TEnum>(value) : static_cast<TEnum>(0);
}

}  // namespace

TMessageType IntToMessageType(std::int32_t value) {
  return InRangeOrFirst<TMessageType>(value, static_cast<std::int32_t>(TMessageType::mtDisplayData));
}

TDeviceType IntToDeviceType(std::int32_t value) {
  return InRangeOrFirst<TDeviceType>(value, static_cast<std::int32_t>(TDeviceType::dtDisplay));
}

TWindowState IntToWindowState(std::int32_t value) {
  return InRangeOrFirst<TWindowState>(value, static_cast<std::int32_t>(TWindowState::wsMaximized));
}

std::string DeviceTypeToStr(TDeviceType type) { return dtDesc.at(static_cast<std::size_t>(type)); }

// ---- TDeviceNode --------------------------------------------------------

void TDeviceNode::SetDeviceType(TDeviceType Value) {
  FDeviceType = Value;
  Capabilities = Value == TDeviceType::dtDisplay
                     ? TNodeCapabilities{TNodeCapability::ncWindowState, TNodeCapability::ncWindowSize}
                     : TNodeCapabilities{};
}

std::string TDeviceNode::DeviceTypeStr() const { return DeviceTypeToStr(FDeviceType); }

std::string TDeviceNode::InfoHintStr() const {
  return NodeName + "\r\n" + "App: " + AppName + "\r\n" + "Version: " + AppVersion + "\r\n" +
         "Device: " + DeviceTypeStr() + "\r\n" + "IP: " + IPAddress + "\r\n" + "Port: " + std::to_string(NodePort);
}

// ---- TLocalDeviceNode -----------------------------------------------------

std::string TLocalDeviceNode::BuildAnnouncement() {
  const bool refresh = Refresh;
  Refresh = false;
  // Our own strict reader refuses characters XML cannot carry, and so would
  // every other controller's; a name holding one must not hide the node.
  const std::string appName = XMLCarriableText(AppName);
  const std::string appVersion = XMLCarriableText(AppVersion);
  const auto build = [&](const std::string& nodeName) {
    pugi::xml_document doc;
    const TXMLNode root = NewMessage(doc, TMessageType::mtAnnounce);
    if (refresh) AddXMLAtt(FindXMLChild(root, CON_MessageElement), "Refresh", true);
    const TXMLNode device = AddXMLElement(root, "Device");
    AddXMLAtt(device, "Type", static_cast<std::int32_t>(DeviceType()));
    AddXMLAtt(device, "Name", appName);
    AddXMLAtt(device, "Version", appVersion);
    const TXMLNode node = AddXMLElement(root, "Node");
    AddXMLAtt(node, "Name", nodeName);
    AddXMLAtt(node, "Group", Group);
    return MessageText(doc);
  };
  // Receivers drop longer datagrams, which would make the node invisible.
  return FitDatagram(XMLCarriableText(NodeName), build);
}

void TLocalDeviceNode::Announce(std::int32_t APort) {
  if (!UDPServer) throw std::logic_error("announcement without the UDP server (DeviceNodeModuleStart not run)");
  const std::string text = BuildAnnouncement();
  try {
    UDPServer->Broadcast(text, APort);
  } catch (...) {
    // Whatever went wrong with the socket, a fresh one on a port the system
    // chooses lets the next heartbeat through. Not reported: the heartbeat
    // would repeat the entry every second.
    UDPServer->SetActive(false);
    UDPServer->ClearBindings();
    UDPServer->SetDefaultPort(0);
    UDPServer->SetActive(true);
  }
}

// ---- Module -----------------------------------------------------------------

std::unique_ptr<platform::TUDPServer> UDPServer;

void DeviceNodeModuleStart(platform::TUDPServerFactory udpServerFactory, platform::TThreadTimerFactory timerFactory,
                           std::function<std::chrono::system_clock::time_point()> now) {
  if (!udpServerFactory) throw std::invalid_argument("no UDP server factory");
  if (!timerFactory) throw std::invalid_argument("no thread timer factory");
  // The remote node list comes first and goes first in DeviceNodeModuleEnd.
  auto listServer = udpServerFactory();
  if (!listServer) throw std::runtime_error("the UDP server factory made no server");
  auto list = std::make_unique<TRemoteDeviceNodeList>(std::move(listServer), timerFactory(), std::move(now));
  auto server = udpServerFactory();
  if (!server) throw std::runtime_error("the UDP server factory made no server");
  RemoteNodeList = std::move(list);
  UDPServer = std::move(server);
}

void DeviceNodeModuleEnd() {
  RemoteNodeList.reset();
  UDPServer.reset();
}

}  // namespace lumaren
