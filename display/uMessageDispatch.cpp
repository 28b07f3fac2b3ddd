#include "display/uMessageDispatch.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

#include "config/uPreferences.h"
#include "protocol/uMessage.h"
#include "services/uLogs.h"

namespace lumaren {

namespace {

constexpr int CON_AcknowledgeMilliSecs = 1000;  // how long "Connected" stays
// What an attribute that is present but does not convert gives.
constexpr TColor CON_FontColourUnparsable = 0xFFFFFF;
constexpr TColor CON_BgColourUnparsable = 0;
constexpr std::int32_t CON_PositionUnparsable = 0;
constexpr std::int32_t CON_SizeUnparsable = 100;

bool HasAtt(TXMLNode node, const char* name) { return static_cast<bool>(node.attribute(name)); }

// Runs an integer attribute through action only when the element carries it.
template <typename TAction>
void WithInt(TXMLNode node, const char* name, std::int32_t unparsable, TAction action) {
  if (HasAtt(node, name)) action(GetXMLAtt(node, name, unparsable));
}

TPreferences& Preferences() {
  if (!Prefs) throw std::logic_error("a message arrived while the preferences do not exist");
  return *Prefs;
}

class TMessageApplier {
 public:
  TMessageApplier(TMessageHost& host, const TReceivedMessage& message, std::string sender)
      : FHost(host), FMessage(message), FSender(std::move(sender)) {}

  void Apply() {
    switch (FMessage.Type) {
      case TMessageType::mtAcknowledge: Acknowledge(); break;
      case TMessageType::mtShutdown: Shutdown(); break;
      case TMessageType::mtParamsSet: ParamsSet(); break;
      case TMessageType::mtDisplayData: DisplayData(); break;
      // Announcements and parameter reports are for controllers.
      case TMessageType::mtUndefined:
      case TMessageType::mtAnnounce:
      case TMessageType::mtParamsInfo: break;
    }
  }

 private:
  void Log(const char* what) { LogNewSession(what + FSender); }

  void Acknowledge() {
    TDisplayLineList& list = FHost.DisplayLineList();
    list.Clear();  // steady, colours and font unset: the preferences apply
    auto line = std::make_unique<TDisplayLine>();
    line->TextCentre = "Connected";
    list.Add(std::move(line));
    FHost.UpdateDisplay();
    // Not disabled first: an expiry already running at this interval keeps
    // its period. The flash timer is left alone; its ticks on steady content
    // change nothing until the expiry stops it.
    FHost.ExpiryTimer().SetInterval(CON_AcknowledgeMilliSecs);
    FHost.ExpiryTimer().SetEnabled(true);
    Log("Acknowledge message received from ");
  }

  void Shutdown() {
    Log("Shutdown message received from ");
    FHost.CloseTimer().SetEnabled(true);
  }

  void ParamsSet() {
    TPreferences& prefs = Preferences();
    bool redraw = false;

    if (const TXMLNode node = FMessage.Payload("Node")) {
      if (HasAtt(node, "Name")) {
        prefs.SetNodeName(GetXMLAtt(node, "Name", ""));
        FHost.LocalNode().NodeName = prefs.NodeName();
        FHost.LocalNode().Refresh = true;
      }
      WithInt(node, "Group", 0, [&](std::int32_t group) {
        prefs.SetGroup(group);
        FHost.LocalNode().Group = prefs.Group();
        FHost.LocalNode().Refresh = true;
      });
    }

    if (const TXMLNode font = FMessage.Payload("Font")) {
      if (HasAtt(font, "Name")) prefs.FontName = GetXMLAtt(font, "Name", "");
      // Controllers may name the text colour as the preferences file and the
      // "Display" element do, or "TextColour"; the first wins.
      const char* colourName = HasAtt(font, "FontColour") ? "FontColour" : "TextColour";
      WithInt(font, colourName, CON_FontColourUnparsable, [&](std::int32_t c) { prefs.FontColour = c; });
      WithInt(font, "BackgroundColour", CON_BgColourUnparsable, [&](std::int32_t c) { prefs.BgColour = c; });
      redraw = true;
    }

    if (const TXMLNode window = FMessage.Payload("Window")) {
      WithInt(window, "State", 0, [&](std::int32_t s) { FHost.SetWindowState(IntToWindowState(s)); });
      TQelFormState& pos = prefs.MainFormPos;
      WithInt(window, "Top", CON_PositionUnparsable, [&](std::int32_t v) { pos.Top = v; });
      WithInt(window, "Left", CON_PositionUnparsable, [&](std::int32_t v) { pos.Left = v; });
      WithInt(window, "Height", CON_SizeUnparsable, [&](std::int32_t v) { pos.Height = v; });
      WithInt(window, "Width", CON_SizeUnparsable, [&](std::int32_t v) { pos.Width = v; });
      // The whole stored placement, so a lone "State" or "Width" also moves
      // the window back to where the placement says.
      pos.StateLoad();
      redraw = true;
    }

    Log("Params Set message received from ");
    if (FHost.SettingsVisible()) FHost.ShowSettings();
    if (redraw) FHost.UpdateDisplay();
  }

  void DisplayData() {
    if (const TXMLNode display = FMessage.Payload("Display")) {
      TDisplayLineList& list = FHost.DisplayLineList();
      platform::TThreadTimer& expiry = FHost.ExpiryTimer();
      list.ExpiryMilliSecs = 0;
      expiry.SetEnabled(false);
      list.XMLRead(display);
      FHost.UpdateDisplay();
      // The period starts now. A negative expiry is refused here, after the
      // content is already shown; it then never expires.
      expiry.SetInterval(list.ExpiryMilliSecs);
      if (list.ExpiryMilliSecs != 0) expiry.SetEnabled(true);
      // A flash timer that already runs keeps its rhythm and phase.
      const bool flashing =
          list.DisplayStyle == TDisplayStyle::dsBlink || list.DisplayStyle == TDisplayStyle::dsAlternate;
      FHost.FlashTimer().SetEnabled(flashing);
    }
    Log("Display data message received from ");
  }

  TMessageHost& FHost;
  const TReceivedMessage& FMessage;
  std::string FSender;
};

}  // namespace

TMessageDispatcher::TMessageDispatcher(TMessageHost& host, std::unique_ptr<TLastMessageStore> store)
    : FHost(host), FStore(std::move(store)) {
  if (!FStore) throw std::invalid_argument("TMessageDispatcher needs a store for the last message");
}

void TMessageDispatcher::UDPRead(const platform::TUDPDatagram& datagram) {
  try {
    TReceivedMessage message;  // a fresh document for every datagram
    ReadMessage(datagram.Data, message);
    FStore->Replace(datagram.Data);
    if (!message.HasMessage()) return;
    const TXMLNode device = message.Payload("Device");
    const TDeviceType sender =
        device ? IntToDeviceType(GetXMLAtt(device, "Type", std::int32_t{0})) : TDeviceType::dtUndefined;
    TMessageApplier(FHost, message, DeviceTypeToStr(sender)).Apply();
  } catch (...) {
    // Whatever went wrong, the listener must go on receiving.
    try {
      LogNewError(CON_MessageReadError);
    } catch (...) {
    }
  }
}

}  // namespace lumaren
