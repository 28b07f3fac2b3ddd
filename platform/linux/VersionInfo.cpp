#include "platform/VersionInfo.h"

// Linux executables carry no version resource: the build generates it.
#include "LumarenVersionInfo.h"

namespace lumaren::platform {

TVersionInfo ReadVersionInfo() {
  return {LUMAREN_VERSION_COMPANY_NAME, LUMAREN_VERSION_PRODUCT_NAME, LUMAREN_VERSION_FILE_VERSION,
          LUMAREN_VERSION_PRODUCT_VERSION};
}

}  // namespace lumaren::platform
