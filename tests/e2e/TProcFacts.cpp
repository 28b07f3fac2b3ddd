#include "e2e/TProcFacts.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

namespace lumaren::test {

namespace {

namespace fs = std::filesystem;

fs::path ProcPath(pid_t pid, const char* name) { return fs::path("/proc") / std::to_string(pid) / name; }

// The number after "key" on the line that starts with it.
std::optional<std::uint64_t> Field(const fs::path& file, const std::string& key) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) != 0) continue;
    std::istringstream value(line.substr(key.size()));
    std::uint64_t number = 0;
    if (value >> number) return number;
  }
  return std::nullopt;
}

// Inodes of the sockets among the process's descriptors ("socket:[123]").
std::set<std::uint64_t> SocketInodes(pid_t pid) {
  std::set<std::uint64_t> inodes;
  std::error_code ec;
  for (fs::directory_iterator it(ProcPath(pid, "fd"), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    const std::string target = fs::read_symlink(it->path(), linkError).string();
    if (linkError || target.rfind("socket:[", 0) != 0) continue;
    inodes.insert(std::stoull(target.substr(8)));
  }
  return inodes;
}

}  // namespace

std::optional<int> OpenFileCount(pid_t pid) {
  std::error_code ec;
  int count = 0;
  fs::directory_iterator it(ProcPath(pid, "fd"), ec);
  if (ec) return std::nullopt;
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) ++count;
  return count;
}

std::optional<long> ResidentKiB(pid_t pid) {
  const auto kib = Field(ProcPath(pid, "status"), "VmRSS:");
  if (!kib) return std::nullopt;
  return static_cast<long>(*kib);
}

std::optional<std::uint64_t> WrittenBytes(pid_t pid) { return Field(ProcPath(pid, "io"), "wchar:"); }

std::vector<TUdpSocketFacts> UdpSockets(pid_t pid) {
  const std::set<std::uint64_t> inodes = SocketInodes(pid);
  std::vector<TUdpSocketFacts> sockets;
  std::ifstream table(ProcPath(pid, "net/udp"));
  std::string line;
  std::getline(table, line);  // the heading
  //   sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ref pointer drops
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, ref, pointer;
    std::uint64_t inode = 0, drops = 0;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode >>
          ref >> pointer >> drops))
      continue;
    if (inodes.count(inode) == 0) continue;
    TUdpSocketFacts facts;
    facts.LocalPort = std::stoi(local.substr(local.find(':') + 1), nullptr, 16);
    facts.Queued = std::stoull(queues.substr(queues.find(':') + 1), nullptr, 16);
    facts.Drops = drops;
    sockets.push_back(facts);
  }
  return sockets;
}

}  // namespace lumaren::test
