#include "config/uPreferences.h"

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <limits>
#include <system_error>

#include "config/uAtomicFile.h"
#include "protocol/uDeviceNode.h"
#include "services/uLogs.h"

namespace lumaren {

std::unique_ptr<TPreferences> Prefs;

namespace {

constexpr const char* XML_ROOT = "Settings";
constexpr const char* XML_WINDOWS = "Windows";
constexpr const char* XML_NETWORK = "Network";
constexpr const char* XML_ADAPTER = "Adapter";
constexpr const char* XML_DISCOVERY_PORT = "DiscoveryPort";
constexpr const char* XML_LOCAL_PORT = "LocalPort";
constexpr const char* XML_OPTIONS = "Options";
constexpr const char* XML_NODE_NAME = "NodeName";
constexpr const char* XML_GROUP = "Group";
constexpr const char* XML_HEARTBEAT = "HeartbeatInterval";
constexpr const char* XML_FONT = "Font";
constexpr const char* XML_FONT_NAME = "Name";
constexpr const char* XML_FONT_COLOUR = "FontColour";
constexpr const char* XML_BG_COLOUR = "BGColour";

constexpr std::int32_t CON_GroupMin = 0;
constexpr std::int32_t CON_GroupMax = 255;
constexpr std::int32_t CON_PortMax = 65535;
constexpr TColor CON_ColourMask = 0xFFFFFF;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; }

TColor ReadColour(TXMLNode node, const char* name, TColor fallback) {
  return TryHexToTColor(GetXMLAtt(node, name, "")).value_or(fallback);
}

// The file holds six hex digits, 0..$FFFFFF. A colour with its top byte set
// keeps its red, green and blue; a negative one (a reference to a system
// colour, which has no RGB of its own) is written as the default.
TColor FileColour(TColor colour, TColor fallback) { return colour < 0 ? fallback : (colour & CON_ColourMask); }

}  // namespace

TPreferences::TPreferences(platform::TFormWindow* const* mainFormSlot) : MainFormPos(mainFormSlot) {}

void TPreferences::LoadDefaults() {
  BgColour = CON_BgColourDefault;
  FontColour = CON_FontColourDefault;
  FontName = CON_FontNameDefault;
  SetGroup(CON_GroupDefault);
  HeartbeatInterval = CON_HeartbeatIntervalDefault;
  DiscoveryPort = CON_UDPPortDefault;
  LocalPort = CON_LocalPortDefault;
  SetNodeName(CON_NodeNameDefault);
}

void TPreferences::SetNodeName(const std::string& value) {
  const auto first = std::find_if_not(value.begin(), value.end(), IsBlank);
  const auto last = std::find_if_not(value.rbegin(), value.rend(), IsBlank).base();
  FNodeName = first < last ? std::string(first, last) : std::string(CON_NodeNameFallback);
}

void TPreferences::SetGroup(std::int32_t value) { FGroup = std::clamp(value, CON_GroupMin, CON_GroupMax); }

void TPreferences::SetModified(bool value) {
  FModified = value;
  if (FOnModifiedChanged) FOnModifiedChanged(*this);
}

void TPreferences::Load() {
  LoadDefaults();
  if (FileName.empty()) return;
  std::error_code ec;
  if (std::filesystem::status(FileName, ec).type() == std::filesystem::file_type::not_found) return;

  std::string text;
  try {
    text = ReadWholeFile(FileName);
  } catch (const std::exception& e) {
    LogNewError(std::string("Preferences not loaded, defaults in force: ") + e.what());
    return;
  }
  pugi::xml_document doc;
  try {
    LoadXMLText(doc, text);
  } catch (const EXMLError& e) {
    KeepDamagedFile(e.what());
    return;
  }
  // From here on nothing can fail: every lookup and conversion falls back.
  ReadDocument(doc.document_element());
  SetModified(false);
}

