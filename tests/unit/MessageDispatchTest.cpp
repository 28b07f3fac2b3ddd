// The display's reading of received datagrams, driven with datagrams as
// bytes against a fake main window, timers on a manual clock, the real
// preferences and the real log, in a temporary current directory.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "config/uPreferences.h"
#include "display/uMessageDispatch.h"
#include "protocol/uXMLHelpers.h"
#include "support/TFakeMessageHost.h"
#include "support/TLogCapture.h"
#include "support/TManualClock.h"
#include "support/TTempDir.h"

namespace lumaren {
namespace {

namespace fs = std::filesystem;

const std::string CON_Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// A datagram: the declaration and a root holding inner.
std::string Wrap(const std::string& inner, const std::string& root = "VELOMARK") {
  return CON_Declaration + "<" + root + ">" + inner + "</" + root + ">";
}

// depth elements, each inside the one before.
std::string Nested(int depth) {
  std::string s;
  for (int i = 0; i < depth; ++i) s += "<a>";
  for (int i = 0; i < depth; ++i) s += "</a>";
  return s;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything the handler works on, made fresh: the log, the current
// directory, the preferences (defaults) bound to the fake window, and a
// handler writing its copy to "UDPRead.xml" there.
class TDispatchRig {
 public:
  TDispatchRig() {
    FPrevious = fs::current_path();
    fs::current_path(Cwd.Path());
    PreferencesModuleStart(&Slot);
    Prefs->LoadDefaults();
    Dispatcher = std::make_unique<TMessageDispatcher>(Host, std::make_unique<TLastMessageFile>());
    FSessionsBefore = Log.Sessions().size();
  }
  ~TDispatchRig() {
    Dispatcher.reset();
    PreferencesModuleEnd();
    std::error_code ignored;
    fs::current_path(FPrevious, ignored);
  }
  TDispatchRig(const TDispatchRig&) = delete;
  TDispatchRig& operator=(const TDispatchRig&) = delete;

  void Send(const std::string& bytes) { Dispatcher->UDPRead({bytes, "10.77.0.9", 40000}); }

  // Session entries written since the rig was made (the log's header left out).
  std::vector<std::string> Sessions() const {
    const auto all = Log.Sessions();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(FSessionsBefore), all.end());
  }
  std::vector<std::string> Errors() const { return Log.Errors(); }

  // Every piece of state a message can change, as text, so "nothing
  // changed" is one comparison with a readable difference.
  std::string State() const {
    std::ostringstream s;
    const TDisplayLineList& list = Host.List;
    s << "draws " << Host.Draws.size() << "; lines";
    for (int i = 0; i < list.Count(); ++i) s << " [" << list.Items(i).Text() << "]";
    s << "; style " << static_cast<int>(list.DisplayStyle) << " bg " << list.BgColour << " fg " << list.FontColour
      << " font '" << list.FontName << "' expiry " << list.ExpiryMilliSecs << "\n";
    for (const auto* t : {Host.Expiry.get(), Host.Flash.get(), Host.Close.get()})
      s << "timer " << t->Enabled() << "/" << t->Interval() << "/" << t->NextDue() << "\n";
    s << "flash phase " << Host.FlashState << "; states " << Host.WindowStates.size() << "; window calls "
      << Host.Window.Calls.size() << "; settings " << Host.SettingsShown.size() << "\n";
    s << "node '" << Host.Node.NodeName << "' " << Host.Node.Group << " " << Host.Node.Refresh << "\n";
    const TQelFormState& pos = Prefs->MainFormPos;
    s << "prefs '" << Prefs->NodeName() << "' " << Prefs->Group() << " '" << Prefs->FontName << "' "
      << Prefs->FontColour << " " << Prefs->BgColour << " pos " << pos.Top << "," << pos.Left << "," << pos.Height
      << "," << pos.Width << "\n";
    return s.str();
  }

  test::TLogCapture Log;
  test::TTempDir Cwd;
  test::TManualClock Clock;
  test::TFakeMessageHost Host{Clock};
  platform::TFormWindow* Slot = &Host.Window;
  std::unique_ptr<TMessageDispatcher> Dispatcher;

 private:
  fs::path FPrevious;
  std::size_t FSessionsBefore = 0;
};

const std::vector<std::string> CON_NoEntries;
const std::vector<std::string> CON_ReadError{"XML message read error"};

// ---- One outcome per datagram --------------------------------------------

struct TOutcomeCase {
  const char* Name;
  std::string Datagram;
  std::string Session;  // the one session entry; empty: none
  bool Error = false;   // the one error entry instead
  std::function<void(TDispatchRig&)> Effect;  // checks the effect of an applied message
};

TEST(MessageDispatch, EachDatagramHasExactlyOneOutcome) {
  const std::string connected = "|Connected|";
  const auto showsConnected = [&](TDispatchRig& r) {
    ASSERT_FALSE(r.Host.Draws.empty());
    EXPECT_EQ(r.Host.Draws.back().Lines, std::vector<std::string>{connected});
    EXPECT_TRUE(r.Host.Expiry->Enabled());
  };
  const std::vector<TOutcomeCase> cases = {
      {"acknowledge without a device", Wrap(R"(<Message Type="2"/>)"),
       "Acknowledge message received from Undefined", false, showsConnected},
      {"acknowledge from any device", Wrap(R"(<Message Type="2"/><Device Type="1"/>)"),
       "Acknowledge message received from N/A", false, showsConnected},
      {"root of another name", Wrap(R"(<Message Type="2"/><Device Type="2"/>)", "Elsewhere"),
       "Acknowledge message received from Display", false, showsConnected},
      {"device before the message", Wrap(R"(<Device Type="2"/><Message Type="2"/>)"),
       "Acknowledge message received from Display", false, showsConnected},
      {"shutdown from a display", Wrap(R"(<Message Type="3"/><Device Type="2"/>)"),
       "Shutdown message received from Display", false,
       [](TDispatchRig& r) {
         EXPECT_TRUE(r.Host.Close->Enabled());
         r.Clock.Advance(99);
         EXPECT_EQ(r.Host.CloseCount, 0);
         r.Clock.Advance(1);
         EXPECT_EQ(r.Host.CloseCount, 1);
       }},
      {"params set from device type 7", Wrap(R"(<Message Type="4"/><Device Type="7"/><Node Group="9"/>)"),
       "Params Set message received from Undefined", false,
       [](TDispatchRig&) { EXPECT_EQ(Prefs->Group(), 9); }},
      {"display data, device type not a number",
       Wrap(R"(<Message Type="6"/><Device Type="abc"/><Display><Line Centre="Hi"/></Display>)"),
       "Display data message received from Undefined", false,
       [](TDispatchRig& r) {
         ASSERT_EQ(r.Host.List.Count(), 1);
         EXPECT_EQ(r.Host.List.Items(0).TextCentre, "Hi");
       }},
      {"message type with blanks before it", Wrap(R"(<Message Type=" 3"/>)"),
       "Shutdown message received from Undefined", false, nullptr},
      // Ignored: no effect and no entry.
      {"no message element", Wrap(R"(<Device Type="2"/><Display><Line Centre="X"/></Display>)"), "", false, nullptr},
      {"message not a child of the root", Wrap(R"(<Inner><Message Type="2"/></Inner>)"), "", false, nullptr},
      {"message in other letter case", Wrap(R"(<message Type="2"/>)"), "", false, nullptr},
      {"type absent", Wrap(R"(<Message/>)"), "", false, nullptr},
      {"type abc", Wrap(R"(<Message Type="abc"/>)"), "", false, nullptr},
      {"type 9", Wrap(R"(<Message Type="9"/>)"), "", false, nullptr},
      {"type -1", Wrap(R"(<Message Type="-1"/>)"), "", false, nullptr},
      {"type 0", Wrap(R"(<Message Type="0"/>)"), "", false, nullptr},
      {"type 1, an announcement", Wrap(R"(<Message Type="1"/><Device Type="2"/><Node Name="Other"/>)"), "", false,
       nullptr},
      {"type 5", Wrap(R"(<Message Type="5"/><Node Name="Other"/>)"), "", false, nullptr},
      {"deeply nested, no message", Wrap(Nested(1000)), "", false, nullptr},
      // Failures: the error entry and nothing else.
      {"empty datagram", "", "", true, nullptr},
      {"text that is not XML", "hello display", "", true, nullptr},
      {"not well-formed", Wrap(R"(<Message Type="2">)"), "", true, nullptr},
      {"two roots", Wrap(R"(<Message Type="2"/>)") + "<VELOMARK/>", "", true, nullptr},
      {"bytes that are not UTF-8 despite the declaration",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><VELOMARK><Message Type=\"2\"/>"
       "<Device Name=\"Caf\xE9\"/></VELOMARK>",
       "", true, nullptr},
      {"UTF-16 text", std::string("\xFF\xFE<\0V\0/\0>\0", 10), "", true, nullptr},
      {"an undeclared entity", Wrap(R"(<Message Type="2"/><Device Type="&x;"/>)"), "", true, nullptr},
      // References to characters XML cannot carry are refused like the raw
      // characters, and an attribute given twice makes no well-formed XML.
      {"reference to a control character", Wrap(R"(<Message Type="2"/><Device Type="2" Name="&#1;"/>)"), "",
       true, nullptr},
      {"reference to ESC in hex", Wrap(R"(<Message Type="4"/><Node Name="A&#x1B;B"/>)"), "", true, nullptr},
      {"reference to a surrogate", Wrap(R"(<Message Type="4"/><Node Name="&#xD800;"/>)"), "", true, nullptr},
      {"reference to a surrogate in decimal", Wrap(R"(<Message Type="2"/><Device Name="&#57343;"/>)"), "", true,
       nullptr},
      {"message type given twice", Wrap(R"(<Message Type="2" Type="3"/>)"), "", true, nullptr},
      {"duplicate attribute in a payload", Wrap(R"(<Message Type="4"/><Node Name="A" Group="1" Name="B"/>)"), "",
       true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDispatchRig rig;
    const std::string before = rig.State();
    rig.Send(c.Datagram);
    const auto sessions = rig.Sessions();
    const auto errors = rig.Errors();
    EXPECT_EQ(sessions, c.Session.empty() ? CON_NoEntries : std::vector<std::string>{c.Session});
    EXPECT_EQ(errors, c.Error ? CON_ReadError : CON_NoEntries);
    if (c.Session.empty()) {
      EXPECT_EQ(rig.State(), before);
    }
    if (c.Effect) c.Effect(rig);
  }
}

// ---- DisplayData ----------------------------------------------------------

TEST(MessageDispatch, DisplayDataWithoutDisplayOnlyLogs) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="5000" DisplayStyle="1"><Line Left="L" Centre="C"/></Display>)"));
  rig.Clock.Advance(1200);
  const std::string before = rig.State();
  rig.Send(Wrap(R"(<Message Type="6"/><Device Type="2"/><Other/>)"));
  EXPECT_EQ(rig.State(), before);
  EXPECT_EQ(rig.Sessions(), (std::vector<std::string>{"Display data message received from Undefined",
                                                       "Display data message received from Display"}));
  EXPECT_EQ(rig.Errors(), CON_NoEntries);
}

TEST(MessageDispatch, ExpiryCountsFromTheLatestContent) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="5000"><Line Centre="First"/></Display>)"));
  rig.Clock.Advance(2000);
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="5000"><Line Centre="Second"/></Display>)"));
  EXPECT_EQ(rig.Host.Expiry->NextDue(), 7000);
  rig.Clock.Advance(4999);  // past the first message's five seconds
  ASSERT_EQ(rig.Host.List.Count(), 1);
  EXPECT_EQ(rig.Host.List.Items(0).TextCentre, "Second");
  rig.Clock.Advance(1);
  EXPECT_EQ(rig.Host.List.Count(), 0);
  EXPECT_FALSE(rig.Host.Expiry->Enabled());
  EXPECT_TRUE(rig.Host.Draws.back().Lines.empty());
}

TEST(MessageDispatch, ContentWithoutExpiryStays) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="1000"><Line Centre="Short"/></Display>)"));
  rig.Send(Wrap(R"(<Message Type="6"/><Display><Line Centre="Long"/></Display>)"));
  EXPECT_FALSE(rig.Host.Expiry->Enabled());
  rig.Clock.Advance(60000);
  ASSERT_EQ(rig.Host.List.Count(), 1);
  EXPECT_EQ(rig.Host.List.Items(0).TextCentre, "Long");
}

TEST(MessageDispatch, FlashTimerFollowsTheStyleAndKeepsItsRhythm) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="6"/><Display DisplayStyle="1"><Line Centre="Blink"/></Display>)"));
  EXPECT_TRUE(rig.Host.Flash->Enabled());
  rig.Clock.Advance(700);  // one tick at 500, the next due at 1000
  EXPECT_TRUE(rig.Host.FlashState);
  rig.Send(Wrap(R"(<Message Type="6"/><Display DisplayStyle="2"><Line Centre="Alternate"/></Display>)"));
  EXPECT_EQ(rig.Host.Flash->NextDue(), 1000);
  EXPECT_TRUE(rig.Host.Draws.back().FlashState) << "the phase is not reset by new content";
  rig.Send(Wrap(R"(<Message Type="6"/><Display DisplayStyle="0"><Line Centre="Steady"/></Display>)"));
  EXPECT_FALSE(rig.Host.Flash->Enabled());
  const auto draws = rig.Host.Draws.size();
  rig.Clock.Advance(5000);
  EXPECT_EQ(rig.Host.Draws.size(), draws);
}

