#include "platform/MachineInfo.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

#include <pwd.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "platform/linux/ProcFiles.h"

namespace lumaren::platform {

namespace {

namespace fs = std::filesystem;

std::string ReadTextFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadOSName() {
  // The distribution's own name for itself; /usr/lib is where os-release
  // lives when /etc only links to it or lacks it.
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::string name = linux_files::OsReleasePrettyName(ReadTextFile(path));
    if (!name.empty()) return name;
  }
  utsname uts{};
  if (uname(&uts) == 0) return std::string(uts.sysname) + " " + uts.release;
  return {};
}

// Distinct (package, core) pairs from the kernel's topology files, for
// kernels whose /proc/cpuinfo leaves the ids out.
int SysfsPhysicalCores() {
  std::set<std::pair<std::string, std::string>> cores;
  std::error_code ec;
  for (fs::directory_iterator it("/sys/devices/system/cpu", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 ||
        !std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    const std::string package = ReadTextFile(it->path() / "topology/physical_package_id");
    const std::string core = ReadTextFile(it->path() / "topology/core_id");
    if (!package.empty() && !core.empty()) cores.emplace(package, core);
  }
  return static_cast<int>(cores.size());
}

int ReadPhysicalCores() {
  int cores = linux_files::CpuInfoPhysicalCores(ReadTextFile("/proc/cpuinfo"));
  if (cores == 0) cores = SysfsPhysicalCores();
  return std::min(cores, 255);  // the header's field holds 0 to 255
}

// RAM Free is the kernel's MemAvailable: memory new programs can get without
// swapping, page cache included. Old kernels lack it; there sysinfo's free
// RAM stands in.
void ReadMemory(TMachineFacts& facts) {
  const std::string memInfo = ReadTextFile("/proc/meminfo");
  facts.RAMTotal = linux_files::MemInfoBytes(memInfo, "MemTotal");
  facts.RAMFree = linux_files::MemInfoBytes(memInfo, "MemAvailable");
  struct sysinfo si {};
  const bool haveSysinfo = sysinfo(&si) == 0;
  if (facts.RAMTotal < 0) {
    facts.RAMTotal = haveSysinfo ? static_cast<std::int64_t>(si.totalram) * si.mem_unit : 0;
  }
  if (facts.RAMFree < 0) {
    facts.RAMFree = haveSysinfo ? static_cast<std::int64_t>(si.freeram) * si.mem_unit : 0;
  }
}

std::string ReadComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string ReadUserName() {
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
  for (const char* variable : {"USER", "LOGNAME"}) {
    if (const char* value = std::getenv(variable); value && *value) return value;
  }
  return {};
}

}  // namespace

std::string ProgramFilePath() {
  std::error_code ec;
  const fs::path path = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

TMachineFacts ReadMachineFacts() {
  TMachineFacts facts;
  facts.ProgramFilePath = ProgramFilePath();
  facts.OSName = ReadOSName();
  facts.CPUName = linux_files::CpuInfoModelName(ReadTextFile("/proc/cpuinfo"));
  facts.CPUCores = ReadPhysicalCores();
  ReadMemory(facts);
  facts.ComputerName = ReadComputerName();
  facts.UserName = ReadUserName();
  facts.Monitors = ReadMonitors();
  return facts;
}

}  // namespace lumaren::platform
