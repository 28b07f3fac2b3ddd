#include "platform/Locale.h"

#include <langinfo.h>
#include <locale.h>

namespace lumaren::platform {

namespace {

// Formats that stand for several fields; their separators are fixed.
std::string ExpandComposites(const std::string& format) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      const char c = format[i + 1];
      const char* expansion = c == 'D' ? "%m/%d/%y"
                              : c == 'F' ? "%Y-%m-%d"
                              : c == 'T' ? "%H:%M:%S"
                              : c == 'R' ? "%H:%M"
                              : c == 'r' ? "%I:%M:%S %p"
                                         : nullptr;
      if (expansion) {
        out += expansion;
      } else {
        out += format.substr(i, 2);
      }
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

bool IsFlagOrWidth(char c) {
  return c == '-' || c == '_' || c == '0' || c == '^' || c == '#' || (c >= '1' && c <= '9') || c == 'E' ||
         c == 'O';
}

// Index just past the conversion that starts at `at` (a '%').
std::size_t SkipConversion(const std::string& f, std::size_t at) {
  std::size_t i = at + 1;
  while (i < f.size() && IsFlagOrWidth(f[i])) ++i;
  return i < f.size() ? i + 1 : i;
}

bool UsableSeparator(const std::string& s) {
  if (s.empty() || s.size() > 4) return false;
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    // Letters belong to words like "de" or "年"; the log keeps plain marks.
    if (u >= 0x80 || c == '%' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
      return false;
  }
  return true;
}

}  // namespace

std::string FormatSeparator(const std::string& format) {
  const std::string f = ExpandComposites(format);
  std::size_t first = f.find('%');
  while (first != std::string::npos && first + 1 < f.size() && f[first + 1] == '%') first = f.find('%', first + 2);
  if (first == std::string::npos) return {};
  const std::size_t afterFirst = SkipConversion(f, first);
  const std::size_t second = f.find('%', afterFirst);
  if (second == std::string::npos) return {};
  std::string separator = f.substr(afterFirst, second - afterFirst);
  return UsableSeparator(separator) ? separator : std::string();
}

TDateTimeSeparators UserDateTimeSeparators() {
  TDateTimeSeparators separators;
  // A locale object of its own: the answer does not depend on whether
  // anyone in the process has called setlocale.
  const locale_t userLocale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (userLocale == static_cast<locale_t>(nullptr)) return separators;
  if (std::string date = FormatSeparator(nl_langinfo_l(D_FMT, userLocale)); !date.empty()) separators.Date = date;
  if (std::string time = FormatSeparator(nl_langinfo_l(T_FMT, userLocale)); !time.empty()) separators.Time = time;
  freelocale(userLocale);
  return separators;
}

}  // namespace lumaren::platform
