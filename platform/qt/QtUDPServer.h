#pragma once
// The UDP server over Qt's sockets. Include only where the real servers are
// made (the program's start-up, the tools, the platform tests).

#include <memory>

#include "platform/UDPServer.h"

namespace lumaren::platform {

// What the kernel is asked to queue for a socket, so that a burst of
// datagrams arriving while the main thread is busy with a redraw is kept.
inline constexpr int CON_UDPReceiveBufferSize = 4 * 1024 * 1024;

// A server over QUdpSocket (IPv4 only) whose read event runs on the thread
// that makes it (the main thread).
std::unique_ptr<TUDPServer> CreateQtUDPServer();
TUDPServerFactory QtUDPServerFactory();

}  // namespace lumaren::platform
