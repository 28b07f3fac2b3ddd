// One received datagram through the message handler. What must hold for any
// bytes: the handler never raises; each datagram has exactly one outcome
// (ignored, one session entry, or the one error entry); an error leaves the
// state as the handler's steps had it when it stopped; the copy holds the
// bytes of every datagram that was read; and the announcement the node sends
// next, with whatever name and group the datagram set, fits one datagram and
// passes our own strict loader.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "config/uPreferences.h"
#include "display/uMessageDispatch.h"
#include "fuzz/FuzzEntries.h"
#include "fuzz/FuzzText.h"
#include "protocol/uDatagramText.h"
#include "protocol/uMessage.h"
#include "services/uLogs.h"
#include "support/TFakeMessageHost.h"
#include "support/TLogCapture.h"
#include "support/TManualClock.h"

namespace lumaren::fuzz {
namespace {

// The copy store refuses datagrams whose length is a multiple of this, so the
// path where keeping the copy fails is fuzzed along with the others.
constexpr std::size_t CON_StoreRefusalModulus = 61;
// Long enough for every timer the handler may start to tick at least once.
constexpr std::int64_t CON_TimeAfterDatagram = 1500;
// An announcement whose name was shortened is within one cut unit (the
// longest is CR LF or "&#xD;", written "&amp;#xD;") of the limit.
constexpr std::size_t CON_LongestCutUnit = 16;

class TFuzzStore final : public TLastMessageStore {
 public:
  void Replace(std::string_view bytes) override {
    ++Calls;
    if (bytes.size() % CON_StoreRefusalModulus == 0) throw std::runtime_error("the copy store refuses the datagram");
    Copy.assign(bytes);
    Kept = true;
  }
  int Calls = 0;
  bool Kept = false;
  std::string Copy;
};

struct TLogEntry {
  std::string Title;
  std::string Text;
};

// The entries written since the last call; the log is emptied afterwards so
// a long run does not fill the disk (the log appends, so it goes on at the
// new end).
std::vector<TLogEntry> TakeLogEntries() {
  const std::string name = SessionLogFileName();
  FuzzCheck(!name.empty(), "the log is running");
  std::istringstream in(ReadBytes(name));
  std::vector<TLogEntry> entries;
  const std::string separator = " | ";
  for (std::string line; std::getline(in, line);) {
    const auto severityEnd = line.find(separator, line.find(separator) + 1);
    const auto titleEnd = line.find(separator, severityEnd + 1);
    FuzzCheck(severityEnd != std::string::npos && titleEnd != std::string::npos,
              "every log line is one whole entry: " + Excerpt(line));
    const auto titleStart = severityEnd + separator.size();
    entries.push_back({line.substr(titleStart, titleEnd - titleStart), line.substr(titleEnd + separator.size())});
  }
  if (::truncate(name.c_str(), 0) != 0) throw std::runtime_error(std::string("cannot empty the log: ") + std::strerror(errno));
  return entries;
}

std::string TimerText(const test::TManualThreadTimer& timer) {
  return std::to_string(timer.Enabled()) + "/" + std::to_string(timer.Interval()) + "/" +
         std::to_string(timer.NextDue()) + "/" + std::to_string(timer.TickCount());
}

// Everything a datagram can change, in three parts: what is shown, the
// expiry timer, and the rest (other timers, window, node, preferences).
struct THostState {
  std::string Content;
  std::size_t Draws = 0;
  std::string Expiry;
  std::string Rest;
};

THostState StateOf(const test::TFakeMessageHost& host) {
  THostState state;
  state.Content = DisplayListText(host.List);
  state.Draws = host.Draws.size();
  state.Expiry = TimerText(*host.Expiry);
  std::ostringstream s;
  s << "flash " << TimerText(*host.Flash) << " phase " << host.FlashState << "; close " << TimerText(*host.Close)
    << " closed " << host.CloseCount << "; window states " << host.WindowStates.size() << " calls "
    << host.Window.Calls.size() << "; settings " << host.SettingsShown.size() << "; node '" << host.Node.NodeName
    << "' " << host.Node.Group << " " << host.Node.Refresh << "; prefs '" << Prefs->NodeName() << "' "
    << Prefs->Group() << " '" << Prefs->FontName << "' " << Prefs->FontColour << " " << Prefs->BgColour;
  const TQelFormState& pos = Prefs->MainFormPos;
  s << " pos " << pos.Top << "," << pos.Left << "," << pos.Height << "," << pos.Width;
  state.Rest = s.str();
  return state;
}

void CheckUnchanged(const THostState& before, const THostState& after, const std::string& why) {
  FuzzCheck(after.Content == before.Content, Mismatch(why + ": the content changed", before.Content, after.Content));
  FuzzCheck(after.Draws == before.Draws, why + ": the window was redrawn");
  FuzzCheck(after.Expiry == before.Expiry, Mismatch(why + ": the expiry timer changed", before.Expiry, after.Expiry));
  FuzzCheck(after.Rest == before.Rest, Mismatch(why + ": the state changed", before.Rest, after.Rest));
}

// The session entry an applied message leaves, or "" for a message that is
// ignored. The sender is named by the "Device" element's type.
std::string ExpectedSession(const TReceivedMessage& message) {
  const char* what = nullptr;
  switch (message.Type) {
    case TMessageType::mtAcknowledge: what = "Acknowledge message received from "; break;
    case TMessageType::mtShutdown: what = "Shutdown message received from "; break;
    case TMessageType::mtParamsSet: what = "Params Set message received from "; break;
    case TMessageType::mtDisplayData: what = "Display data message received from "; break;
    default: return "";
  }
  std::string sender = "Undefined";
  if (const TXMLNode device = message.Payload("Device")) {
    const std::int32_t type = GetXMLAtt(device, "Type", std::int32_t{0});
    if (type == 1) sender = "N/A";
    if (type == 2) sender = "Display";
  }
  return what + sender;
}

void CheckAnnouncement(TLocalDeviceNode& node) {
  const std::string name = node.NodeName;
  const std::int32_t group = node.Group;
  const std::string text = node.BuildAnnouncement();
  const auto limit = static_cast<std::size_t>(platform::CON_UDPMaxDatagramSize);
  FuzzCheck(text.size() <= limit, "the announcement is " + std::to_string(text.size()) + " bytes");
  pugi::xml_document doc;
  try {
    LoadXMLText(doc, text);
  } catch (const EXMLError& e) {
    FuzzCheck(false, std::string("the announcement does not load: ") + e.what() + "\n  " + Excerpt(text));
  }
  const TXMLNode root = doc.document_element();
  FuzzCheck(GetXMLAtt(FindXMLChild(root, CON_MessageElement), "Type", std::int32_t{0}) == 1,
            "the announcement is of type 1");
  const TXMLNode nodeElement = FindXMLChild(root, "Node");
  FuzzCheck(GetXMLAtt(nodeElement, "Group", std::int32_t{-1}) == group, "the announcement carries the group");
  // The name as received, with only what XML cannot carry replaced; a name
  // too long for one datagram is cut, never otherwise changed.
  const std::string sent = GetXMLAtt(nodeElement, "Name", "");
  const std::string carriable = XMLCarriableText(name);
  FuzzCheck(carriable.compare(0, sent.size(), sent) == 0,
            Mismatch("the announced name is the node name or its beginning", carriable, sent));
  FuzzCheck(sent.size() == carriable.size() || text.size() + CON_LongestCutUnit > limit,
            Mismatch("the announced name was cut though it fits", carriable, sent));
}

// The preferences module with its defaults, for one datagram.
class TPreferencesScope {
 public:
  explicit TPreferencesScope(platform::TFormWindow* const* slot) {
    PreferencesModuleStart(slot);
    Prefs->LoadDefaults();
  }
  ~TPreferencesScope() { PreferencesModuleEnd(); }
  TPreferencesScope(const TPreferencesScope&) = delete;
  TPreferencesScope& operator=(const TPreferencesScope&) = delete;
};

class TDatagramRig final : public TFuzzRig {
 public:
  TDatagramRig() { TakeLogEntries(); }  // the log's header, all entries

