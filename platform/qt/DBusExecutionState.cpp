// Keep-awake on a Linux desktop: the session's screen saver is inhibited over
// D-Bus (org.freedesktop.ScreenSaver), and systemd-logind is asked for an
// "idle:sleep" block inhibitor, which holds as long as we keep its descriptor.
// Without a bus or without the services, every call quietly does nothing.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include <optional>

#include "platform/ExecutionState.h"

namespace lumaren::platform {

namespace {

// A missing service must not hold up start-up or shut-down.
constexpr int kCallTimeoutMs = 1000;

class TDBusExecutionState : public TExecutionState {
 public:
  ~TDBusExecutionState() override { Release(); }

  void SetExecutionState(std::uint32_t flags) override {
    const bool awake = (flags & ES_CONTINUOUS) && (flags & (ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED));
    if (awake) {
      Acquire();
    } else if (flags & ES_CONTINUOUS) {
      Release();
    }
  }

 private:
  void Acquire() {
    if (!FScreenSaverCookie) FScreenSaverCookie = InhibitScreenSaver();
    if (!FSleepInhibitor.isValid()) FSleepInhibitor = InhibitSleep();
  }

  void Release() {
    if (FScreenSaverCookie) {
      QDBusConnection bus = QDBusConnection::sessionBus();
      if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("UnInhibit"));
        call << *FScreenSaverCookie;
        bus.call(call, QDBus::Block, kCallTimeoutMs);
      }
      FScreenSaverCookie.reset();
    }
    // Dropping the last copy of the descriptor ends logind's inhibitor.
    FSleepInhibitor = QDBusUnixFileDescriptor();
  }

  static std::optional<uint> InhibitScreenSaver() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
    call << QStringLiteral("Lumaren") << QStringLiteral("Showing the display");
    QDBusReply<uint> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) return std::nullopt;
    return reply.value();
  }

  static QDBusUnixFileDescriptor InhibitSleep() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return {};
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("idle:sleep") << QStringLiteral("Lumaren") << QStringLiteral("Showing the display")
         << QStringLiteral("block");
    QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    return reply.isValid() ? reply.value() : QDBusUnixFileDescriptor();
  }

  std::optional<uint> FScreenSaverCookie;
  QDBusUnixFileDescriptor FSleepInhibitor;
};

}  // namespace

std::unique_ptr<TExecutionState> NewSessionExecutionState() { return std::make_unique<TDBusExecutionState>(); }

}  // namespace lumaren::platform
