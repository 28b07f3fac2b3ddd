// The keep-awake switch makes one system call per change of state, and the
// module's end always leaves it off.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "services/uSystemCritical.h"

namespace lumaren {
namespace {

class SystemCriticalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SystemCriticalModuleStart([this](std::uint32_t flags) { calls.push_back(flags); });
  }
  void TearDown() override { SystemCriticalModuleEnd(); }

  std::vector<std::uint32_t> calls;
};

TEST_F(SystemCriticalTest, StartsOffWithoutASystemCall) {
  EXPECT_FALSE(SystemCritical->IsCritical());
  EXPECT_TRUE(calls.empty());
}

TEST_F(SystemCriticalTest, OneCallPerChangeOfState) {
  SystemCritical->SetIsCritical(true);
  SystemCritical->SetIsCritical(true);
  EXPECT_EQ(calls, (std::vector<std::uint32_t>{0x80000003u}));
  SystemCritical->SetIsCritical(false);
  SystemCritical->SetIsCritical(false);
  EXPECT_EQ(calls, (std::vector<std::uint32_t>{0x80000003u, 0x80000000u}));
  SystemCritical->SetIsCritical(true);
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_TRUE(SystemCritical->IsCritical());
}

TEST_F(SystemCriticalTest, ModuleEndWithdrawsAStandingRequestOnce) {
  SystemCritical->SetIsCritical(true);
  SystemCriticalModuleEnd();
  EXPECT_EQ(calls, (std::vector<std::uint32_t>{0x80000003u, 0x80000000u}));
  EXPECT_EQ(SystemCritical, nullptr);
}

TEST_F(SystemCriticalTest, ModuleEndAfterCloseMakesNoSecondCall) {
  SystemCritical->SetIsCritical(true);
  SystemCritical->SetIsCritical(false);
  SystemCriticalModuleEnd();
  EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
}  // namespace lumaren
