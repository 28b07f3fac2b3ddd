#include "support/TTempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace lumaren::test {

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumaren-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  FPath = buffer.data();
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

}  // namespace lumaren::test