TEST(MessageDispatch, NegativeExpiryShowsTheContentAndReportsAnError) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="5000" DisplayStyle="1"><Line Centre="Old"/></Display>)"));
  rig.Clock.Advance(200);
  const auto sessions = rig.Sessions();
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="-5" DisplayStyle="0"><Line Centre="New"/></Display>)"));
  ASSERT_FALSE(rig.Host.Draws.empty());
  EXPECT_EQ(rig.Host.Draws.back().Lines, std::vector<std::string>{"|New|"});
  EXPECT_EQ(rig.Errors(), CON_ReadError);
  EXPECT_EQ(rig.Sessions(), sessions);
  EXPECT_FALSE(rig.Host.Expiry->Enabled());
  EXPECT_TRUE(rig.Host.Flash->Enabled()) << "the flash timer keeps its earlier state";
  EXPECT_EQ(rig.Host.Flash->NextDue(), 500);
  rig.Clock.Advance(10000);
  ASSERT_EQ(rig.Host.List.Count(), 1) << "the content does not expire";
  EXPECT_EQ(rig.Host.List.Items(0).TextCentre, "New");
}

// ---- Acknowledge ----------------------------------------------------------

TEST(MessageDispatch, AcknowledgeOverBlinkingContentShowsConnectedForASecond) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="6"/><Display DisplayStyle="1">)"
                R"(<Font Name="Arial" BGColour="0000FF" FontColour="00FF00"/><Line Centre="Blink"/></Display>)"));
  rig.Clock.Advance(500);
  ASSERT_TRUE(rig.Host.FlashState);
  rig.Send(Wrap(R"(<Message Type="2"/><Device Type="1"/>)"));
  const test::TDrawnContent& shown = rig.Host.Draws.back();
  EXPECT_EQ(shown.Lines, std::vector<std::string>{"|Connected|"});
  EXPECT_EQ(shown.Style, TDisplayStyle::dsSteady);
  EXPECT_EQ(shown.BgColour, clNone);
  EXPECT_EQ(shown.FontColour, clNone);
  EXPECT_EQ(shown.FontName, "");
  EXPECT_TRUE(rig.Host.Expiry->Enabled());
  EXPECT_EQ(rig.Host.Expiry->Interval(), 1000);
  EXPECT_EQ(rig.Host.Expiry->NextDue(), 1500);
  EXPECT_TRUE(rig.Host.Flash->Enabled()) << "left to the expiry to stop";
  rig.Clock.Advance(1000);
  EXPECT_EQ(rig.Host.List.Count(), 0);
  EXPECT_TRUE(rig.Host.Draws.back().Lines.empty());
  EXPECT_FALSE(rig.Host.Expiry->Enabled());
  EXPECT_FALSE(rig.Host.Flash->Enabled());
}

