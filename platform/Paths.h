#pragma once
// Where the program keeps its files. The folders follow the XDG base
// directories; callers append CompanyName/ProductName themselves.

#include <string>

namespace lumaren::platform {

// The roaming application data: $XDG_CONFIG_HOME, else ~/.config.
std::string ConfigHome();
// Logs and crash reports: $XDG_STATE_HOME, else ~/.local/state.
std::string StateHome();
// Sockets: $XDG_RUNTIME_DIR, else the system's temporary folder.
std::string RuntimeDir();

}  // namespace lumaren::platform
