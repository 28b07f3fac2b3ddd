#include "platform/Paths.h"

#include <cstdlib>
#include <filesystem>

#include <pwd.h>
#include <unistd.h>

namespace lumaren::platform {

namespace {

std::string HomeDir() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// XDG asks for absolute paths; a relative value is ignored like an unset one.
std::string XdgDir(const char* variable, const char* fallbackBelowHome) {
  if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
  return HomeDir() + "/" + fallbackBelowHome;
}

}  // namespace

std::string ConfigHome() { return XdgDir("XDG_CONFIG_HOME", ".config"); }

std::string StateHome() { return XdgDir("XDG_STATE_HOME", ".local/state"); }

std::string RuntimeDir() {
  if (const char* value = std::getenv("XDG_RUNTIME_DIR"); value && value[0] == '/') return value;
  return std::filesystem::temp_directory_path().string();
}

}  // namespace lumaren::platform
