#pragma once
// The keep-awake switch: while IsCritical is on, the system and the display
// are asked to stay on.

#include <cstdint>
#include <memory>

#include "platform/ExecutionState.h"

namespace lumaren {

class TSystemCritical {
 public:
  // No system call is made until the switch changes.
  explicit TSystemCritical(platform::TSetExecutionState setExecutionState);
  virtual ~TSystemCritical() = default;

  bool IsCritical() const { return FIsCritical; }
  // Setting the state the switch is already in makes no system call.
  void SetIsCritical(bool value);

 protected:
  // Passes the state to the operating system.
  virtual void UpdateCritical(bool value);

 private:
  bool FIsCritical = false;
  platform::TSetExecutionState FSetExecutionState;
};

extern std::unique_ptr<TSystemCritical> SystemCritical;

void SystemCriticalModuleStart(platform::TSetExecutionState setExecutionState);
// Leaves the switch off (a system call only if it was still on).
void SystemCriticalModuleEnd();

}  // namespace lumaren
