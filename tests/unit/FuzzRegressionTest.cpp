// Every seed of the fuzz targets and every input that once broke one of
// their invariants, replayed through the same entries the fuzzers call
// (tests/fuzz), so a fixed finding stays fixed without clang or libFuzzer.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzEntries.h"
#include "fuzz/FuzzText.h"

namespace lumaren {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const std::string& target) {
  std::vector<fs::path> files;
  const fs::path data = fs::path(LUMAREN_SOURCE_DIR) / "tests" / "data";
  for (const char* folder : {"fuzz-seeds", "fuzz-regressions"}) {
    const fs::path dir = data / folder / target;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class FuzzRegression : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, EveryKeptInputKeepsTheInvariants) {
  const std::vector<fs::path> inputs = InputsOf(GetParam());
  ASSERT_FALSE(inputs.empty()) << "no seeds for the target " << GetParam();
  const auto rig = fuzz::NewFuzzRig(GetParam());
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.string());
    try {
      rig->Run(fuzz::ReadBytes(input));
    } catch (const fuzz::EFuzzInvariant& e) {
      ADD_FAILURE() << "invariant broken: " << e.what();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "exception from the code under test: " << e.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(fuzz::FuzzTargetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace lumaren