TEST(MessageDispatch, AcknowledgeKeepsARunningOneSecondExpiry) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="2"/>)"));
  rig.Clock.Advance(600);
  rig.Send(Wrap(R"(<Message Type="2"/>)"));
  EXPECT_EQ(rig.Host.Expiry->NextDue(), 1000);
  // A running expiry of another length starts a new second.
  rig.Send(Wrap(R"(<Message Type="6"/><Display Expiry="5000"><Line Centre="X"/></Display>)"));
  rig.Clock.Advance(100);
  rig.Send(Wrap(R"(<Message Type="2"/>)"));
  EXPECT_EQ(rig.Host.Expiry->NextDue(), 1700);
}

// ---- ParamsSet: node ------------------------------------------------------

struct TNodeCase {
  const char* Name;
  std::string NodeElement;
  std::string PrefsName;
  std::int32_t PrefsGroup;
};

TEST(MessageDispatch, ParamsSetNodeGoesThroughThePreferences) {
  const std::vector<TNodeCase> cases = {
      {"name trimmed", R"(<Node Name="  Stage Left  "/>)", "Stage Left", 1},
      {"blank name", R"(<Node Name="   "/>)", "Tivora", 1},
      {"line breaks decoded", R"(<Node Name="A&amp;#xD;B"/>)", "A\r\nB", 1},
      {"group clamped", R"(<Node Group="300"/>)", "Lumaren", 255},
      {"group not a number", R"(<Node Group="two"/>)", "Lumaren", 0},
      {"both", R"(<Node Name="Hall" Group="$0A"/>)", "Hall", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDispatchRig rig;
    rig.Send(Wrap(R"(<Message Type="4"/>)" + c.NodeElement));
    EXPECT_EQ(Prefs->NodeName(), c.PrefsName);
    EXPECT_EQ(Prefs->Group(), c.PrefsGroup);
    EXPECT_TRUE(rig.Host.Node.Refresh);
    if (c.NodeElement.find("Name") != std::string::npos) {
      EXPECT_EQ(rig.Host.Node.NodeName, c.PrefsName);
    }
    if (c.NodeElement.find("Group") != std::string::npos) {
      EXPECT_EQ(rig.Host.Node.Group, c.PrefsGroup);
    }
    EXPECT_TRUE(rig.Host.Draws.empty()) << "a node element alone does not redraw";
    EXPECT_EQ(rig.Sessions(), std::vector<std::string>{"Params Set message received from Undefined"});
  }
}

// TAB, CR, LF and other control characters XML carries (DEL, U+0085) may
// stand inside a node name. They are kept as received (only the ends are
// trimmed) and travel in the announcement and the preferences file unchanged.
TEST(MessageDispatch, NodeNameWithControlCharactersIsKeptAndAnnounced) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="4"/><Node Name="&#9;A&#9;B&#xD;&#xA;C&#xD;D&#x7F;E&#x85;F&#xA;&#x7F;"/>)"));
  const std::string stored = "A\tB\r\nC\rD\x7F" "E\xC2\x85" "F";
  EXPECT_EQ(Prefs->NodeName(), stored);
  EXPECT_EQ(rig.Host.Node.NodeName, stored);
  EXPECT_EQ(rig.Errors(), CON_NoEntries);

  const std::string announcement = rig.Host.Node.BuildAnnouncement();
  pugi::xml_document doc;
  ASSERT_NO_THROW(LoadXMLText(doc, announcement)) << announcement;
  EXPECT_EQ(GetXMLAtt(FindXMLChild(doc.document_element(), "Node"), "Name", "?"), stored);

  Prefs->FileName = (rig.Cwd / CON_PreferencesFileName).string();
  ASSERT_TRUE(Prefs->Save());
  TPreferences reloaded(&rig.Slot);
  reloaded.FileName = Prefs->FileName;
  reloaded.Load();
  EXPECT_EQ(reloaded.NodeName(), stored);
}

