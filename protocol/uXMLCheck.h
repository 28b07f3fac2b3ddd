#pragma once
// The strict gate in front of pugixml. pugixml builds the DOM but is lenient:
// it skips text outside the root, keeps "&foo;" and a bare "&" as text,
// accepts several roots, duplicate attributes, "<" in attribute values,
// invalid UTF-8 and references to NUL. Every document we load passes this
// check first, so a datagram that is not well-formed XML 1.0 is refused the
// same way whoever sent it.
//
// Two things a well-formed document may contain are refused as well, because
// we never expand a DOCTYPE: references to general entities other than the
// five predefined ones, and parameter-entity references. Leaving "&name;"
// unexpanded would hand the reader text the sender did not mean.

#include <string_view>

namespace lumaren {

// Raises EXMLError (uXMLHelpers.h) naming the byte offset and the fault when
// text, taken as UTF-8 without a byte-order mark, is not a well-formed XML 1.0
// document.
void CheckWellFormedXML(std::string_view text);

// True when name matches the XML 1.0 Name production (UTF-8).
bool IsXMLName(std::string_view name);
// True when text is valid UTF-8 made only of characters XML 1.0 can carry
// (no NUL, no C0 control but tab, CR and LF, no U+FFFE or U+FFFF).
bool IsXMLText(std::string_view text);

}  // namespace lumaren
