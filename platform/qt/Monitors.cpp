#include <QGuiApplication>
#include <QScreen>

#include <cmath>

#include "platform/MachineInfo.h"

namespace lumaren::platform {

namespace {

// Screens have no handle here; a hash of the name the system gives the
// screen (its connector) stays the same across runs and screen reordering.
// FNV-1a, kept to 31 bits so the number reads as a plain positive one.
std::int64_t ScreenHandle(const QScreen& screen) {
  std::uint32_t hash = 2166136261u;
  for (const char byte : screen.name().toUtf8()) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 16777619u;
  }
  return static_cast<std::int64_t>(hash & 0x7FFFFFFFu);
}

}  // namespace

std::vector<TMonitorInfo> ReadMonitors() {
  std::vector<TMonitorInfo> monitors;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return monitors;
  for (const QScreen* screen : QGuiApplication::screens()) {
    // Qt gives sizes in device-independent pixels and keeps each screen's
    // origin at its device position; the size is scaled back to pixels.
    const QRect geometry = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    TMonitorInfo info;
    info.Handle = ScreenHandle(*screen);
    info.Width = static_cast<int>(std::lround(geometry.width() * ratio));
    info.Height = static_cast<int>(std::lround(geometry.height() * ratio));
    info.Left = geometry.left();
    info.Top = geometry.top();
    monitors.push_back(info);
  }
  return monitors;
}

}  // namespace lumaren::platform
