#include "services/uSystemCritical.h"

#include <utility>

namespace lumaren {

std::unique_ptr<TSystemCritical> SystemCritical;

TSystemCritical::TSystemCritical(platform::TSetExecutionState setExecutionState)
    : FSetExecutionState(std::move(setExecutionState)) {}

void TSystemCritical::SetIsCritical(bool value) {
  if (value == FIsCritical) return;
  FIsCritical = value;
  UpdateCritical(value);
}

void TSystemCritical::UpdateCritical(bool value) {
  using namespace platform;
  if (!FSetExecutionState) return;
  FSetExecutionState(value ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED) : ES_CONTINUOUS);
}

void SystemCriticalModuleStart(platform::TSetExecutionState setExecutionState) {
  SystemCritical = std::make_unique<TSystemCritical>(std::move(setExecutionState));
}

void SystemCriticalModuleEnd() {
  if (!SystemCritical) return;
  SystemCritical->SetIsCritical(false);
  SystemCritical.reset();
}

}  // namespace lumaren
