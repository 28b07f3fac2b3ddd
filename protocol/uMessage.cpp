#include "protocol/uMessage.h"

namespace lumaren {

TXMLNode NewMessage(pugi::xml_document& doc, TMessageType type) {
  NewXMLDocument(doc);
  TXMLNode root = AddXMLElement(doc, XML_TOP_NODE);
  TXMLNode message = AddXMLElement(root, CON_MessageElement);
  AddXMLAtt(message, "Type", static_cast<std::int32_t>(type));
  return root;
}

std::string MessageText(const pugi::xml_document& doc) { return SaveXMLText(doc); }

void ReadMessage(std::string_view bytes, TReceivedMessage& out) {
  out.Root = TXMLNode();
  out.Message = TXMLNode();
  out.Type = TMessageType::mtUndefined;
  LoadXMLText(out.Doc, bytes);
  out.Root = out.Doc.document_element();
  out.Message = FindXMLChild(out.Root, CON_MessageElement);
  if (out.Message) out.Type = IntToMessageType(GetXMLAtt(out.Message, "Type", std::int32_t{0}));
}

}  // namespace lumaren
