#pragma once
// Facts about this machine and this program for the log header. Plain data,
// so the log can be tested with made-up machines.

#include <cstdint>
#include <string>
#include <vector>

namespace lumaren::platform {

struct TMonitorInfo {
  // Identifies the monitor across runs: a hash of the name the system gives
  // the screen (its connector, e.g. "HDMI-1"), 0 to 2^31-1.
  std::int64_t Handle = 0;
  int Width = 0;   // device pixels
  int Height = 0;
  int Left = 0;    // virtual-screen position, may be negative
  int Top = 0;
};

struct TMachineFacts {
  std::string ProgramFilePath;  // full path of the running program file
  std::string OSName;
  std::string CPUName;
  int CPUCores = 0;             // physical cores, 0 when unknown, at most 255
  std::int64_t RAMTotal = 0;    // bytes
  std::int64_t RAMFree = 0;     // bytes available to new programs without swapping
  std::string ComputerName;
  std::string UserName;
  std::vector<TMonitorInfo> Monitors;  // in the system's screen order
};

// Reads every fact; the monitors need the GUI application to be up (without
// it the list is empty). Facts that cannot be read are left empty or 0.
TMachineFacts ReadMachineFacts();

// The screens of the running GUI application, primary first as the system
// orders them; empty when there is no GUI application.
std::vector<TMonitorInfo> ReadMonitors();

// The full path of the running program file ("" when it cannot be read).
std::string ProgramFilePath();

}  // namespace lumaren::platform
