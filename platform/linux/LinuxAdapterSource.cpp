#include "platform/linux/LinuxAdapterSource.h"

// net/if.h must come before the kernel headers that pull in linux/if.h.
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <linux/wireless.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace lumaren::platform {

namespace {

constexpr std::size_t CON_MaxHardwareAddressLength = 8;

// Closes the descriptor of the socket used to ask the kernel about devices.
class TQuerySocket {
 public:
  TQuerySocket() : FFd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~TQuerySocket() {
    if (FFd >= 0) close(FFd);
  }
  TQuerySocket(const TQuerySocket&) = delete;
  TQuerySocket& operator=(const TQuerySocket&) = delete;
  int Fd() const { return FFd; }

 private:
  int FFd;
};

ifreq Request(const std::string& name) {
  ifreq request{};
  std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
  return request;
}

// The kernel driver's name, e.g. "veth" or "e1000e"; empty when unknown.
std::string DriverName(const TQuerySocket& query, const std::string& name) {
  if (query.Fd() < 0) return {};
  ethtool_drvinfo info{};
  info.cmd = ETHTOOL_GDRVINFO;
  ifreq request = Request(name);
  request.ifr_data = reinterpret_cast<char*>(&info);
  if (ioctl(query.Fd(), SIOCETHTOOL, &request) != 0) return {};
  return std::string(info.driver, strnlen(info.driver, sizeof info.driver));
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// The wireless-extensions query answers in every network namespace. Drivers
// built without it are found through sysfs, which shows the namespace that
// mounted it; the interface index guards against a same-named stranger.
bool IsWireless(const TQuerySocket& query, const std::string& name) {
  if (query.Fd() >= 0) {
    iwreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    if (ioctl(query.Fd(), SIOCGIWNAME, &request) == 0) return true;
  }
  const std::string folder = "/sys/class/net/" + name;
  if (ReadFirstLine(folder + "/ifindex") != std::to_string(if_nametoindex(name.c_str()))) return false;
  struct stat info {};
  return stat((folder + "/wireless").c_str(), &info) == 0 || stat((folder + "/phy80211").c_str(), &info) == 0;
}

// What kind of adapter this is, in words people know from network settings.
std::string Kind(const TQuerySocket& query, const std::string& name, unsigned flags, int hardwareType) {
  if (flags & IFF_LOOPBACK) return "Loopback";
  struct TDriverKind {
    const char* Driver;
    const char* Kind;
  };
  static constexpr TDriverKind CON_VirtualDrivers[] = {
      {"veth", "Virtual Ethernet"}, {"bridge", "Bridge"},   {"bonding", "Bond"},
      {"802.1Q VLAN Support", "VLAN"}, {"tun", "TUN/TAP"},  {"dummy", "Dummy"},
      {"macvlan", "MACVLAN"},        {"vxlan", "VXLAN"},    {"wireguard", "WireGuard"},
  };
  const std::string driver = DriverName(query, name);
  for (const auto& entry : CON_VirtualDrivers) {
    if (driver == entry.Driver) return entry.Kind;
  }
  if (IsWireless(query, name)) return "Wireless";
  switch (hardwareType) {
    case ARPHRD_ETHER: return "Ethernet";
    case ARPHRD_PPP: return "PPP";
    default: return "Network adapter";
  }
}

struct TCollected {
  TAdapterInfo Info;
  unsigned Flags = 0;
  int HardwareType = -1;
};

}  // namespace

std::vector<TAdapterInfo> GetLinuxAdapters() {
  ifaddrs* first = nullptr;
  if (getifaddrs(&first) != 0) {
    throw EAdapterSourceError(std::string("cannot list the network adapters: ") + std::strerror(errno));
  }
  const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(first, &freeifaddrs);

  // The list names every interface once per address; the link-layer entries
  // come first, in interface index order, and that order is kept.
  std::vector<TCollected> collected;
  for (const ifaddrs* entry = first; entry; entry = entry->ifa_next) {
    if (!entry->ifa_name) continue;
    // Old-style alias labels ("lan0:1") name the secondary addresses of lan0.
    std::string name = entry->ifa_name;
    name = name.substr(0, name.find(':'));
    auto it = std::find_if(collected.begin(), collected.end(), [&](const TCollected& c) { return c.Info.Name == name; });
    if (it == collected.end()) {
      collected.push_back({});
      it = collected.end() - 1;
      it->Info.Name = name;
      it->Flags = entry->ifa_flags;
    }
    if (!entry->ifa_addr) continue;
    if (entry->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
      const std::size_t length = std::min<std::size_t>(link->sll_halen, CON_MaxHardwareAddressLength);
      it->Info.HardwareAddress.assign(link->sll_addr, link->sll_addr + length);
      it->HardwareType = link->sll_hatype;
    } else if (entry->ifa_addr->sa_family == AF_INET && it->Info.IPv4.empty()) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
      char text[INET_ADDRSTRLEN] = {};
      if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) it->Info.IPv4 = text;
    }
  }

  const TQuerySocket query;
  std::vector<TAdapterInfo> adapters;
  adapters.reserve(collected.size());
  for (auto& c : collected) {
    TAdapterInfo& info = c.Info;
    info.IsLoopback = (c.Flags & IFF_LOOPBACK) != 0;
    // Up means usable: switched on and with a carrier.
    info.IsUp = (c.Flags & IFF_UP) && (c.Flags & IFF_RUNNING);
    info.BroadcastSupport = (c.Flags & IFF_BROADCAST) != 0;
    // Loopback reports six zero bytes; neither it nor an all-zero address
    // identifies hardware.
    const bool allZero = std::all_of(info.HardwareAddress.begin(), info.HardwareAddress.end(),
                                     [](std::uint8_t b) { return b == 0; });
    if (info.IsLoopback || allZero) info.HardwareAddress.clear();
    info.Description = Kind(query, info.Name, c.Flags, c.HardwareType) + " " + info.Name;
    adapters.push_back(std::move(info));
  }
  return adapters;
}

}  // namespace lumaren::platform
