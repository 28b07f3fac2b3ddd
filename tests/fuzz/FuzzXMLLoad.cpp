// Bytes into the strict loader. What must hold for any bytes: loading never
// raises anything but EXMLError, and a refused text leaves the document
// empty; the loader accepts exactly what the well-formedness check accepts
// (pugixml refusing a well-formed document would turn a good datagram into
// an error entry); and an accepted document serialises to text that loads
// again into the same tree, whose text no longer changes.
//
// "The same tree" leaves out text made only of white space that stands
// beside other nodes: pugixml drops such text on reading, so text written as
// references ("<a/>&#10;<b/>") reads back once, is serialised as plain white
// space and is then dropped. No document of ours meets this: our elements
// hold either text alone or elements alone.

#include <memory>
#include <string>
#include <string_view>

#include "fuzz/FuzzEntries.h"
#include "fuzz/FuzzText.h"
#include "protocol/uXMLCheck.h"
#include "protocol/uXMLHelpers.h"

namespace lumaren::fuzz {
namespace {

bool IsWhiteSpace(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// The tree as text: elements with their attributes in order, CDATA, and runs
// of adjacent text joined, leaving out runs made only of white space.
void AppendTree(TXMLNode node, std::string& out) {
  std::string text;
  const auto flushText = [&] {
    if (!IsWhiteSpace(text)) out.append("T(").append(text).append(")");
    text.clear();
  };
  for (TXMLNode c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_pcdata) {
      text += c.value();
      continue;
    }
    flushText();
    if (c.type() == pugi::node_cdata) {
      out.append("C(").append(c.value()).append(")");
    } else if (c.type() == pugi::node_element) {
      out.append("E(").append(c.name());
      for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute())
        out.append(" ").append(a.name()).append("=").append(a.value());
      out.append(":");
      AppendTree(c, out);
      out.append(")");
    } else {
      out.append("?").append(std::to_string(static_cast<int>(c.type())));
    }
  }
  flushText();
}

std::string TreeText(const pugi::xml_document& doc) {
  std::string out;
  AppendTree(doc, out);
  return out;
}

class TXMLLoadRig final : public TFuzzRig {
 public:
  void Run(std::string_view bytes) override {
    std::string_view body = bytes;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    std::string refusal;
    try {
      CheckWellFormedXML(body);
    } catch (const EXMLError& e) {
      refusal = e.what();
    }

    pugi::xml_document doc;
    doc.append_child("Previous");  // loading replaces whatever was there
    try {
      LoadXMLText(doc, bytes);
    } catch (const EXMLError& e) {
      FuzzCheck(!doc.first_child(), "a refused text leaves the document empty");
      FuzzCheck(!refusal.empty(), std::string("a well-formed document is refused: ") + e.what() + "\n  " +
                                      Excerpt(bytes));
      return;
    }
    FuzzCheck(refusal.empty(), "a document is loaded though the check refused it: " + refusal);

    const std::string once = SaveXMLText(doc);
    pugi::xml_document again;
    try {
      LoadXMLText(again, once);
    } catch (const EXMLError& e) {
      FuzzCheck(false, std::string("a loaded document serialises to text that does not load: ") + e.what() +
                           "\n  " + Excerpt(once));
    }
    FuzzCheck(TreeText(again) == TreeText(doc),
              Mismatch("a serialised document reloads as the same tree", TreeText(doc), TreeText(again)));
    const std::string twice = SaveXMLText(again);
    pugi::xml_document thrice;
    LoadXMLText(thrice, twice);
    FuzzCheck(SaveXMLText(thrice) == twice,
              Mismatch("a reloaded document serialises the same", twice, SaveXMLText(thrice)));
  }
};

}  // namespace

std::unique_ptr<TFuzzRig> NewXMLLoadRig() { return std::make_unique<TXMLLoadRig>(); }

}  // namespace lumaren::fuzz
