#pragma once
// What lumaren-ctl prints: text for people (node names escaped, so a name
// cannot move the cursor or change the terminal's colours) and one JSON
// object per line for scripts.

#include <string>
#include <string_view>

#include "protocol/uDeviceNode.h"

namespace lumaren::ctl {

// text as a JSON string, quotes included. Bytes that are not valid UTF-8
// become U+FFFD, so the output is always valid JSON.
std::string JsonString(std::string_view text);

// text for a terminal: CR, LF and TAB as \r, \n and \t, a backslash doubled,
// other control characters (C0, DEL, C1) and broken UTF-8 as \xNN.
std::string PrintableText(std::string_view text);

// "new", "online", "offline", "update"; "invalid" for neInvalid.
std::string EventName(TNodeEvent event);

// "10.77.0.2:50123".
std::string Endpoint(const std::string& address, int port);

// {"event":...,"name":...,"group":...,"address":...,"port":...,
//  "application":...,"version":...,"device":...,"online":...}; "event" only
// when one is given.
std::string NodeJson(const TRemoteDeviceNode& node, const char* event = nullptr);

// A table of every node in list order: NAME GROUP ADDRESS APPLICATION
// VERSION ONLINE, columns as wide as their widest entry, one line each.
std::string NodeTable(const TRemoteDeviceNodeList& list);

// "12:04:05 new     Lobby (group 3) at 10.77.0.2:50123, Lumaren 1.0.4.0",
// the time in local time.
std::string EventLine(const TRemoteDeviceNode& node, TNodeEvent event, TDateTime when);

}  // namespace lumaren::ctl
