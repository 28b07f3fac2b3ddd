// The program's identity strings and the byte-count formatting.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "services/uFileHelpers.h"

namespace lumaren {
namespace {

TEST(FileHelpers, VersionShownIsTheFileVersion) {
  FileHelpersModuleStart({"Maker Ltd", "Gizmo", "3.2.1.0", "3.0.0.0"});
  EXPECT_EQ(CompanyName(), "Maker Ltd");
  EXPECT_EQ(ProductName(), "Gizmo");
  EXPECT_EQ(ProductVersion(), "3.2.1.0");
  FileHelpersModuleEnd();
  EXPECT_EQ(CompanyName(), "");
  EXPECT_EQ(ProductName(), "");
  EXPECT_EQ(ProductVersion(), "");
}

TEST(FileHelpers, BytesToStr) {
  constexpr std::int64_t kib = 1024, mib = kib * kib, gib = mib * kib;
  struct Case {
    std::int64_t bytes;
    const char* expected;
  };
  const Case cases[] = {
      {0, " bytes"},             // a zero integer part is not written
      {1, "1 bytes"},
      {512, "512 bytes"},
      {1023, "1023 bytes"},
      {1024, "1 KB"},            // thresholds are inclusive
      {1536, "1.5 KB"},          // trailing zero dropped
      {1152, "1.13 KB"},         // 1.125 exactly: the half goes up
      {1029, "1 KB"},            // 1.0049 rounds to a whole number, no "."
      {1034, "1.01 KB"},         // 1.0098: leading zero of the decimals kept
      {1127, "1.1 KB"},          // 1.1006
      {mib - 1, "1024 KB"},      // unit chosen before rounding
      {mib, "1 MB"},
      {mib + mib / 200, "1 MB"}, // 1.00499...: below the half
      {gib - 1, "1024 MB"},
      {gib, "1 GB"},
      {16 * gib, "16 GB"},
      {gib + gib / 2, "1.5 GB"},
      {1024 * gib, "1024 GB"},   // no larger unit, no grouping
      {std::numeric_limits<std::int64_t>::max(), "8589934592 GB"},
      {-1, "-1 bytes"},          // negative counts stay in bytes
      {-1536, "-1536 bytes"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(BytesToStr(c.bytes), c.expected);
  }
}

}  // namespace
}  // namespace lumaren
