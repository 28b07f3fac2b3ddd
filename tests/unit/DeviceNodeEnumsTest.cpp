// Conversions of wire ordinals to the protocol's enumerations.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "protocol/uDeviceNode.h"

namespace lumaren {
namespace {

TEST(ProtocolEnums, MessageTypeKeepsRangeAndFallsBackToUndefined) {
  struct Case {
    std::int32_t value;
    TMessageType expected;
  };
  const Case cases[] = {
      {0, TMessageType::mtUndefined},
      {1, TMessageType::mtAnnounce},
      {6, TMessageType::mtDisplayData},
      {7, TMessageType::mtUndefined},   // one past the last ordinal
      {-1, TMessageType::mtUndefined},  // negative
      {256 + 2, TMessageType::mtUndefined},  // would alias 2 if truncated to a byte
      {std::numeric_limits<std::int32_t>::min(), TMessageType::mtUndefined},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(IntToMessageType(c.value), c.expected);
  }
}

TEST(ProtocolEnums, DeviceTypeAndWindowStateConversions) {
  EXPECT_EQ(IntToDeviceType(2), TDeviceType::dtDisplay);
  EXPECT_EQ(IntToDeviceType(3), TDeviceType::dtUndefined);
  EXPECT_EQ(IntToWindowState(2), TWindowState::wsMaximized);
  EXPECT_EQ(IntToWindowState(3), TWindowState::wsNormal);
  EXPECT_EQ(IntToWindowState(-5), TWindowState::wsNormal);
}

TEST(ProtocolEnums, DeviceTypeTexts) {
  EXPECT_EQ(DeviceTypeToStr(TDeviceType::dtUndefined), "Undefined");
  EXPECT_EQ(DeviceTypeToStr(TDeviceType::dtAny), "N/A");
  EXPECT_EQ(DeviceTypeToStr(TDeviceType::dtDisplay), "Display");
}

}  // namespace
}  // namespace lumaren
