#pragma once
// The program's own version information: the strings the build stamps into
// the program from the CMake project, read back once at start.

#include <string>

namespace lumaren::platform {

struct TVersionInfo {
  std::string CompanyName;
  std::string ProductName;
  std::string FileVersion;     // the version the program shows, logs and announces
  std::string ProductVersion;  // the product's marketing version, shown nowhere
};

TVersionInfo ReadVersionInfo();

}  // namespace lumaren::platform
