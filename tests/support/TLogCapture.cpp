#include "support/TLogCapture.h"

#include <fstream>
#include <sstream>

#include "services/uFileHelpers.h"
#include "services/uLogs.h"

namespace lumaren::test {

TLogCapture::TLogCapture() {
  FileHelpersModuleStart({"Test Maker", "Test Product", "1.0.0.0", "1.0.0.0"});
  LogsModuleStart((FFolder / "logs").string(), platform::TMachineFacts{}, platform::TDateTimeSeparators{});
}

TLogCapture::~TLogCapture() {
  LogsModuleEnd();
  FileHelpersModuleEnd();
}

// An entry line reads "stamp | severity | title | text".
std::vector<std::string> TLogCapture::Errors() const {
  std::ifstream in(SessionLogFileName(), std::ios::binary);
  std::vector<std::string> errors;
  std::string line;
  const std::string marker = " | Error | Error | ";
  while (std::getline(in, line)) {
    const auto at = line.find(marker);
    if (at != std::string::npos) errors.push_back(line.substr(at + marker.size()));
  }
  return errors;
}

}  // namespace lumaren::test
