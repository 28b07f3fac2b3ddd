#pragma once
// The fuzz entries: one function per fuzz target, each taking arbitrary bytes
// to one part of the program and checking what must hold whatever the bytes
// are. The libFuzzer executables (FuzzMain.cpp) and the unit test that
// replays the seeds and every input that once failed call the same entries,
// so a finding stays fixed.
//
// An entry returns normally when everything held. A broken invariant raises
// EFuzzInvariant; any other exception that leaves an entry came from the code
// under test where none may escape, and is a finding as well.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumaren::fuzz {

class EFuzzInvariant : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Raises EFuzzInvariant with what when condition is false.
void FuzzCheck(bool condition, const std::string& what);

// What a target keeps between inputs (temporary folders, the running log).
// Everything an input can change is made afresh for it, so each input is
// judged from the same start and a finding replays alone.
class TFuzzRig {
 public:
  virtual ~TFuzzRig() = default;
  virtual void Run(std::string_view bytes) = 0;
};

// "datagram": bytes as one received datagram, through the message handler
//   (TMessageDispatcher) with a fake main window, timers on a manual clock, a
//   fake copy store and the real log in a temporary folder.
// "preferences": bytes as Preferences.xml, then Load, Save and Load again.
// "display_element": bytes as a document whose root is read as the "Display"
//   element, written, serialised, reloaded and read again.
// "value_text": bytes as an attribute value: EncodeCR/DecodeCR and the
//   integer and Boolean readers against an independent reading.
// "xml_load": bytes into the strict loader; what it accepts is serialised
//   and reloaded.
const std::vector<std::string>& FuzzTargetNames();

// The rig of a target by name; it starts the modules the target needs and
// ends them when destroyed. std::invalid_argument for an unknown name.
std::unique_ptr<TFuzzRig> NewFuzzRig(const std::string& target);

// The rigs, for callers that know their target.
std::unique_ptr<TFuzzRig> NewDatagramRig();
std::unique_ptr<TFuzzRig> NewPreferencesRig();
std::unique_ptr<TFuzzRig> NewDisplayElementRig();
std::unique_ptr<TFuzzRig> NewValueTextRig();
std::unique_ptr<TFuzzRig> NewXMLLoadRig();

}  // namespace lumaren::fuzz
