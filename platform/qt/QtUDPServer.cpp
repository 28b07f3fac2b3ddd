#include "platform/qt/QtUDPServer.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace lumaren::platform {

namespace {

// Large enough for any IPv4 datagram, so the length read is the datagram's
// real length: a smaller buffer would truncate silently and let the first
// part of an over-long datagram through as if it were whole.
constexpr qint64 CON_ReadBufferSize = 65536;
// One round of reading hands datagrams to the read event for at most this
// long, then lets the event loop run: under a flood that the handler cannot
// keep up with, the heartbeat, the timers and the painting would otherwise
// wait until the flood ends. Short enough to leave room for a paint in every
// display frame; what is left is read in the next round.
constexpr std::chrono::milliseconds CON_ReadRoundTime{4};

void CheckPort(int port) {
  if (port < 0 || port > 65535) {
    throw std::range_error("UDP port " + std::to_string(port) + " is outside 0..65535");
  }
}

// An empty text and "0.0.0.0" both mean every local address.
QHostAddress ListenAddress(const std::string& ip) {
  if (ip.empty()) return QHostAddress(QHostAddress::AnyIPv4);
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(ip)) ||
      address.protocol() != QAbstractSocket::IPv4Protocol) {
    throw EUDPServerError("\"" + ip + "\" is not an IPv4 address");
  }
  return address;
}

std::string PeerText(const QHostAddress& peer) {
  bool isIPv4 = false;
  const quint32 ip = peer.toIPv4Address(&isIPv4);
  return isIPv4 ? QHostAddress(ip).toString().toStdString() : peer.toString().toStdString();
}

std::string Endpoint(const std::string& ip, int port) {
  return (ip.empty() ? std::string("0.0.0.0") : ip) + ":" + std::to_string(port);
}

// Best effort: the forced size passes the system's limit but needs
// privileges; the plain one is capped by net.core.rmem_max.
void EnlargeReceiveBuffer(qintptr descriptor) {
  const int size = CON_UDPReceiveBufferSize;
  const int fd = static_cast<int>(descriptor);
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }
}

class TQtUDPServer final : public TUDPServer {
 public:
  TQtUDPServer() = default;
  ~TQtUDPServer() override { CloseSockets(); }

  void AddBinding(const std::string& ip, int port) override {
    CheckStopped();
    CheckPort(port);
    ListenAddress(ip);
    FBindings.push_back({ip, port});
  }

  void ClearBindings() override {
    CheckStopped();
    FBindings.clear();
  }

  int BindingCount() const override { return static_cast<int>(FBindings.size()); }

  TUDPBinding Binding(int index) const override {
    if (index < 0 || index >= BindingCount()) throw std::out_of_range("UDP binding index out of range");
    return FBindings[static_cast<std::size_t>(index)];
  }

  int CurrentPort() const override { return FBindings.empty() ? 0 : FBindings.front().Port; }

  void SetDefaultPort(int port) override {
    CheckPort(port);
    FDefaultPort = port;
  }

  int DefaultPort() const override { return FDefaultPort; }

  void SetReuseAddress(bool reuse) override { FReuseAddress = reuse; }
  bool ReuseAddress() const override { return FReuseAddress; }

  void SetActive(bool active) override {
    if (active == FActive) return;
    if (active) {
      Open();
    } else {
      CloseSockets();
      FActive = false;
    }
  }

  bool Active() const override { return FActive; }

  void SetOnRead(TUDPReadEvent handler) override { FOnRead = std::move(handler); }

