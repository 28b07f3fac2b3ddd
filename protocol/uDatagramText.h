#pragma once
// Keeping what a writer puts into a datagram sendable: text a user typed may
// hold characters XML cannot carry, and a long enough name would push the
// document past what a receiver reads.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/UDPServer.h"

namespace lumaren {

// The character that stands in for what XML cannot carry (U+FFFD).
inline constexpr const char* CON_ReplacementChar = "\xEF\xBF\xBD";

// text with every byte sequence that is not valid UTF-8, and every character
// XML 1.0 cannot carry (C0 controls other than TAB, CR and LF; U+FFFE,
// U+FFFF), replaced by CON_ReplacementChar. TAB, CR and LF travel as they are.
std::string XMLCarriableText(std::string_view text);

// Builds a document around text with build and returns it. When the document
// is longer than limit bytes, text is shortened to the longest prefix whose
// document fits; the prefix ends between whole UTF-8 characters and never
// inside a CR LF pair or a "&#xD;" sequence, and the size is measured on the
// built document, so escapes are counted as the serialiser writes them. When
// even an empty text does not fit, the document built around it is returned.
std::string FitDatagram(std::string_view text, const std::function<std::string(const std::string&)>& build,
                        std::size_t limit = platform::CON_UDPMaxDatagramSize);

}  // namespace lumaren
