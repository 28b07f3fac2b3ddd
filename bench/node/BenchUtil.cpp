#include "BenchUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numeric>
#include <sstream>

#include <pugixml.hpp>
#include <unistd.h>

#include "display/uDisplayLine.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"

namespace lumaren::bench {

std::int64_t NowNanos() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(samples.size()));
  const auto index = static_cast<std::size_t>(std::clamp(rank, 1.0, static_cast<double>(samples.size())));
  return samples[index - 1];
}

double Mean(const std::vector<double>& samples) {
  if (samples.empty()) return 0;
  return std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
}

namespace {

const char* const kShortTexts[] = {"Platform 4", "Doors close in 2 min", "Next: Room B", "Track 7 ready",
                                   "Stage call: Act II"};
const char* const kWidthExtras[] = {"", " now", " - see desk", " - please wait here", " - ask at the front desk",
                                    " - follow the blue signs to the hall"};

std::string Seq(std::uint64_t seq) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%08llu", static_cast<unsigned long long>(seq % 100000000));
  return buffer;
}

std::string Build(int lineCount, std::uint64_t seq, int width, std::size_t longText) {
  TDisplayLineList list;
  list.Clear();
  for (int i = 0; i < lineCount; ++i) {
    auto line = std::make_unique<TDisplayLine>();
    std::string text = i == 0 ? Seq(seq) + " " : std::string();
    text += kShortTexts[i % 5];
    text += kWidthExtras[static_cast<std::size_t>(width) % 6];
    if (longText > 0) {
      while (text.size() < longText) text += " lorem ipsum";
      text.resize(longText);
    }
    line->TextCentre = text;
    list.Add(std::move(line));
  }
  pugi::xml_document doc;
  const TXMLNode root = NewMessage(doc, TMessageType::mtDisplayData);
  AddXMLAtt(AddXMLElement(root, "Device"), "Type", static_cast<std::int32_t>(TDeviceType::dtAny));
  list.XMLWrite(AddXMLElement(root, "Display"));
  return MessageText(doc);
}

}  // namespace

std::string DisplayDataMessage(int lineCount, std::uint64_t seq, int width) {
  if (lineCount <= 10) return Build(lineCount, seq, width, 0);
  // As close below 8 KB as the line count allows.
  std::size_t longText = 160;
  std::string text = Build(lineCount, seq, width, longText);
  while (text.size() > 8100 && longText > 1) text = Build(lineCount, seq, width, --longText);
  return text;
}

std::int64_t SeqOfText(const std::string& centre) {
  if (centre.size() < 9 || centre[0] != '#') return -1;
  std::int64_t seq = 0;
  for (std::size_t i = 1; i < 9; ++i) {
    if (centre[i] < '0' || centre[i] > '9') return -1;
    seq = seq * 10 + (centre[i] - '0');
  }
  return seq;
}

std::string ShutdownMessage() {
  pugi::xml_document doc;
  const TXMLNode root = NewMessage(doc, TMessageType::mtShutdown);
  AddXMLAtt(AddXMLElement(root, "Device"), "Type", static_cast<std::int32_t>(TDeviceType::dtAny));
  return MessageText(doc);
}

namespace {

std::string ProcPath(int pid, const std::string& leaf) {
  return "/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) + "/" + leaf;
}

long StatusField(const std::string& path, const std::string& field) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, field.size(), field) == 0 && line.size() > field.size() && line[field.size()] == ':') {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return -1;
}

}  // namespace

long RssKiB(int pid) { return StatusField(ProcPath(pid, "status"), "VmRSS"); }

long RssAnonKiB(int pid) { return StatusField(ProcPath(pid, "status"), "RssAnon"); }

double CpuSeconds(int pid) {
  std::ifstream in(ProcPath(pid, "stat"));
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The fields after the command name, which may hold spaces.
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0;
  long stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) {
      stime = std::stol(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ContextSwitches(int pid) {
  long total = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator(ProcPath(pid, "task"), ec)) {
    const long v = StatusField((task.path() / "status").string(), "voluntary_ctxt_switches");
    if (v > 0) total += v;
  }
  return total;
}

long UdpReceiveBufferErrors() {
  std::ifstream in("/proc/net/snmp");
  std::string header;
  std::string values;
  while (std::getline(in, header)) {
    if (header.rfind("Udp:", 0) != 0) continue;
    std::getline(in, values);
    std::istringstream names(header);
    std::istringstream numbers(values);
    std::string name;
    std::string number;
    while (names >> name && numbers >> number) {
      if (name == "RcvbufErrors") return std::stol(number);
    }
  }
  return -1;
}

TResults ParseResults(const std::string& text) {
  TResults results;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && eq > 0) results[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return results;
}

void Report(const std::string& key, double value) {
  std::printf("%s=%.17g\n", key.c_str(), value);
  std::fflush(stdout);
}

void Report(const std::string& key, const std::string& value) {
  std::printf("%s=%s\n", key.c_str(), value.c_str());
  std::fflush(stdout);
}

}  // namespace lumaren::bench
