#include "tools/uCtlOutput.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <vector>

namespace lumaren::ctl {

namespace {

// The length of the valid UTF-8 sequence at text[pos], 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  std::size_t len = 0;
  unsigned char min2 = 0x80;
  unsigned char max2 = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    if (lead == 0xE0) min2 = 0xA0;  // no overlong forms
    if (lead == 0xED) max2 = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    if (lead == 0xF0) min2 = 0x90;
    if (lead == 0xF4) max2 = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (pos + len > text.size()) return 0;
  if (byte(pos + 1) < min2 || byte(pos + 1) > max2) return 0;
  for (std::size_t i = 2; i < len; ++i) {
    if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
  }
  return len;
}

std::string Hex2(unsigned char byte) {
  std::array<char, 3> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%02X", byte);
  return buffer.data();
}

// Characters on a terminal, for lining up columns.
std::size_t Width(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Pad(const std::string& text, std::size_t width) {
  const std::size_t have = Width(text);
  return have >= width ? text : text + std::string(width - have, ' ');
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    const std::size_t len = Utf8Length(text, pos);
    if (len == 0) {
      out += "\\ufffd";
      ++pos;
      continue;
    }
    if (len > 1) {
      out.append(text.substr(pos, len));
      pos += len;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00" + Hex2(c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++pos;
  }
  return out + "\"";
}

std::string PrintableText(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    const std::size_t len = Utf8Length(text, pos);
    if (len == 2 && c == 0xC2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0) {
      // A C1 control (U+0080..U+009F): CSI among them starts escape sequences.
      out += "\\xC2\\x" + Hex2(static_cast<unsigned char>(text[pos + 1]));
      pos += 2;
      continue;
    }
    if (len == 0) {
      out += "\\x" + Hex2(c);
      ++pos;
      continue;
    }
    if (len > 1) {
      out.append(text.substr(pos, len));
      pos += len;
      continue;
    }
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\x" + Hex2(c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++pos;
  }
  return out;
}

std::string EventName(TNodeEvent event) {
  switch (event) {
    case TNodeEvent::neNew: return "new";
    case TNodeEvent::neOnline: return "online";
    case TNodeEvent::neOffline: return "offline";
    case TNodeEvent::neUpdate: return "update";
    case TNodeEvent::neInvalid: break;
  }
  return "invalid";
}

std::string Endpoint(const std::string& address, int port) { return address + ":" + std::to_string(port); }

std::string NodeJson(const TRemoteDeviceNode& node, const char* event) {
  std::string out = "{";
  if (event) out += "\"event\":" + JsonString(event) + ",";
  out += "\"name\":" + JsonString(node.NodeName);
  out += ",\"group\":" + std::to_string(node.Group);
  out += ",\"address\":" + JsonString(node.IPAddress);
  out += ",\"port\":" + std::to_string(node.NodePort);
  out += ",\"application\":" + JsonString(node.AppName);
  out += ",\"version\":" + JsonString(node.AppVersion);
  out += ",\"device\":" + JsonString(node.DeviceTypeStr());
  out += std::string(",\"online\":") + (node.Online ? "true" : "false");
  return out + "}";
}

std::string NodeTable(const TRemoteDeviceNodeList& list) {
  std::vector<std::array<std::string, 6>> rows{{"NAME", "GROUP", "ADDRESS", "APPLICATION", "VERSION", "ONLINE"}};
  for (int i = 0; i < list.Count(); ++i) {
    const TRemoteDeviceNode& node = list.Items(i);
    rows.push_back({PrintableText(node.NodeName), std::to_string(node.Group), Endpoint(node.IPAddress, node.NodePort),
                    PrintableText(node.AppName), PrintableText(node.AppVersion), node.Online ? "yes" : "no"});
  }
  std::array<std::size_t, 6> widths{};
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += c + 1 < row.size() ? Pad(row[c], widths[c]) + "  " : row[c];
    }
    out += line + "\n";
  }
  return out;
}

std::string EventLine(const TRemoteDeviceNode& node, TNodeEvent event, TDateTime when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  std::array<char, 16> clock{};
  std::strftime(clock.data(), clock.size(), "%H:%M:%S", &local);
  return std::string(clock.data()) + " " + Pad(EventName(event), 7) + " " + PrintableText(node.NodeName) +
         " (group " + std::to_string(node.Group) + ") at " + Endpoint(node.IPAddress, node.NodePort) + ", " +
         PrintableText(node.AppName) + " " + PrintableText(node.AppVersion);
}

}  // namespace lumaren::ctl
