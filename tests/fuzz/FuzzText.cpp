#include "fuzz/FuzzText.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace lumaren::fuzz {

std::string DisplayListText(const TDisplayLineList& list) {
  std::ostringstream s;
  s << "style " << static_cast<int>(list.DisplayStyle) << " bg " << list.BgColour << " fg " << list.FontColour
    << " font '" << list.FontName << "' expiry " << list.ExpiryMilliSecs << " index " << list.NodeIndex << " lines";
  for (int i = 0; i < list.Count(); ++i) {
    const TDisplayLine& line = list.Items(i);
    s << " [" << line.TextLeft << "|" << line.TextCentre << "|" << line.TextRight << "]";
  }
  return s.str();
}

std::string Excerpt(std::string_view text) {
  constexpr std::size_t CON_ExcerptBytes = 300;
  std::string out;
  for (const char c : text.substr(0, CON_ExcerptBytes)) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || b == '\\') {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", b);
      out += buf;
    } else {
      out += c;
    }
  }
  if (text.size() > CON_ExcerptBytes) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string Mismatch(const std::string& what, std::string_view expected, std::string_view got) {
  return what + "\n  expected: " + Excerpt(expected) + "\n  got:      " + Excerpt(got);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace lumaren::fuzz
