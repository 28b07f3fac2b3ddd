// A libFuzzer target around one fuzz entry; the build names the entry in
// LUMAREN_FUZZ_TARGET. A broken invariant is reported and aborts, so
// libFuzzer keeps the input as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "fuzz/FuzzEntries.h"

namespace {

std::unique_ptr<lumaren::fuzz::TFuzzRig>& Rig() {
  static std::unique_ptr<lumaren::fuzz::TFuzzRig> rig;
  return rig;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Rig() = lumaren::fuzz::NewFuzzRig(LUMAREN_FUZZ_TARGET);
  // The rig's folders and modules end with the process.
  std::atexit([] { Rig().reset(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    Rig()->Run(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const lumaren::fuzz::EFuzzInvariant& e) {
    std::fprintf(stderr, "\n==== fuzz invariant broken (%s): %s\n", LUMAREN_FUZZ_TARGET, e.what());
    std::abort();
  }
  return 0;
}