  void Run(std::string_view bytes) override {
    test::TManualClock clock;
    test::TFakeMessageHost host(clock);
    platform::TFormWindow* slot = &host.Window;
    const TPreferencesScope prefs(&slot);
    host.Node.SetDeviceType(TDeviceType::dtDisplay);
    host.Node.AppName = "Lumaren";
    host.Node.AppVersion = "1.0.4.0";
    host.Node.NodeName = Prefs->NodeName();
    host.Node.Group = Prefs->Group();

    auto ownedStore = std::make_unique<TFuzzStore>();
    const TFuzzStore& store = *ownedStore;
    TMessageDispatcher dispatcher(host, std::move(ownedStore));

    const THostState before = StateOf(host);
    dispatcher.UDPRead({std::string(bytes), "10.77.0.9", 40000});
    const THostState after = StateOf(host);
    const std::vector<TLogEntry> entries = TakeLogEntries();

    // Exactly one outcome.
    FuzzCheck(entries.size() <= 1, std::to_string(entries.size()) + " log entries for one datagram");
    const bool error = entries.size() == 1 && entries[0].Title == "Error";
    const bool session = entries.size() == 1 && entries[0].Title == "Session";
    if (entries.size() == 1) FuzzCheck(error || session, "an entry titled \"" + entries[0].Title + "\"");
    if (error) FuzzCheck(entries[0].Text == CON_MessageReadError, "the error entry reads " + entries[0].Text);

    // Which one, read independently of the handler.
    TReceivedMessage message;
    try {
      ReadMessage(bytes, message);
    } catch (const EXMLError&) {
      FuzzCheck(error, "a datagram that is not XML leaves the error entry");
      FuzzCheck(store.Calls == 0, "no copy of a datagram that is not XML");
      CheckUnchanged(before, after, "a datagram that is not XML");
      return;
    }
    FuzzCheck(store.Calls == 1, "one copy per read datagram");
    if (!store.Kept) {
      FuzzCheck(error, "a copy that cannot be kept leaves the error entry");
      CheckUnchanged(before, after, "a copy that cannot be kept");
      return;
    }
    FuzzCheck(store.Copy == bytes, "the copy holds the received bytes");

    const std::string expected = ExpectedSession(message);
    const TXMLNode display = message.Payload("Display");
    const bool negativeExpiry = message.Type == TMessageType::mtDisplayData && display &&
                                GetXMLAtt(display, "Expiry", std::int32_t{0}) < 0;
    if (expected.empty()) {
      FuzzCheck(entries.empty(), "an ignored message leaves no entry");
      CheckUnchanged(before, after, "an ignored message");
    } else if (negativeExpiry) {
      // The content is shown, then the expiry interval is refused: the
      // content stays, drawn once, without an expiry; nothing else changed.
      FuzzCheck(error, "a negative expiry leaves the error entry");
      TDisplayLineList shown;
      shown.XMLRead(display);
      FuzzCheck(after.Content == DisplayListText(shown),
                Mismatch("the content of a negative expiry", DisplayListText(shown), after.Content));
      FuzzCheck(after.Draws == before.Draws + 1, "the content of a negative expiry is drawn once");
      FuzzCheck(!host.Expiry->Enabled(), "a negative expiry leaves the expiry timer off");
      FuzzCheck(after.Rest == before.Rest, Mismatch("a negative expiry changed the state", before.Rest, after.Rest));
    } else {
      FuzzCheck(session && entries[0].Text == expected,
                Mismatch("an applied message leaves its session entry", expected,
                         entries.empty() ? std::string("no entry") : entries[0].Title + " " + entries[0].Text));
    }

    CheckAnnouncement(host.Node);
    clock.Advance(CON_TimeAfterDatagram);
  }

 private:
  test::TLogCapture FLog;
};

}  // namespace

std::unique_ptr<TFuzzRig> NewDatagramRig() { return std::make_unique<TDatagramRig>(); }

}  // namespace lumaren::fuzz
