#include "fuzz/FuzzEntries.h"

namespace lumaren::fuzz {

void FuzzCheck(bool condition, const std::string& what) {
  if (!condition) throw EFuzzInvariant(what);
}

const std::vector<std::string>& FuzzTargetNames() {
  static const std::vector<std::string> names = {"datagram", "preferences", "display_element", "value_text",
                                                 "xml_load"};
  return names;
}

std::unique_ptr<TFuzzRig> NewFuzzRig(const std::string& target) {
  if (target == "datagram") return NewDatagramRig();
  if (target == "preferences") return NewPreferencesRig();
  if (target == "display_element") return NewDisplayElementRig();
  if (target == "value_text") return NewValueTextRig();
  if (target == "xml_load") return NewXMLLoadRig();
  throw std::invalid_argument("no fuzz target \"" + target + "\"");
}

}  // namespace lumaren::fuzz
