#pragma once
// The envelope every datagram shares: an XML document whose root (written as
// XML_TOP_NODE, read whatever its name) has a first child "Message" carrying
// the message type; the payload elements are further children of the root.
// Building and reading a message are plain functions over a document and
// bytes, so they are tested without a socket.

#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "protocol/uDeviceNode.h"
#include "protocol/uXMLHelpers.h"

namespace lumaren {

// The name of the envelope element.
inline constexpr const char* CON_MessageElement = "Message";

// ---- Writing ------------------------------------------------------------

// Starts doc afresh as a message of the given type: declaration, root
// XML_TOP_NODE, and its first child "Message" with "Type". Returns the root;
// the caller appends the payload elements to it (an announcement first adds
// "Refresh" to FindXMLChild(root, CON_MessageElement)).
TXMLNode NewMessage(pugi::xml_document& doc, TMessageType type);

// The document as text, ready to be sent as UTF-8 bytes.
std::string MessageText(const pugi::xml_document& doc);

// ---- Reading ------------------------------------------------------------

// A received datagram, parsed. The document owns the nodes, so the record is
// neither copied nor moved once read.
struct TReceivedMessage {
  pugi::xml_document Doc;
  TXMLNode Root;     // the document element, whatever its name
  TXMLNode Message;  // the root's first direct child "Message"; empty if none
  TMessageType Type = TMessageType::mtUndefined;

  TReceivedMessage() = default;
  TReceivedMessage(const TReceivedMessage&) = delete;
  TReceivedMessage& operator=(const TReceivedMessage&) = delete;

  // False: the datagram has no "Message" and is dropped without a word.
  bool HasMessage() const { return static_cast<bool>(Message); }
  // The first payload element of that name among the root's direct children.
  TXMLNode Payload(std::string_view name) const { return FindXMLChild(Root, name); }
};

// Decodes bytes as UTF-8 text (the declaration's encoding is not consulted),
// loads it strictly and finds the envelope. Raises EXMLError when the bytes
// are not a well-formed XML document; out is then reset to no message.
void ReadMessage(std::string_view bytes, TReceivedMessage& out);

}  // namespace lumaren
