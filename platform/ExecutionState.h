#pragma once
// Asks the operating system to keep the machine and the display awake.

#include <cstdint>
#include <functional>
#include <memory>

namespace lumaren::platform {

inline constexpr std::uint32_t ES_SYSTEM_REQUIRED = 0x00000001;
inline constexpr std::uint32_t ES_DISPLAY_REQUIRED = 0x00000002;
inline constexpr std::uint32_t ES_CONTINUOUS = 0x80000000;

// Replaces the standing request with the given flags: ES_CONTINUOUS with
// ES_SYSTEM_REQUIRED and ES_DISPLAY_REQUIRED asks to stay awake, ES_CONTINUOUS
// alone withdraws the request. Failures are not reported.
using TSetExecutionState = std::function<void(std::uint32_t flags)>;

// The desktop session's keep-awake service. Without one it does nothing.
class TExecutionState {
 public:
  virtual ~TExecutionState() = default;
  virtual void SetExecutionState(std::uint32_t flags) = 0;
};

std::unique_ptr<TExecutionState> NewSessionExecutionState();

}  // namespace lumaren::platform
