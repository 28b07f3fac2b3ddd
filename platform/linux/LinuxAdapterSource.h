#pragma once
// The adapter enumeration of Linux. Include only where the real source is
// handed to the adapter list (the program's start-up, the platform tests).

#include <vector>

#include "platform/AdapterSource.h"

namespace lumaren::platform {

// Every interface of the current network namespace, in interface index
// order, with its first IPv4 address (empty when it has none). Loopback
// interfaces and all-zero hardware addresses are reported with no hardware
// address. Raises EAdapterSourceError when the interfaces cannot be read.
std::vector<TAdapterInfo> GetLinuxAdapters();

}  // namespace lumaren::platform
