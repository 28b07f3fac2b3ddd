#include "e2e/TController.h"

#include <QNetworkDatagram>

#include <pugixml.hpp>

#include "support/qt/TEventWait.h"

namespace lumaren::test {

namespace {

std::optional<std::string> Attribute(const pugi::xml_node& element, const char* name) {
  const pugi::xml_attribute attribute = element.attribute(name);
  if (!attribute) return std::nullopt;
  return std::string(attribute.value());
}

}  // namespace

quint16 FreeUdpPort() {
  QUdpSocket probe;
  if (!probe.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress)) return 0;
  return probe.localPort();
}

TAnnouncement ReadAnnouncement(const std::string& data) {
  TAnnouncement read;
  read.Data = data;
  pugi::xml_document doc;
  read.WellFormed = static_cast<bool>(doc.load_buffer(data.data(), data.size()));
  if (!read.WellFormed) return read;
  const pugi::xml_node root = doc.document_element();
  read.RootName = root.name();
  const pugi::xml_node message = root.child("Message");
  read.MessageType = Attribute(message, "Type");
  read.Refresh = Attribute(message, "Refresh");
  const pugi::xml_node device = root.child("Device");
  read.DeviceType = Attribute(device, "Type");
  read.DeviceName = Attribute(device, "Name");
  read.DeviceVersion = Attribute(device, "Version");
  const pugi::xml_node node = root.child("Node");
  read.NodeName = Attribute(node, "Name");
  read.NodeGroup = Attribute(node, "Group");
  return read;
}

TController::TController(quint16 discoveryPort) {
  FBound = FSocket.bind(QHostAddress::AnyIPv4, discoveryPort,
                        QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
  if (FBound) FDiscoveryPort = FSocket.localPort();
  QObject::connect(&FSocket, &QUdpSocket::readyRead, [this] { ReadPending(); });
}

void TController::ReadPending() {
  while (FSocket.hasPendingDatagrams()) {
    const QNetworkDatagram datagram = FSocket.receiveDatagram(65536);
    TAnnouncement read = ReadAnnouncement(datagram.data().toStdString());
    read.Sender = datagram.senderAddress();
    read.SenderPort = static_cast<quint16>(datagram.senderPort());
    FAnnouncements.push_back(std::move(read));
  }
}

bool TController::WaitForAnnouncements(std::size_t count, std::chrono::milliseconds timeout) {
  return ProcessEventsUntil([&] { return FAnnouncements.size() >= count; }, timeout);
}

std::optional<std::size_t> TController::WaitForAnnouncement(std::size_t from,
                                                            const std::function<bool(const TAnnouncement&)>& match,
                                                            std::chrono::milliseconds timeout) {
  std::optional<std::size_t> found;
  ProcessEventsUntil(
      [&] {
        for (; from < FAnnouncements.size(); ++from) {
          if (match(FAnnouncements[from])) {
            found = from;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

void TController::CollectFor(std::chrono::milliseconds period) {
  ProcessEventsUntil([] { return false; }, period);
}

bool TController::SendToNode(const std::string& data) {
  if (FAnnouncements.empty()) return false;
  return SendTo(FAnnouncements.front().Sender, FAnnouncements.front().SenderPort, data);
}

bool TController::SendTo(const QHostAddress& address, quint16 port, const std::string& data) {
  const qint64 sent = FSocket.writeDatagram(data.data(), static_cast<qint64>(data.size()), address, port);
  return sent == static_cast<qint64>(data.size());
}

}  // namespace lumaren::test
