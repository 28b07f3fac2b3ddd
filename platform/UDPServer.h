#pragma once
// A UDP server: listens on a list of local IPv4 bindings, hands every
// received datagram to a read event on the main thread, and sends and
// broadcasts from its first binding, so what it sends carries its listening
// port as the source port.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace lumaren::platform {

// A socket failure: a binding that cannot be opened, a send that fails, a
// send on a server that is not active, an address that is not IPv4.
// Ports outside 0..65535 raise std::range_error instead.
class EUDPServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A local address and port to listen on. An empty IP or "0.0.0.0" covers
// all local addresses; port 0 lets the system choose.
struct TUDPBinding {
  std::string IP;
  int Port = 0;
};

// One received datagram: its bytes and the sender's IPv4 address and port.
struct TUDPDatagram {
  std::string Data;
  std::string PeerIP;
  int PeerPort = 0;
};

using TUDPReadEvent = std::function<void(const TUDPDatagram& datagram)>;

// Datagrams longer than this never reach the read event.
inline constexpr int CON_UDPMaxDatagramSize = 8192;

class TUDPServer {
 public:
  virtual ~TUDPServer() = default;
  TUDPServer(const TUDPServer&) = delete;
  TUDPServer& operator=(const TUDPServer&) = delete;

  // Bindings change only while the server is stopped (EUDPServerError
  // otherwise). Once a binding has been open its Port is the port actually
  // bound, so a binding asked for port 0 keeps the port the system chose
  // through every later stop and start.
  virtual void AddBinding(const std::string& ip, int port) = 0;
  virtual void ClearBindings() = 0;
  virtual int BindingCount() const = 0;
  virtual TUDPBinding Binding(int index) const = 0;  // std::out_of_range
  // The port of the first binding, 0 when there is none.
  virtual int CurrentPort() const = 0;

  // Started without bindings, the server makes one binding on all local
  // addresses at this port and keeps it (a failed start does not keep it).
  virtual void SetDefaultPort(int port) = 0;
  virtual int DefaultPort() const = 0;

  // Let other sockets listen on the same port (and this one beside them).
  // Takes effect at the next start.
  virtual void SetReuseAddress(bool reuse) = 0;
  virtual bool ReuseAddress() const = 0;

  // Starting opens every binding or none: when one cannot be opened the
  // others are closed again and EUDPServerError is raised. Stopping closes
  // the sockets and keeps the bindings. Starting a started server and
  // stopping a stopped one change nothing.
  virtual void SetActive(bool active) = 0;
  virtual bool Active() const = 0;

  // Called on the main thread once per received datagram of at most
  // CON_UDPMaxDatagramSize bytes, empty ones included. The handler may stop,
  // restart or destroy the server; an exception it lets escape is dropped
  // and reception goes on.
  virtual void SetOnRead(TUDPReadEvent handler) = 0;

  // Sends the bytes of a UTF-8 text from the first binding's socket. The
  // host is a dotted IPv4 address.
  virtual void Send(const std::string& text, const std::string& host, int port) = 0;
  // Sends to 255.255.255.255 from the first binding's socket.
  virtual void Broadcast(const std::string& text, int port) = 0;

 protected:
  TUDPServer() = default;
};

// Makes a stopped server with no bindings, default port 0 and no read event.
using TUDPServerFactory = std::function<std::unique_ptr<TUDPServer>()>;

}  // namespace lumaren::platform