TEST(MessageDispatch, NodeWithoutAttributesLeavesTheNodeAlone) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="4"/><Node/>)"));
  EXPECT_FALSE(rig.Host.Node.Refresh);
  EXPECT_EQ(rig.Host.Node.NodeName, "");
  EXPECT_EQ(Prefs->NodeName(), "Lumaren");
}

// ---- ParamsSet: font ------------------------------------------------------

struct TFontCase {
  const char* Name;
  std::string Attributes;
  std::string FontName;
  TColor FontColour;
  TColor BgColour;
};

TEST(MessageDispatch, ParamsSetFontSetsThePreferencesAndRedraws) {
  const std::string keptName = "Kept Sans";
  const TColor keptFont = 0x123456, keptBg = 0x654321;
  const std::vector<TFontCase> cases = {
      {"no attributes", "", keptName, keptFont, keptBg},
      {"name", R"(Name="Liberation Serif")", "Liberation Serif", keptFont, keptBg},
      {"FontColour", R"(FontColour="255")", keptName, 255, keptBg},
      {"TextColour", R"(TextColour="65280")", keptName, 65280, keptBg},
      {"FontColour wins over TextColour", R"(TextColour="65280" FontColour="255")", keptName, 255, keptBg},
      {"FontColour unparsable is white", R"(FontColour="red" TextColour="255")", keptName, 0xFFFFFF, keptBg},
      {"TextColour unparsable is white", R"(TextColour="")", keptName, 0xFFFFFF, keptBg},
      {"background as an integer", R"(BackgroundColour="$FF0000")", keptName, keptFont, 0xFF0000},
      {"background unparsable is black", R"(BackgroundColour="0000FF")", keptName, keptFont, 0},
      {"six-digit colour text is not read as hex", R"(FontColour="00FF00")", keptName, 0xFFFFFF, keptBg},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDispatchRig rig;
    Prefs->FontName = keptName;
    Prefs->FontColour = keptFont;
    Prefs->BgColour = keptBg;
    rig.Send(Wrap(R"(<Message Type="4"/><Font )" + c.Attributes + "/>"));
    EXPECT_EQ(Prefs->FontName, c.FontName);
    EXPECT_EQ(Prefs->FontColour, c.FontColour);
    EXPECT_EQ(Prefs->BgColour, c.BgColour);
    EXPECT_EQ(rig.Host.Draws.size(), 1u);
    EXPECT_EQ(rig.Sessions(), std::vector<std::string>{"Params Set message received from Undefined"});
  }
}

