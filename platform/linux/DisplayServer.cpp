#include "platform/DisplayServer.h"

#include <cstdlib>

namespace lumaren::platform {

namespace {

bool IsSet(const std::optional<std::string>& value) { return value && !value->empty(); }

std::optional<std::string> Environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

}  // namespace

bool ShouldPreferXWayland(const TDisplayEnvironment& environment) {
  if (IsSet(environment.QtQpaPlatform)) return false;  // the user's choice stands
  const bool wayland = IsSet(environment.WaylandDisplay) ||
                       (environment.XdgSessionType && *environment.XdgSessionType == "wayland");
  return wayland && IsSet(environment.Display);
}

void PreferXWaylandOnWayland() {
  const TDisplayEnvironment environment{Environment("QT_QPA_PLATFORM"), Environment("WAYLAND_DISPLAY"),
                                        Environment("XDG_SESSION_TYPE"), Environment("DISPLAY")};
  if (ShouldPreferXWayland(environment)) setenv("QT_QPA_PLATFORM", "xcb", 1);
}

}  // namespace lumaren::platform
