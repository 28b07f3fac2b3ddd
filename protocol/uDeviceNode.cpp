#include "protocol/uDeviceNode.h"

#include <array>

namespace lumaren {

namespace {

const std::array<const char*, 3> dtDesc = {"Undefined", "N/A", "Display"};

template <typename TEnum>
TEnum InRangeOrFirst(std::int32_t value, std::int32_t last) {
  return (value >= 0 && value <= last) ? static_cast<TEnum>(value) : static_cast<TEnum>(0);
}

}  // namespace

TMessageType IntToMessageType(std::int32_t value) {
  return InRangeOrFirst<TMessageType>(value, static_cast<std::int32_t>(TMessageType::mtDisplayData));
}

TDeviceType IntToDeviceType(std::int32_t value) {
  return InRangeOrFirst<TDeviceType>(value, static_cast<std::int32_t>(TDeviceType::dtDisplay));
}

TWindowState IntToWindowState(std::int32_t value) {
  return InRangeOrFirst<TWindowState>(value, static_cast<std::int32_t>(TWindowState::wsMaximized));
}

std::string DeviceTypeToStr(TDeviceType type) { return dtDesc.at(static_cast<std::size_t>(type)); }

}  // namespace lumaren
