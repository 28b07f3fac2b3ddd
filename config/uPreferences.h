#pragma once
// The node's settings: name and group on the network, adapter and ports,
// heartbeat, display font and colours, and the main window's placement.
// Kept in memory for the whole run, read from "Preferences.xml" when the
// main window is first shown and written back when it closes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "config/uFormState.h"
#include "platform/FormWindow.h"
#include "protocol/uXMLHelpers.h"

namespace lumaren {

inline constexpr const char* CON_PreferencesFileName = "Preferences.xml";
inline constexpr const char* CON_NodeNameDefault = "Lumaren";
// What a blank node name becomes; deliberately not the default name above.
inline constexpr const char* CON_NodeNameFallback = "Tivora";
inline constexpr const char* CON_FontNameDefault = "Courier New";
inline constexpr TColor CON_FontColourDefault = 0xFFFFFF;
inline constexpr TColor CON_BgColourDefault = 0x000000;
inline constexpr std::int32_t CON_GroupDefault = 1;
inline constexpr std::int32_t CON_LocalPortDefault = 0;  // any free port
// Suffix of a preferences file that could not be parsed, kept for repair.
inline constexpr const char* CON_DamagedFileSuffix = ".bad";

class TPreferences {
 public:
  using TNotifyEvent = std::function<void(TPreferences& sender)>;

  // Binds the placement to the main window's slot (which may still be
  // empty). Every other field stays zero or empty until the first Load.
  explicit TPreferences(platform::TFormWindow* const* mainFormSlot);

  // Name "Lumaren", group 1, heartbeat 1000 ms, discovery port 1965, local
  // port 0, white Courier New on black. Leaves NetworkAdapter, FileName,
  // MainFormPos and Modified as they are.
  void LoadDefaults();
  // Applies the defaults, then whatever the file at FileName supplies. Never
  // raises for the file's sake: a file that cannot be read or parsed leaves
  // the defaults in force and an error entry in the log; a file that cannot
  // be parsed is moved aside to FileName + ".bad", so the next Save does not
  // destroy it. Ports outside 0..65535 and a negative heartbeat interval are
  // replaced by their defaults, each with an error entry. The main window
  // must be in its slot (its name finds the placement element).
  void Load();
  // Replaces the file at FileName atomically with every field but FileName
  // and Modified. Never raises: a failure leaves the old file whole, an
  // error entry in the log, Modified unchanged, and returns false. Closing
  // the program must not depend on it. With FileName empty: nothing, false.
  bool Save();

  const std::string& NodeName() const { return FNodeName; }
  // Stored trimmed of spaces and control characters; blank gives "Tivora".
  void SetNodeName(const std::string& value);
  std::int32_t Group() const { return FGroup; }
  // Stored clamped to 0..255.
  void SetGroup(std::int32_t value);
  bool Modified() const { return FModified; }
  // Calls OnModifiedChanged on every call, also when nothing changed.
  void SetModified(bool value);
  const TNotifyEvent& OnModifiedChanged() const { return FOnModifiedChanged; }
  void SetOnModifiedChanged(TNotifyEvent handler) { FOnModifiedChanged = std::move(handler); }

  TColor BgColour = 0;
  std::int32_t DiscoveryPort = 0;
  std::string FileName;
  std::int32_t HeartbeatInterval = 0;
  TColor FontColour = 0;
  std::string FontName;
  std::int32_t LocalPort = 0;
  TQelFormState MainFormPos;
  std::string NetworkAdapter;

 private:
  void ReadDocument(TXMLNode root);
  void KeepDamagedFile(const std::string& reason);
  std::int32_t CheckedRange(const char* field, std::int32_t value, std::int32_t low, std::int32_t high,
                            std::int32_t fallback) const;

  bool FModified = false;
  TNotifyEvent FOnModifiedChanged;
  std::string FNodeName;
  std::int32_t FGroup = 0;
};

// The single instance; it exists between PreferencesModuleStart and
// PreferencesModuleEnd.
extern std::unique_ptr<TPreferences> Prefs;

// mainFormSlot: where the main window will be found once it exists; the
// slot must outlive Prefs.
void PreferencesModuleStart(platform::TFormWindow* const* mainFormSlot);
void PreferencesModuleEnd();

}  // namespace lumaren
