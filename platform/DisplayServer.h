#pragma once
// The choice of the window system connection, made before the Qt
// application object exists. The program places its window at stored
// positions, which a Wayland session does not let clients do; XWayland does.

#include <optional>
#include <string>

namespace lumaren::platform {

// The environment values the choice looks at; std::nullopt for an unset
// variable. An empty value counts as unset.
struct TDisplayEnvironment {
  std::optional<std::string> QtQpaPlatform;   // QT_QPA_PLATFORM
  std::optional<std::string> WaylandDisplay;  // WAYLAND_DISPLAY
  std::optional<std::string> XdgSessionType;  // XDG_SESSION_TYPE
  std::optional<std::string> Display;         // DISPLAY
};

// True when the program should ask Qt for XWayland ("xcb"): the user chose
// no platform, the session is Wayland (WAYLAND_DISPLAY set or
// XDG_SESSION_TYPE "wayland") and an X display is there to use.
bool ShouldPreferXWayland(const TDisplayEnvironment& environment);

// Reads the process environment and sets QT_QPA_PLATFORM=xcb when
// ShouldPreferXWayland says so. Call before the application object is made.
void PreferXWaylandOnWayland();

}  // namespace lumaren::platform
