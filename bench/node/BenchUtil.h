#pragma once
// What the display node's benchmarks share: the monotonic clock, summaries
// of samples, the datagrams a controller sends, and the process's counters.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumaren::bench {

// CLOCK_MONOTONIC in nanoseconds; the same clock in every process.
std::int64_t NowNanos();

// The p-th percentile (0..100) of the samples, nearest rank; 0 when empty.
double Percentile(std::vector<double> samples, double p);
double Mean(const std::vector<double>& samples);

// The median cost of one call of body, in microseconds, over rounds rounds
// of iterations calls each, every call timed on its own: the median is the
// figure least moved by other work on a shared machine.
template <typename TBody>
double MicrosPerCall(int iterations, int rounds, TBody body) {
  std::vector<double> samples;
  samples.reserve(static_cast<std::size_t>(iterations) * static_cast<std::size_t>(rounds));
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < iterations; ++i) {
      const std::int64_t start = NowNanos();
      body(i);
      samples.push_back(static_cast<double>(NowNanos() - start) / 1000.0);
    }
  }
  return Percentile(std::move(samples), 50);
}

// A DisplayData datagram of lineCount lines as a controller sends it. The
// first line's centre text starts with "#" and seq in eight digits, so a
// paint can tell which datagram it shows; width picks one of a few text
// lengths (0 keeps every datagram the same length, so the fitted size does
// not change between them). 60 lines come to about 8 KB, the most a
// datagram may carry.
std::string DisplayDataMessage(int lineCount, std::uint64_t seq, int width = 0);
// The seq of DisplayDataMessage's first centre text; -1 for other text.
std::int64_t SeqOfText(const std::string& centre);
std::string ShutdownMessage();

// From /proc: this process's resident set in KiB, its CPU time in seconds,
// its threads' context switches (each voluntary one is a wake-up).
long RssKiB(int pid = 0);
// The anonymous part of it (heap and other private memory, no mapped files).
long RssAnonKiB(int pid = 0);
double CpuSeconds(int pid = 0);
long ContextSwitches(int pid = 0);
// The namespace's count of UDP datagrams dropped for a full receive buffer.
long UdpReceiveBufferErrors();

// "key=value" lines, as the benchmark programs report to the driver.
using TResults = std::map<std::string, std::string>;
TResults ParseResults(const std::string& text);
void Report(const std::string& key, double value);
void Report(const std::string& key, const std::string& value);

}  // namespace lumaren::bench
