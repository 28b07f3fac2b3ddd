#pragma once
// The machine's network adapters as the platform reports them: one record
// per adapter, in the platform's order.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumaren::platform {

struct TAdapterInfo {
  std::string Name;         // the platform's adapter name, e.g. "lan0"
  std::string Description;  // for people, e.g. "Ethernet lan0", "Wireless wlan0"
  std::string IPv4;         // first IPv4 address, dotted; empty when it has none
  std::vector<std::uint8_t> HardwareAddress;  // at most 8 bytes; empty when it has none
  bool IsLoopback = false;
  bool IsUp = false;
  bool BroadcastSupport = false;
};

// Enumeration failures raise EAdapterSourceError.
class EAdapterSourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TAdapterSource = std::function<std::vector<TAdapterInfo>()>;

}  // namespace lumaren::platform
