#pragma once
// A UDP server without sockets. It keeps the rules of platform/UDPServer.h
// that callers see (bindings, default port, ports chosen by the "system",
// ranges, errors) and records what is sent; a test hands it received
// datagrams and makes the next start, send or broadcast fail.

#include <set>
#include <string>
#include <vector>

#include "platform/UDPServer.h"

namespace lumaren::test {

class TFakeUDPServer final : public platform::TUDPServer {
 public:
  struct TSent {
    std::string Text;
    std::string Host;
    int Port = 0;
  };
  struct TBroadcast {
    std::string Text;
    int Port = 0;
  };

  TFakeUDPServer() = default;

  void AddBinding(const std::string& ip, int port) override;
  void ClearBindings() override;
  int BindingCount() const override;
  platform::TUDPBinding Binding(int index) const override;
  int CurrentPort() const override;
  void SetDefaultPort(int port) override;
  int DefaultPort() const override;
  void SetReuseAddress(bool reuse) override;
  bool ReuseAddress() const override;
  void SetActive(bool active) override;
  bool Active() const override;
  void SetOnRead(platform::TUDPReadEvent handler) override;
  void Send(const std::string& text, const std::string& host, int port) override;
  void Broadcast(const std::string& text, int port) override;

  // Hands a datagram to the read event as the real server would: only while
  // active, only up to CON_UDPMaxDatagramSize bytes, exceptions dropped. The
  // handler may destroy the server. Returns whether the handler was called.
  bool Receive(const std::string& data, const std::string& peerIP = "127.0.0.1", int peerPort = 50000);

  // The next call of that operation that would otherwise succeed raises
  // EUDPServerError instead and changes nothing.
  void FailNextStart(int times = 1) { FFailStarts = times; }
  void FailNextSend() { FFailSend = true; }
  void FailNextBroadcast() { FFailBroadcast = true; }

  std::vector<TSent> Sent;
  std::vector<TBroadcast> Broadcasts;
  // Ports another program holds: a start with a binding on one raises.
  std::set<int> PortsInUse;
  // The port the "system" gives the next binding asked for port 0.
  int NextFreePort = 49152;
  int StartCount = 0;  // successful starts
  int StopCount = 0;   // stops of an active server

 private:
  void CheckStopped() const;

  std::vector<platform::TUDPBinding> FBindings;
  int FDefaultPort = 0;
  bool FReuseAddress = false;
  bool FActive = false;
  platform::TUDPReadEvent FOnRead;
  int FFailStarts = 0;
  bool FFailSend = false;
  bool FFailBroadcast = false;
};

}  // namespace lumaren::test
