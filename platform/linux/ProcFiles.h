#pragma once
// Readers of the kernel's and the distribution's text files, kept apart from
// the file access so that other machines' files can be tested.

#include <cstdint>
#include <string>

namespace lumaren::platform::linux_files {

// PRETTY_NAME of an os-release file, quotes and escapes removed; "" if absent.
std::string OsReleasePrettyName(const std::string& osRelease);

// The first processor's name in /proc/cpuinfo ("model name", or what other
// architectures call it); "" if absent.
std::string CpuInfoModelName(const std::string& cpuInfo);

// Distinct (physical id, core id) pairs in /proc/cpuinfo; 0 when the file
// does not give them (some architectures leave them out).
int CpuInfoPhysicalCores(const std::string& cpuInfo);

// A "Key: value kB" line of /proc/meminfo in bytes; -1 if absent.
std::int64_t MemInfoBytes(const std::string& memInfo, const std::string& key);

}  // namespace lumaren::platform::linux_files
