#include "TFakeUDPServer.h"

#include <arpa/inet.h>

#include <stdexcept>

namespace lumaren::test {

using platform::EUDPServerError;
using platform::TUDPBinding;

namespace {

void CheckPort(int port) {
  if (port < 0 || port > 65535) {
    throw std::range_error("UDP port " + std::to_string(port) + " is outside 0..65535");
  }
}

void CheckIPv4(const std::string& ip) {
  in_addr address{};
  if (inet_pton(AF_INET, ip.c_str(), &address) != 1) throw EUDPServerError("\"" + ip + "\" is not an IPv4 address");
}

}  // namespace

void TFakeUDPServer::CheckStopped() const {
  if (FActive) throw EUDPServerError("the bindings of an active UDP server cannot change");
}

void TFakeUDPServer::AddBinding(const std::string& ip, int port) {
  CheckStopped();
  CheckPort(port);
  if (!ip.empty()) CheckIPv4(ip);
  FBindings.push_back({ip, port});
}

void TFakeUDPServer::ClearBindings() {
  CheckStopped();
  FBindings.clear();
}

int TFakeUDPServer::BindingCount() const { return static_cast<int>(FBindings.size()); }

TUDPBinding TFakeUDPServer::Binding(int index) const {
  if (index < 0 || index >= BindingCount()) throw std::out_of_range("UDP binding index out of range");
  return FBindings[static_cast<std::size_t>(index)];
}

int TFakeUDPServer::CurrentPort() const { return FBindings.empty() ? 0 : FBindings.front().Port; }

void TFakeUDPServer::SetDefaultPort(int port) {
  CheckPort(port);
  FDefaultPort = port;
}

int TFakeUDPServer::DefaultPort() const { return FDefaultPort; }

void TFakeUDPServer::SetReuseAddress(bool reuse) { FReuseAddress = reuse; }

bool TFakeUDPServer::ReuseAddress() const { return FReuseAddress; }

void TFakeUDPServer::SetActive(bool active) {
  if (active == FActive) return;
  if (!active) {
    FActive = false;
    ++StopCount;
    return;
  }
  if (FFailStarts > 0) {
    --FFailStarts;
    throw EUDPServerError("cannot listen (made to fail)");
  }
  std::vector<TUDPBinding> bindings = FBindings;
  if (bindings.empty()) bindings.push_back({"", FDefaultPort});
  for (const auto& binding : bindings) {
    if (PortsInUse.count(binding.Port)) {
      throw EUDPServerError("cannot listen on port " + std::to_string(binding.Port) + ": in use");
    }
  }
  for (auto& binding : bindings) {
    if (binding.Port == 0) binding.Port = NextFreePort++;
  }
  FBindings = std::move(bindings);
  FActive = true;
  ++StartCount;
}

bool TFakeUDPServer::Active() const { return FActive; }

void TFakeUDPServer::SetOnRead(platform::TUDPReadEvent handler) { FOnRead = std::move(handler); }

void TFakeUDPServer::Send(const std::string& text, const std::string& host, int port) {
  CheckPort(port);
  CheckIPv4(host);
  if (!FActive) throw EUDPServerError("the UDP server is not active");
  if (FFailSend) {
    FFailSend = false;
    throw EUDPServerError("cannot send (made to fail)");
  }
  Sent.push_back({text, host, port});
}

void TFakeUDPServer::Broadcast(const std::string& text, int port) {
  CheckPort(port);
  if (!FActive) throw EUDPServerError("the UDP server is not active");
  if (FFailBroadcast) {
    FFailBroadcast = false;
    throw EUDPServerError("cannot broadcast (made to fail)");
  }
  Broadcasts.push_back({text, port});
}

bool TFakeUDPServer::Receive(const std::string& data, const std::string& peerIP, int peerPort) {
  if (!FActive || data.size() > static_cast<std::size_t>(platform::CON_UDPMaxDatagramSize)) return false;
  const auto handler = FOnRead;  // the handler may destroy this server
  if (!handler) return false;
  try {
    handler({data, peerIP, peerPort});
  } catch (...) {
    // Dropped, as the real server drops it.
  }
  return true;
}

}  // namespace lumaren::test
