#include "platform/linux/ProcFiles.h"

#include <cctype>
#include <limits>
#include <locale>
#include <set>
#include <sstream>
#include <utility>

namespace lumaren::platform::linux_files {

namespace {

std::string Trim(const std::string& s) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t b = 0, e = s.size();
  while (b < e && isSpace(s[b])) ++b;
  while (e > b && isSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Splits "key : value" lines of /proc files; false for lines without a colon.
bool SplitColonLine(const std::string& line, std::string& key, std::string& value) {
  const auto colon = line.find(':');
  if (colon == std::string::npos) return false;
  key = Trim(line.substr(0, colon));
  value = Trim(line.substr(colon + 1));
  return true;
}

// os-release values follow shell quoting: one pair of quotes around the
// value, backslash escapes inside double quotes.
std::string UnquoteShellValue(const std::string& raw) {
  std::string v = Trim(raw);
  if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') return v.substr(1, v.size() - 2);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
    std::string out;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
      if (v[i] == '\\' && i + 2 < v.size()) ++i;
      out += v[i];
    }
    return out;
  }
  return v;
}

}  // namespace

std::string OsReleasePrettyName(const std::string& osRelease) {
  std::istringstream in(osRelease);
  std::string line;
  while (std::getline(in, line)) {
    const std::string t = Trim(line);
    if (t.rfind("PRETTY_NAME=", 0) == 0) return UnquoteShellValue(t.substr(12));
  }
  return {};
}

std::string CpuInfoModelName(const std::string& cpuInfo) {
  // x86 names the processor in "model name"; ARM boards in "Hardware" or
  // "Processor"; POWER in "cpu"; s390 in "vendor_id" only.
  static const char* const keys[] = {"model name", "Hardware", "Processor", "cpu", "vendor_id"};
  for (const char* wanted : keys) {
    std::istringstream in(cpuInfo);
    std::string line, key, value;
    while (std::getline(in, line)) {
      if (SplitColonLine(line, key, value) && key == wanted && !value.empty()) return value;
    }
  }
  return {};
}

int CpuInfoPhysicalCores(const std::string& cpuInfo) {
  std::set<std::pair<std::string, std::string>> cores;
  std::string physicalId, coreId;
  bool havePhysical = false, haveCore = false;
  const auto endProcessor = [&] {
    if (havePhysical && haveCore) cores.emplace(physicalId, coreId);
    havePhysical = haveCore = false;
  };
  std::istringstream in(cpuInfo);
  std::string line, key, value;
  while (std::getline(in, line)) {
    if (Trim(line).empty()) {  // a blank line ends one processor's block
      endProcessor();
      continue;
    }
    if (!SplitColonLine(line, key, value)) continue;
    if (key == "processor") endProcessor();
    if (key == "physical id") {
      physicalId = value;
      havePhysical = true;
    } else if (key == "core id") {
      coreId = value;
      haveCore = true;
    }
  }
  endProcessor();
  return static_cast<int>(cores.size());
}

std::int64_t MemInfoBytes(const std::string& memInfo, const std::string& wanted) {
  std::istringstream in(memInfo);
  std::string line, key, value;
  while (std::getline(in, line)) {
    if (!SplitColonLine(line, key, value) || key != wanted) continue;
    std::istringstream number(value);
    number.imbue(std::locale::classic());
    std::int64_t amount = -1;
    std::string unit;
    if (!(number >> amount) || amount < 0) return -1;
    number >> unit;
    if (unit.empty()) return amount;
    if (unit != "kB") return -1;  // the kernel writes kB (meaning KiB) or nothing
    if (amount > std::numeric_limits<std::int64_t>::max() / 1024) return -1;
    return amount * 1024;
  }
  return -1;
}

}  // namespace lumaren::platform::linux_files
