#pragma once
// What /proc tells about a running process: its open files, its resident
// memory, its UDP sockets with the datagrams the kernel dropped for them,
// and the bytes it handed to write calls. For tests that watch the real
// program from outside.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace lumaren::test {

// Entries of /proc/<pid>/fd; nothing when the process is gone.
std::optional<int> OpenFileCount(pid_t pid);

// VmRSS of /proc/<pid>/status in KiB; nothing when the process is gone.
std::optional<long> ResidentKiB(pid_t pid);

// "wchar" of /proc/<pid>/io: bytes handed to write calls of every kind.
std::optional<std::uint64_t> WrittenBytes(pid_t pid);

struct TUdpSocketFacts {
  int LocalPort = 0;
  std::uint64_t Drops = 0;  // datagrams the kernel dropped for a full receive queue
  std::uint64_t Queued = 0;  // bytes waiting in the receive queue
};

// The IPv4 UDP sockets the process holds open, from its network
// namespace's /proc/<pid>/net/udp matched by inode with its descriptors.
std::vector<TUdpSocketFacts> UdpSockets(pid_t pid);

}  // namespace lumaren::test
