#include "protocol/uNodeCommands.h"

#include "display/uDisplayLine.h"
#include "platform/UDPServer.h"
#include "protocol/uDatagramText.h"
#include "protocol/uMessage.h"

namespace lumaren {

namespace {

constexpr auto CON_DatagramLimit = static_cast<std::size_t>(platform::CON_UDPMaxDatagramSize);

std::string EmptyMessage(TMessageType type) {
  pugi::xml_document doc;
  NewMessage(doc, type);
  return MessageText(doc);
}

}  // namespace

EMessageTooLong::EMessageTooLong(std::size_t size, std::size_t limit)
    : std::length_error("the message takes " + std::to_string(size) + " bytes, more than the " +
                        std::to_string(limit) + " bytes of one datagram"),
      Size(size),
      Limit(limit) {}

std::string AcknowledgeMessage() { return EmptyMessage(TMessageType::mtAcknowledge); }

std::string ShutdownMessage() { return EmptyMessage(TMessageType::mtShutdown); }

std::string SetNameMessage(const std::string& name) {
  return FitDatagram(name, [](const std::string& fitted) {
    pugi::xml_document doc;
    const TXMLNode root = NewMessage(doc, TMessageType::mtParamsSet);
    AddXMLAtt(AddXMLElement(root, "Node"), "Name", fitted);
    return MessageText(doc);
  });
}

std::string SetDisplayStateMessage(TWindowState state) {
  pugi::xml_document doc;
  const TXMLNode root = NewMessage(doc, TMessageType::mtParamsSet);
  AddXMLAtt(AddXMLElement(root, "Window"), "State", static_cast<std::int32_t>(state));
  return MessageText(doc);
}

std::string DisplayDataMessage(const TDisplayLineList& content) {
  pugi::xml_document doc;
  const TXMLNode root = NewMessage(doc, TMessageType::mtDisplayData);
  content.XMLWrite(AddXMLElement(root, "Display"));
  std::string text = MessageText(doc);
  if (text.size() > CON_DatagramLimit) throw EMessageTooLong(text.size(), CON_DatagramLimit);
  return text;
}

}  // namespace lumaren
