#pragma once
// The protocol's vocabulary: enumerations, constants and their conversions.
// Node records and the shared UDP server join this unit as they are built.

#include <cstdint>
#include <initializer_list>
#include <string>

namespace lumaren {

enum class TDeviceType : std::uint8_t { dtUndefined = 0, dtAny = 1, dtDisplay = 2 };

enum class TMessageType : std::uint8_t {
  mtUndefined = 0,
  mtAnnounce = 1,
  mtAcknowledge = 2,
  mtShutdown = 3,
  mtParamsSet = 4,
  mtParamsInfo = 5,
  mtDisplayData = 6,
};

enum class TNodeCapability : std::uint8_t { ncWindowState = 0, ncWindowSize = 1 };

// A set of capabilities, one bit per TNodeCapability ordinal.
class TNodeCapabilities {
 public:
  constexpr TNodeCapabilities() = default;
  constexpr TNodeCapabilities(std::initializer_list<TNodeCapability> caps) {
    for (auto c : caps) FBits |= Bit(c);
  }
  constexpr bool Contains(TNodeCapability c) const { return (FBits & Bit(c)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TNodeCapabilities& o) const { return FBits == o.FBits; }
  constexpr bool operator!=(const TNodeCapabilities& o) const { return FBits != o.FBits; }

 private:
  static constexpr std::uint8_t Bit(TNodeCapability c) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(c));
  }
  std::uint8_t FBits = 0;
};

enum class TNodeCountType : std::uint8_t { nctAll = 0, nctOnline = 1, nctOffline = 2 };

enum class TNodeEvent : std::uint8_t { neInvalid = 0, neNew = 1, neOnline = 2, neOffline = 3, neUpdate = 4 };

// The window state carried by the "Window" element's "State" attribute.
enum class TWindowState : std::uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

inline constexpr const char* XML_TOP_NODE = "VELOMARK";
inline constexpr int CON_UDPPortDefault = 1965;
inline constexpr int CON_NodeTimeout = 2000;              // ms without an announcement
inline constexpr int CON_HeartbeatIntervalDefault = 1000;  // ms between announcements

// Out-of-range values (negative or too large) give the enumeration's first value.
TMessageType IntToMessageType(std::int32_t value);
TDeviceType IntToDeviceType(std::int32_t value);
TWindowState IntToWindowState(std::int32_t value);

// "Undefined", "N/A" or "Display": for log lines and hints, never sent.
std::string DeviceTypeToStr(TDeviceType type);

}  // namespace lumaren
