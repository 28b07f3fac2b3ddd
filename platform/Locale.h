#pragma once
// The user's date and time separators, for dates the user reads.

#include <string>

namespace lumaren::platform {

struct TDateTimeSeparators {
  std::string Date = "/";
  std::string Time = ":";
};

// From the user's time locale (LC_ALL, LC_TIME, LANG), whatever locale the
// process itself has set; "/" and ":" where the locale gives no usable one.
TDateTimeSeparators UserDateTimeSeparators();

// The separator between the first two fields of a date or time format in the
// C library's notation ("%d.%m.%Y" gives "."); "" when there is none usable.
std::string FormatSeparator(const std::string& format);

}  // namespace lumaren::platform
