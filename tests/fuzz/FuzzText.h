#pragma once
// Small helpers the fuzz entries share: the display content as one
// comparable text, files as bytes, and excerpts for failure messages.

#include <filesystem>
#include <string>
#include <string_view>

#include "display/uDisplayLine.h"

namespace lumaren::fuzz {

// Every field of the list and every line, so "the same content" is one
// string comparison.
std::string DisplayListText(const TDisplayLineList& list);

// At most the first 300 bytes of text, control bytes as \xHH, for messages.
std::string Excerpt(std::string_view text);

// "expected ... got ..." with both excerpts.
std::string Mismatch(const std::string& what, std::string_view expected, std::string_view got);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

}  // namespace lumaren::fuzz
