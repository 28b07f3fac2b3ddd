#pragma once
// The program's identity and the byte-count formatting used wherever a size
// is shown to a person.

#include <cstdint>
#include <string>

#include "platform/VersionInfo.h"

namespace lumaren {

inline constexpr std::int64_t KB = 1024;
inline constexpr std::int64_t MB = 1048576;     // 2^20
inline constexpr std::int64_t GB = 1073741824;  // 2^30

// Valid from FileHelpersModuleStart to FileHelpersModuleEnd, empty outside.
std::string CompanyName();
std::string ProductName();
// The FileVersion string: the version the program shows, logs and announces.
std::string ProductVersion();

// Takes CompanyName, ProductName and FileVersion from the program's version
// information (platform::ReadVersionInfo() in the program, made-up ones in tests).
void FileHelpersModuleStart(const platform::TVersionInfo& versionInfo);
void FileHelpersModuleEnd();

// The count in bytes, KB, MB or GB (units of 1024, each threshold inclusive),
// at most two decimals with halves rounded away from zero, trailing zeros
// dropped, "." as decimal separator whatever the C locale, no grouping, and a
// zero integer part left out: 0 gives " bytes", 1152 gives "1.13 KB",
// 2^20 - 1 gives "1024 KB". Negative counts stay in bytes.
std::string BytesToStr(std::int64_t bytes);

}  // namespace lumaren
