#pragma once
// The messages a controller sends to one node, as plain functions from their
// arguments to the document's text, so they are built and checked without a
// socket. Every one keeps its document within one datagram.

#include <cstddef>
#include <stdexcept>
#include <string>

#include "protocol/uDeviceNode.h"

namespace lumaren {

class TDisplayLineList;

// A message that does not fit into one datagram and would never reach the node.
class EMessageTooLong : public std::length_error {
 public:
  EMessageTooLong(std::size_t size, std::size_t limit);
  std::size_t Size;   // bytes the document would take
  std::size_t Limit;  // bytes one datagram may carry
};

// Type 2: the node shows "Connected" for a second.
std::string AcknowledgeMessage();
// Type 3: the node's program closes.
std::string ShutdownMessage();
// Type 4 with "Node" "Name" alone. A name too long for one datagram is cut
// to the longest prefix that fits, between whole characters and line breaks.
// A name XML cannot carry raises EXMLError.
std::string SetNameMessage(const std::string& name);
// Type 4 with "Window" "State" alone: 0 normal, 1 minimised, 2 maximised.
std::string SetDisplayStateMessage(TWindowState state);
// Type 6 with the "Display" element of the content. Content that would not
// fit into one datagram raises EMessageTooLong: cutting it would show
// something other than what was asked for. A text XML cannot carry raises
// EXMLError, a negative colour other than clNone std::range_error.
std::string DisplayDataMessage(const TDisplayLineList& content);

}  // namespace lumaren
