// Bytes as the preferences file. What must hold for any bytes: Load never
// raises; a file it can read is left as it was, and one it cannot parse is
// kept aside whole; Save then succeeds, and loading what it wrote gives every
// field as it was.

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "config/uPreferences.h"
#include "fuzz/FuzzEntries.h"
#include "fuzz/FuzzText.h"
#include "support/TFakeFormWindow.h"
#include "support/TTempDir.h"

namespace lumaren::fuzz {
namespace {

namespace fs = std::filesystem;

// Every field Save writes.
std::string FieldsText(const TPreferences& prefs) {
  std::ostringstream s;
  const TQelFormState& pos = prefs.MainFormPos;
  s << "name '" << prefs.NodeName() << "' group " << prefs.Group() << " heartbeat " << prefs.HeartbeatInterval
    << " discovery " << prefs.DiscoveryPort << " local " << prefs.LocalPort << " adapter '" << prefs.NetworkAdapter
    << "' font '" << prefs.FontName << "' " << prefs.FontColour << " " << prefs.BgColour << " pos " << pos.Top << ","
    << pos.Left << "," << pos.Height << "," << pos.Width << " maximised " << pos.Maximised << " open " << pos.Open;
  return s.str();
}

class TPreferencesRig final : public TFuzzRig {
 public:
  void Run(std::string_view bytes) override {
    fs::remove(FFile);
    fs::remove(FDamaged);
    WriteBytes(FFile, bytes);

    TPreferences first(&FSlot);
    first.FileName = FFile.string();
    first.Load();
    if (fs::exists(FDamaged)) {
      FuzzCheck(!fs::exists(FFile), "a file that cannot be parsed is moved aside");
      FuzzCheck(ReadBytes(FDamaged) == bytes, "a file that cannot be parsed is kept whole");
      fs::remove(FDamaged);
    } else {
      FuzzCheck(ReadBytes(FFile) == bytes, "loading leaves the file as it was");
    }

    FuzzCheck(first.Save(), "the preferences are saved");
    const std::string written = ReadBytes(FFile);
    TPreferences second(&FSlot);
    second.FileName = FFile.string();
    second.Load();
    FuzzCheck(!fs::exists(FDamaged), "what Save wrote is parsed: " + Excerpt(written));
    FuzzCheck(FieldsText(second) == FieldsText(first),
              Mismatch("Save then Load gives every field back", FieldsText(first), FieldsText(second)));
  }

 private:
  test::TTempDir FDir;
  test::TFakeFormWindow FWindow;
  platform::TFormWindow* FSlot = &FWindow;
  fs::path FFile = FDir / CON_PreferencesFileName;
  fs::path FDamaged = FDir / (std::string(CON_PreferencesFileName) + CON_DamagedFileSuffix);
};

}  // namespace

std::unique_ptr<TFuzzRig> NewPreferencesRig() { return std::make_unique<TPreferencesRig>(); }

}  // namespace lumaren::fuzz
