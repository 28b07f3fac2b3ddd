#include "services/uFileHelpers.h"

#include <memory>

namespace lumaren {

namespace {

struct TIdentity {
  std::string CompanyName;
  std::string ProductName;
  std::string ProductVersion;
};

std::unique_ptr<TIdentity> GIdentity;

}  // namespace

std::string CompanyName() { return GIdentity ? GIdentity->CompanyName : std::string(); }
std::string ProductName() { return GIdentity ? GIdentity->ProductName : std::string(); }
std::string ProductVersion() { return GIdentity ? GIdentity->ProductVersion : std::string(); }

void FileHelpersModuleStart(const platform::TVersionInfo& versionInfo) {
  // The version the program presents is the file's, not the product's.
  GIdentity = std::make_unique<TIdentity>(
      TIdentity{versionInfo.CompanyName, versionInfo.ProductName, versionInfo.FileVersion});
}

void FileHelpersModuleEnd() { GIdentity.reset(); }

std::string BytesToStr(std::int64_t bytes) {
  // The unit is chosen on the exact count, before any rounding, so
  // 2^20 - 1 bytes stays in KB even though it rounds to 1024.
  std::int64_t divisor = 1;
  const char* unit = "bytes";
  if (bytes >= GB) {
    divisor = GB;
    unit = "GB";
  } else if (bytes >= MB) {
    divisor = MB;
    unit = "MB";
  } else if (bytes >= KB) {
    divisor = KB;
    unit = "KB";
  }

  // Integer arithmetic on the exact quotient: a decimal floating-point
  // detour would round 1152/1024 = 1.125 down to 1.12. Counts below 1024 are
  // whole numbers, so only positive counts ever carry a fraction here.
  std::int64_t whole = bytes / divisor;
  const std::int64_t remainder = bytes % divisor;  // below 2^30, so * 100 fits
  std::int64_t hundredths = remainder * 100 / divisor;
  if ((remainder * 100 % divisor) * 2 >= divisor) ++hundredths;  // half away from zero
  if (hundredths == 100) {
    ++whole;
    hundredths = 0;
  }

  std::string text = whole != 0 ? std::to_string(whole) : std::string();
  if (hundredths != 0) {
    text += '.';
    text += static_cast<char>('0' + hundredths / 10);
    if (hundredths % 10 != 0) text += static_cast<char>('0' + hundredths % 10);
  }
  return text + " " + unit;
}

}  // namespace lumaren
