#pragma once
// Colours of the program are ints in the Windows layout: red in the low
// byte, green in the second, blue in the third. Qt wants them the other way
// round; these two are the only place that knows both.

#include <QColor>

#include <cstdint>

#include "protocol/uXMLHelpers.h"

namespace lumaren::platform {

// The top byte (clNone, a system colour reference) is not a colour; only the
// low 24 bits are drawn.
inline QColor TColorToQColor(TColor color) {
  const auto bits = static_cast<std::uint32_t>(color);
  return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

inline TColor QColorToTColor(const QColor& color) {
  return color.red() | (color.green() << 8) | (color.blue() << 16);
}

}  // namespace lumaren::platform