// ---- ParamsSet: window ----------------------------------------------------

struct TWindowCase {
  const char* Name;
  std::string Attributes;
  std::vector<std::string> Calls;  // on the window, in order
  test::TFakeRect Restored;        // where the window stands afterwards
};

TEST(MessageDispatch, ParamsSetWindowAppliesTheWholeStoredPlacement) {
  constexpr std::int32_t big = 2147483647;
  const std::vector<TWindowCase> cases = {
      {"state 5 is normal, then the stored placement", R"(State="5")",
       {"WindowState 0", "SetTop 10", "SetLeft 20", "SetHeight 300", "SetWidth 400"},
       {20, 10, 400, 300}},
      {"only the width", R"(Width="640")",
       {"SetTop 10", "SetLeft 20", "SetHeight 300", "SetWidth 640"},
       {20, 10, 640, 300}},
      {"maximised", R"(State="2" Top="1" Left="2" Height="303" Width="404")",
       {"WindowState 2", "SetTop 1", "SetLeft 2", "SetHeight 303", "SetWidth 404"},
       {2, 1, 404, 303}},
      {"unparsable values", R"(State="x" Top="x" Left="" Height="tall" Width="1e3")",
       {"WindowState 0", "SetTop 0", "SetLeft 0", "SetHeight 100", "SetWidth 100"},
       {0, 0, 100, 100}},
      {"beyond 32 bits is unparsable", R"(Left="-2147483649" Width="4294967296")",
       {"SetTop 10", "SetLeft 0", "SetHeight 300", "SetWidth 100"},
       {0, 10, 100, 300}},
      // Off every monitor: the placement moves the window to the top left corner.
      {"extreme values", R"(Top="-2147483648" Width="2147483647")",
       {"SetTop -2147483648", "SetLeft 20", "SetHeight 300", "SetWidth 2147483647", "SetTop 0", "SetLeft 0"},
       {0, 0, big, 300}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDispatchRig rig;
    TQelFormState& pos = Prefs->MainFormPos;
    pos.Top = 10;
    pos.Left = 20;
    pos.Height = 300;
    pos.Width = 400;
    pos.Maximised = false;
    rig.Host.Window.Place({500, 500, 800, 600});
    rig.Send(Wrap(R"(<Message Type="4"/><Window )" + c.Attributes + "/>"));
    EXPECT_EQ(rig.Host.Window.Calls, c.Calls);
    const test::TFakeRect& r = rig.Host.Window.Restored();
    EXPECT_EQ(r.Left, c.Restored.Left);
    EXPECT_EQ(r.Top, c.Restored.Top);
    EXPECT_EQ(r.Width, c.Restored.Width);
    EXPECT_EQ(r.Height, c.Restored.Height);
    EXPECT_EQ(rig.Host.Draws.size(), 1u);
    EXPECT_EQ(rig.Sessions(), std::vector<std::string>{"Params Set message received from Undefined"});
    EXPECT_EQ(rig.Errors(), CON_NoEntries);
  }
}

TEST(MessageDispatch, StoredMaximisedPlacementMaximisesAgain) {
  TDispatchRig rig;
  Prefs->MainFormPos.Maximised = true;
  rig.Send(Wrap(R"(<Message Type="4"/><Window State="0"/>)"));
  ASSERT_FALSE(rig.Host.Window.Calls.empty());
  EXPECT_EQ(rig.Host.Window.Calls.front(), "WindowState 0");
  EXPECT_EQ(rig.Host.Window.Calls.back(), "Maximise");
  EXPECT_TRUE(rig.Host.Window.Maximised());
}

TEST(MessageDispatch, ParamsSetAppliesEverythingInOneMessage) {
  TDispatchRig rig;
  rig.Send(Wrap(R"(<Message Type="4"/><Device Type="1"/><Window Width="500"/><Font Name="Serif"/>)"
                R"(<Node Name="Hall" Group="3"/>)"));
  EXPECT_EQ(Prefs->NodeName(), "Hall");
  EXPECT_EQ(Prefs->Group(), 3);
  EXPECT_EQ(Prefs->FontName, "Serif");
  EXPECT_EQ(rig.Host.Window.Restored().Width, 500);
  EXPECT_EQ(rig.Host.Draws.size(), 1u) << "one redraw for font and window together";
  EXPECT_EQ(rig.Sessions(), std::vector<std::string>{"Params Set message received from N/A"});
}

TEST(MessageDispatch, OpenSettingsDialogShowsTheNewValues) {
  for (const bool open : {true, false}) {
    SCOPED_TRACE(open ? "dialog open" : "dialog closed");
    TDispatchRig rig;
    rig.Host.SettingsOpen = open;
    rig.Send(Wrap(R"(<Message Type="4"/><Node Name="Renamed"/>)"));
    EXPECT_EQ(rig.Host.SettingsShown, open ? std::vector<std::string>{"Renamed"} : CON_NoEntries);
    rig.Send(Wrap(R"(<Message Type="6"/><Display/>)"));
    rig.Send(Wrap(R"(<Message Type="2"/>)"));
    EXPECT_EQ(rig.Host.SettingsShown.size(), open ? 1u : 0u) << "only a parameter change refreshes it";
  }
}

TEST(MessageDispatch, WithoutThePreferencesParamsSetIsAnError) {
  TDispatchRig rig;
  PreferencesModuleEnd();
  rig.Send(Wrap(R"(<Message Type="4"/><Node Name="X"/>)"));
  EXPECT_EQ(rig.Errors(), CON_ReadError);
  EXPECT_EQ(rig.Sessions(), CON_NoEntries);
  PreferencesModuleStart(&rig.Slot);
}

// ---- The copy of the last message -----------------------------------------

TEST(MessageDispatch, CopyHoldsExactlyTheReceivedBytes) {
  TDispatchRig rig;
  const fs::path copy = rig.Cwd / "UDPRead.xml";
  const std::vector<std::string> datagrams = {
      Wrap(R"(<Message Type="6"/><Display><Line Centre="A rather long line of text"/></Display>)"),
      // Shorter, with a different declaration and odd spacing: kept as sent.
      "<?xml version='1.0' encoding='ISO-8859-1'?>\n<R  ><Message Type=\"0\"\t/></R>",
      // Parsed but without a message: still the last message received.
      "\xEF\xBB\xBF<R/>",
      Wrap(R"(<Message Type="2"/>)"),
  };
  for (const auto& d : datagrams) {
    SCOPED_TRACE(d);
    rig.Send(d);
    EXPECT_EQ(ReadFile(copy), d);
  }
  rig.Send("not XML");
  EXPECT_EQ(ReadFile(copy), datagrams.back()) << "a datagram that does not parse is not kept";
}

TEST(MessageDispatch, CopyRemovedMeanwhileIsMadeAgain) {
  TDispatchRig rig;
  const fs::path copy = rig.Cwd / "UDPRead.xml";
  rig.Send(Wrap(R"(<Message Type="0"/>)"));
  fs::remove(copy);
  const std::string second = Wrap(R"(<Message Type="1"/>)");
  rig.Send(second);
  EXPECT_EQ(ReadFile(copy), second);
}

TEST(MessageDispatch, CopyThatCannotBeWrittenStopsTheMessage) {
  TDispatchRig rig;
  const fs::path copy = rig.Cwd / "UDPRead.xml";
  fs::create_directory(copy);  // even root cannot open a directory for writing
  const std::string before = rig.State();
  const std::string ack = Wrap(R"(<Message Type="2"/>)");
  rig.Send(ack);
  EXPECT_EQ(rig.Errors(), CON_ReadError);
  EXPECT_EQ(rig.Sessions(), CON_NoEntries);
  EXPECT_EQ(rig.State(), before);
  // The next datagram tries again.
  fs::remove(copy);
  rig.Send(ack);
  EXPECT_EQ(rig.Errors(), CON_ReadError);
  EXPECT_EQ(rig.Sessions(), std::vector<std::string>{"Acknowledge message received from Undefined"});
  EXPECT_EQ(ReadFile(copy), ack);
}

TEST(MessageDispatch, CurrentDirectoryRemovedStopsTheMessage) {
  TDispatchRig rig;
  const fs::path inner = rig.Cwd / "inner";
  fs::create_directory(inner);
  fs::current_path(inner);
  rig.Send(Wrap(R"(<Message Type="0"/>)"));  // the copy is open in inner now
  fs::remove_all(inner);
  const std::string before = rig.State();
  rig.Send(Wrap(R"(<Message Type="2"/>)"));
  EXPECT_EQ(rig.Errors(), CON_ReadError);
  EXPECT_EQ(rig.Sessions(), CON_NoEntries);
  EXPECT_EQ(rig.State(), before);
}

// A store that fails with something that is not a standard exception.
class TThrowingStore : public TLastMessageStore {
 public:
  void Replace(std::string_view) override { throw 42; }
};

TEST(MessageDispatch, NothingEscapesTheHandler) {
  TDispatchRig rig;
  TMessageDispatcher dispatcher(rig.Host, std::make_unique<TThrowingStore>());
  EXPECT_NO_THROW(dispatcher.UDPRead({Wrap(R"(<Message Type="3"/>)"), "", 0}));
  EXPECT_EQ(rig.Errors(), CON_ReadError);
  EXPECT_FALSE(rig.Host.Close->Enabled());
}

}  // namespace
}  // namespace lumaren
