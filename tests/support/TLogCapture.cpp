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

namespace {

// An entry line reads "stamp | severity | title | text".
std::vector<std::string> EntryTexts(const std::string& marker) {
  std::ifstream in(SessionLogFileName(), std::ios::binary);
  std::vector<std::string> texts;
  std::string line;
  while (std::getline(in, line)) {
    const auto at = line.find(marker);
    if (at != std::string::npos) texts.push_back(line.substr(at + marker.size()));
  }
  return texts;
}

}  // namespace

std::vector<std::string> TLogCapture::Errors() const { return EntryTexts(" | Error | Error | "); }

std::vector<std::string> TLogCapture::Sessions() const { return EntryTexts(" | Information | Session | "); }

}  // namespace lumaren::test