void TPreferences::ReadDocument(TXMLNode root) {
  if (const TXMLNode windows = root.child(XML_WINDOWS)) MainFormPos.XMLRead(windows);

  if (const TXMLNode network = root.child(XML_NETWORK)) {
    NetworkAdapter = GetXMLNode(network, XML_ADAPTER, "");
    DiscoveryPort = CheckedRange(XML_DISCOVERY_PORT, GetXMLNode(network, XML_DISCOVERY_PORT, CON_UDPPortDefault),
                                 0, CON_PortMax, CON_UDPPortDefault);
    LocalPort = CheckedRange(XML_LOCAL_PORT, GetXMLNode(network, XML_LOCAL_PORT, CON_LocalPortDefault), 0,
                             CON_PortMax, CON_LocalPortDefault);
  }

  if (const TXMLNode options = root.child(XML_OPTIONS)) {
    SetNodeName(GetXMLNode(options, XML_NODE_NAME, ""));
    SetGroup(GetXMLNode(options, XML_GROUP, CON_GroupDefault));
    HeartbeatInterval =
        CheckedRange(XML_HEARTBEAT, GetXMLNode(options, XML_HEARTBEAT, CON_HeartbeatIntervalDefault), 0,
                     std::numeric_limits<std::int32_t>::max(), CON_HeartbeatIntervalDefault);
    if (const TXMLNode font = options.child(XML_FONT)) {
      FontName = GetXMLAtt(font, XML_FONT_NAME, CON_FontNameDefault);
      FontColour = ReadColour(font, XML_FONT_COLOUR, CON_FontColourDefault);
      BgColour = ReadColour(font, XML_BG_COLOUR, CON_BgColourDefault);
    }
  }
}

// The ports and the interval reach the socket and the timer as they stand,
// so a value those cannot take is replaced here, where the file is known.
std::int32_t TPreferences::CheckedRange(const char* field, std::int32_t value, std::int32_t low,
                                        std::int32_t high, std::int32_t fallback) const {
  if (value >= low && value <= high) return value;
  LogNewError(std::string("Preferences: ") + field + " " + std::to_string(value) + " in \"" + FileName +
              "\" is outside " + std::to_string(low) + ".." + std::to_string(high) + "; " +
              std::to_string(fallback) + " used");
  return fallback;
}

// The defaults are in force. The file is moved aside rather than left to
// be replaced at close, so whatever the user had in it can still be mended.
void TPreferences::KeepDamagedFile(const std::string& reason) {
  const std::string keptAs = FileName + CON_DamagedFileSuffix;
  std::string message = "Preferences file \"" + FileName + "\" cannot be parsed (" + reason + "); defaults in force";
  if (std::rename(FileName.c_str(), keptAs.c_str()) == 0)
    message += ", the file was kept as \"" + keptAs + "\"";
  else
    message += ", and it could not be kept aside: " + std::error_code(errno, std::generic_category()).message();
  LogNewError(message);
}

bool TPreferences::Save() {
  if (FileName.empty()) return false;
  try {
    pugi::xml_document doc;
    NewXMLDocument(doc);
    TXMLNode root = doc.append_child(XML_ROOT);

    MainFormPos.XMLWrite(root.append_child(XML_WINDOWS));

    TXMLNode network = root.append_child(XML_NETWORK);
    AddXMLNode(network, XML_ADAPTER, NetworkAdapter);  // nothing for an empty name
    AddXMLNode(network, XML_DISCOVERY_PORT, DiscoveryPort);
    AddXMLNode(network, XML_LOCAL_PORT, LocalPort);

    TXMLNode options = root.append_child(XML_OPTIONS);
    AddXMLNode(options, XML_NODE_NAME, FNodeName);
    AddXMLNode(options, XML_GROUP, FGroup);
    AddXMLNode(options, XML_HEARTBEAT, HeartbeatInterval);
    TXMLNode font = options.append_child(XML_FONT);
    AddXMLAtt(font, XML_FONT_NAME, FontName);
    AddXMLAtt(font, XML_FONT_COLOUR, TColorValue{FileColour(FontColour, CON_FontColourDefault)});
    AddXMLAtt(font, XML_BG_COLOUR, TColorValue{FileColour(BgColour, CON_BgColourDefault)});

    ReplaceFileAtomically(FileName, SaveXMLText(doc));
  } catch (const std::exception& e) {
    LogNewError("Preferences not saved to \"" + FileName + "\": " + e.what());
    return false;
  }
  SetModified(false);
  return true;
}

void PreferencesModuleStart(platform::TFormWindow* const* mainFormSlot) {
  Prefs = std::make_unique<TPreferences>(mainFormSlot);
}

void PreferencesModuleEnd() { Prefs.reset(); }

}  // namespace lumaren