  void Send(const std::string& text, const std::string& host, int port) override {
    CheckPort(port);
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(host)) ||
        address.protocol() != QAbstractSocket::IPv4Protocol) {
      throw EUDPServerError("\"" + host + "\" is not an IPv4 address");
    }
    SendTo(text, address, port);
  }

  void Broadcast(const std::string& text, int port) override {
    CheckPort(port);
    SendTo(text, QHostAddress(QHostAddress::Broadcast), port);
  }

 private:
  void CheckStopped() const {
    if (FActive) throw EUDPServerError("the bindings of an active UDP server cannot change");
  }

  // Opens all bindings or none. The binding made from the default port is
  // kept only when the start succeeds, so a failed start leaves the next one
  // free to use another default port.
  void Open() {
    std::vector<TUDPBinding> bindings = FBindings;
    if (bindings.empty()) bindings.push_back({"", FDefaultPort});
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    for (auto& binding : bindings) {
      auto socket = std::make_unique<QUdpSocket>();
      const auto mode = FReuseAddress ? QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint
                                      : QAbstractSocket::DontShareAddress;
      if (!socket->bind(ListenAddress(binding.IP), static_cast<quint16>(binding.Port), mode)) {
        throw EUDPServerError("cannot listen on " + Endpoint(binding.IP, binding.Port) + ": " +
                              socket->errorString().toStdString());
      }
      EnlargeReceiveBuffer(socket->socketDescriptor());
      // Qt turns broadcasting on for UDP sockets; asking again costs nothing
      // and keeps the announcement independent of that.
      const int on = 1;
      setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
      binding.Port = socket->localPort();
      sockets.push_back(std::move(socket));
    }
    for (auto& socket : sockets) {
      QUdpSocket* raw = socket.get();
      QObject::connect(raw, &QUdpSocket::readyRead, raw, [this, raw] { ReadPending(raw); });
    }
    FBindings = std::move(bindings);
    FSockets = std::move(sockets);
    FActive = true;
  }

  void CloseSockets() {
    for (auto& socket : FSockets) {
      socket->disconnect();
      socket->close();
      // Closed from inside a read event: the socket is still emitting its
      // readyRead, so it goes when control is back in the event loop.
      if (FReadDepth > 0) socket.release()->deleteLater();
    }
    FSockets.clear();
  }

  bool IsOpen(const QUdpSocket* socket) const {
    return std::any_of(FSockets.begin(), FSockets.end(), [socket](const auto& s) { return s.get() == socket; });
  }

  // Reads the pending datagrams: Qt signals readyRead again only after a
  // datagram has been read. A round ends after CON_ReadRoundTime with
  // datagrams still waiting, so that a flood does not keep the event loop
  // (and the window's paint) waiting; the socket signals again at once.
  // Errors (a port-unreachable reply to an earlier send surfaces here) end
  // the round, never the reception.
  void ReadPending(QUdpSocket* socket) {
    const std::weak_ptr<char> alive = FAlive;
    std::vector<char> buffer(CON_ReadBufferSize);
    const auto roundEnd = std::chrono::steady_clock::now() + CON_ReadRoundTime;
    ++FReadDepth;
    while (socket->hasPendingDatagrams()) {
      QHostAddress peer;
      quint16 peerPort = 0;
      const qint64 length = socket->readDatagram(buffer.data(), CON_ReadBufferSize, &peer, &peerPort);
      if (length < 0) break;
      if (length <= CON_UDPMaxDatagramSize) {
        const TUDPDatagram datagram{std::string(buffer.data(), static_cast<std::size_t>(length)), PeerText(peer),
                                    peerPort};
        // The handler may replace itself, stop the server or destroy it.
        const auto handler = FOnRead;
        if (handler) {
          try {
            handler(datagram);
          } catch (...) {
            // A datagram that cannot be handled must not end the reception.
          }
        }
        if (alive.expired()) return;
        if (!IsOpen(socket)) break;
      }
      // Checked only after a datagram was read: Qt signals readyRead again
      // only after a read, so a round that read none would end reception.
      if (std::chrono::steady_clock::now() >= roundEnd) break;
    }
    --FReadDepth;
  }

  void SendTo(const std::string& text, const QHostAddress& address, int port) {
    if (!FActive || FSockets.empty()) throw EUDPServerError("the UDP server is not active");
    QUdpSocket& socket = *FSockets.front();
    const qint64 sent =
        socket.writeDatagram(text.data(), static_cast<qint64>(text.size()), address, static_cast<quint16>(port));
    if (sent != static_cast<qint64>(text.size())) {
      throw EUDPServerError("cannot send to " + Endpoint(address.toString().toStdString(), port) + ": " +
                            socket.errorString().toStdString());
    }
  }

  std::vector<TUDPBinding> FBindings;
  std::vector<std::unique_ptr<QUdpSocket>> FSockets;  // one per binding while active
  int FDefaultPort = 0;
  bool FReuseAddress = false;
  bool FActive = false;
  TUDPReadEvent FOnRead;
  int FReadDepth = 0;
  std::shared_ptr<char> FAlive = std::make_shared<char>();  // expires with the server
};

}  // namespace

std::unique_ptr<TUDPServer> CreateQtUDPServer() { return std::make_unique<TQtUDPServer>(); }

TUDPServerFactory QtUDPServerFactory() {
  return [] { return CreateQtUDPServer(); };
}

}  // namespace lumaren::platform
