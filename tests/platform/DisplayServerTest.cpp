// The choice of XWayland over Wayland before the application starts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/DisplayServer.h"

namespace lumaren::platform {
namespace {

TEST(DisplayServer, ShouldPreferXWayland) {
  const std::nullopt_t unset = std::nullopt;
  struct Case {
    TDisplayEnvironment environment;
    bool expected;
    const char* why;
  };
  const Case cases[] = {
      {{unset, "wayland-0", unset, ":0"}, true, "Wayland session with XWayland"},
      {{unset, unset, "wayland", ":1"}, true, "session type alone names Wayland"},
      {{"", "wayland-0", "wayland", ":0"}, true, "an empty platform is no choice"},
      {{"wayland", "wayland-0", "wayland", ":0"}, false, "the user chose Wayland"},
      {{"offscreen", "wayland-0", unset, ":0"}, false, "the user chose another platform"},
      {{"xcb", "wayland-0", unset, ":0"}, false, "already xcb: nothing to change"},
      {{unset, "wayland-0", "wayland", unset}, false, "no X display to use"},
      {{unset, "wayland-0", "wayland", ""}, false, "an empty DISPLAY is no display"},
      {{unset, unset, "x11", ":0"}, false, "an X11 session"},
      {{unset, "", "tty", ":0"}, false, "an empty WAYLAND_DISPLAY is no Wayland"},
      {{unset, unset, unset, unset}, false, "no session at all"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ShouldPreferXWayland(c.environment), c.expected);
  }
}

// Restores the variables this test changes.
class TSavedEnvironment {
 public:
  explicit TSavedEnvironment(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* value = std::getenv(name);
      FSaved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~TSavedEnvironment() {
    for (const auto& [name, value] : FSaved) {
      if (value) setenv(name, value->c_str(), 1);
      else unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

TEST(DisplayServer, PreferXWaylandOnWaylandSetsThePlatform) {
  TSavedEnvironment saved{"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DISPLAY"};
  unsetenv("QT_QPA_PLATFORM");
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  unsetenv("XDG_SESSION_TYPE");
  setenv("DISPLAY", ":0", 1);
  PreferXWaylandOnWayland();
  ASSERT_NE(std::getenv("QT_QPA_PLATFORM"), nullptr);
  EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "xcb");

  setenv("QT_QPA_PLATFORM", "wayland", 1);
  PreferXWaylandOnWayland();
  EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "wayland");
}

}  // namespace
}  // namespace lumaren::platform
