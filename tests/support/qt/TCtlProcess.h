#pragma once
// Runs the built lumaren-ctl as a process while the Qt event loop keeps
// going, so a node in the test (or the real program) goes on announcing and
// receiving while the tool works.

#include <chrono>
#include <string>
#include <vector>

namespace lumaren::test {

struct TCtlResult {
  int ExitCode = -1;  // -1: did not start, did not end in time, or crashed
  std::string Out;
  std::string Err;
};

TCtlResult RunCtl(const std::vector<std::string>& args,
                  std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The path of the built lumaren-ctl.
std::string CtlExecutable();

}  // namespace lumaren::test
