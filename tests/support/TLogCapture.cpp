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
std::vector<std::string> LoggedTexts(const std::string& title) {
  std::ifstream in(SessionLogFileName(), std::ios::binary);
  std::vector<std::string> texts;
  std::string line;
  const std::string separator = " | ";
  while (std::getline(in, line)) {
    const auto severityEnd = line.find(separator, line.find(separator) + 1);
    const auto titleEnd = line.find(separator, severityEnd + 1);
    if (severityEnd == std::string::npos || titleEnd == std::string::npos) continue;
    const auto titleStart = severityEnd + separator.size();
    if (line.compare(titleStart, titleEnd - titleStart, title) == 0) {
      texts.push_back(line.substr(titleEnd + separator.size()));
    }
  }
  return texts;
}

std::vector<std::string> TLogCapture::Errors() const { return LoggedTexts("Error"); }

std::vector<std::string> TLogCapture::Sessions() const { return LoggedTexts("Session"); }

}  // namespace lumaren::test
