// Datagrams sent to a running node: what each leaves in the session log, in
// UDPRead.xml and on the screen, and that nothing a controller sends stops
// the node from serving.

#include <QImage>
#include <QPainter>

#include <functional>
#include <memory>

#include "display/DisplayPainter.h"
#include "display/uDisplayLine.h"
#include "e2e/TNodeFixture.h"
#include "e2e/TScreenFrames.h"
#include "support/qt/TImageInk.h"

namespace lumaren::test {
namespace {

using MessagesTest = NodeTest;

// Preference colours that no default uses, written as the file writes them
// (RRGGBB) and as the program holds them (red in the low byte).
const char* const CON_PrefsFontHex = "FFD700";
const char* const CON_PrefsBgHex = "003080";
constexpr TColor CON_PrefsFont = 0x00D7FF;
constexpr TColor CON_PrefsBg = 0x803000;
const QColor CON_PrefsWindowColour(0x00, 0x30, 0x80);

TNodePreferences ColouredPreferences(TNodePreferences prefs) {
  prefs.FontColour = CON_PrefsFontHex;
  prefs.BgColour = CON_PrefsBgHex;
  return prefs;
}

std::unique_ptr<TDisplayLine> Line(const std::string& left, const std::string& centre, const std::string& right) {
  auto line = std::make_unique<TDisplayLine>();
  line->TextLeft = left;
  line->TextCentre = centre;
  line->TextRight = right;
  return line;
}

// What the window shows for list on the coloured preferences, drawn here in
// this process the way the window draws, at the frame's size, in the phase
// in which blinking text is visible.
QImage Rendered(const QSize& size, const TDisplayLineList& list) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  PaintDisplay(painter, image.rect(), list, ResolveDisplayLook(list, CON_PrefsBg, CON_PrefsFont, "Courier New", false));
  return image;
}

bool SameImage(const QImage& a, const QImage& b) {
  return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// A frame test: the frame shows list as Rendered draws it.
std::function<bool(const QImage&)> Showing(const TDisplayLineList& list) {
  return [&list](const QImage& frame) { return SameImage(frame, Rendered(frame.size(), list)); };
}

bool AnyFrame(const QImage&) { return true; }

bool OnlyPrefsWindowColour(const QImage& frame) { return InkRect(frame, CON_PrefsWindowColour).isNull(); }

// Each frame is a redraw of its own; the first is the start-up screen.
const char* const CON_NoFrames =
    "no frame recorded; the frames come from Qt's minimal platform saving its backing store "
    "(QT_DEBUG_BACKINGSTORE)";

TEST_F(MessagesTest, AcknowledgeShowsConnectedSteadyOnThePreferenceColoursThenClears) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(ColouredPreferences(Preferences()), true));
  const TScreenFrames frames(Node.WorkDir());
  ASSERT_TRUE(frames.WaitForFrame(0, AnyFrame, CON_EventTimeout).has_value()) << CON_NoFrames;

  // Blinking content on colours of its own, without expiry.
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_DisplayData,
                                               R"(<Display Expiry="0" DisplayStyle="1">)"
                                               R"(<Font Name="Courier New" BGColour="400000" FontColour="00FF00"/>)"
                                               R"(<Line Centre="Boarding"/></Display>)")));
  TDisplayLineList blinking;
  blinking.Clear();
  blinking.DisplayStyle = TDisplayStyle::dsBlink;
  blinking.FontName = "Courier New";
  blinking.BgColour = 0x000040;
  blinking.FontColour = 0x00FF00;
  blinking.Add(Line("", "Boarding", ""));
  const auto shown = frames.WaitForFrame(0, Showing(blinking), CON_EventTimeout);
  ASSERT_TRUE(shown.has_value()) << "the blinking content never showed";

  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  TDisplayLineList connected;
  connected.Clear();
  connected.Add(Line("", "Connected", ""));
  const auto connectedFrame = frames.WaitForFrame(*shown + 1, Showing(connected), CON_EventTimeout);
  ASSERT_TRUE(connectedFrame.has_value()) << "no frame showed \"Connected\" steady on the preference colours";
  // A second later the content is cleared to the preference background.
  EXPECT_TRUE(frames.WaitForFrame(*connectedFrame + 1, OnlyPrefsWindowColour, CON_EventTimeout).has_value())
      << "\"Connected\" was never cleared";
  EXPECT_EQ(ShutDown(), 0);
}

TEST_F(MessagesTest, AcknowledgeNamesTheSendersDeviceType) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  const struct {
    const char* Device;
    const char* Named;
  } senders[] = {
      {"", "Undefined"},
      {R"(<Device Type="2"/>)", "Display"},
      {R"(<Device Type="1"/>)", "N/A"},
      {R"(<Device Type="7"/>)", "Undefined"},
  };
  for (const auto& sender : senders) {
    SCOPED_TRACE(sender.Device);
    const std::string entry = std::string("Acknowledge message received from ") + sender.Named;
    const int before = Node.CountLogEntries("Session", entry);
    ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge, sender.Device)));
    EXPECT_TRUE(ProcessEventsUntil([&] { return Node.CountLogEntries("Session", entry) > before; }, CON_EventTimeout));
  }
  EXPECT_EQ(ShutDown(), 0);
}

// Written by hand as a person would, with CR LF, tabs, single quotes, a
// comment and non-ASCII text, so that any re-serialisation shows in the copy.
const std::string CON_HandWrittenDisplayData =
    "<?xml version='1.0' encoding='UTF-8'?>\r\n"
    "<VELOMARK>\r\n"
    "\t<Message Type='6' />\r\n"
    "\t<Device Type=\"2\"/>\r\n"
    "\t<!-- departures -->\r\n"
    "\t<Display Expiry=\"0\" DisplayStyle=\"0\">\r\n"
    "\t\t<Font Name=\"Courier New\" BGColour=\"006040\" FontColour=\"F0F0A0\"/>\r\n"
    "\t\t<Line Left=\"Flight\" Right=\"Gate\"/>\r\n"
    "\t\t<Line Centre=\"Caf\xC3\xA9 Z\xC3\xBCrich&amp;#xD;12:45\"/>\r\n"
    "\t</Display>\r\n"
    "</VELOMARK>\r\n";

TEST_F(MessagesTest, DisplayDataIsShownLoggedAndKeptByteForByte) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(ColouredPreferences(Preferences()), true));
  const TScreenFrames frames(Node.WorkDir());

  ASSERT_TRUE(Controller.SendToNode(CON_HandWrittenDisplayData));
  ASSERT_TRUE(WaitForSession("Display data message received from Display"));
  EXPECT_EQ(ReadFile(Node.WorkDir() / "UDPRead.xml"), CON_HandWrittenDisplayData);

  TDisplayLineList content;
  content.Clear();
  content.FontName = "Courier New";
  content.BgColour = 0x406000;    // 006040
  content.FontColour = 0xA0F0F0;  // F0F0A0
  content.Add(Line("Flight", "", "Gate"));
  content.Add(Line("", "Caf\xC3\xA9 Z\xC3\xBCrich\r\n12:45", ""));
  EXPECT_TRUE(frames.WaitForFrame(0, Showing(content), CON_EventTimeout).has_value())
      << "no frame showed the content; frames recorded: " << frames.Count();

  // The content has no expiry; an Acknowledge replaces it, and its copy
  // replaces the file.
  const std::string acknowledge = MessageXml(CON_Acknowledge);
  ASSERT_TRUE(Controller.SendToNode(acknowledge));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  EXPECT_EQ(ReadFile(Node.WorkDir() / "UDPRead.xml"), acknowledge);
  EXPECT_EQ(ShutDown(), 0);
}

// A valid Acknowledge from a display, padded with a comment to exactly size
// bytes.
std::string AcknowledgeOfSize(std::size_t size) {
  const std::string frame = MessageXml(CON_Acknowledge, R"(<Device Type="2"/><!---->)");
  return MessageXml(CON_Acknowledge, R"(<Device Type="2"/><!--)" + std::string(size - frame.size(), 'x') + "-->");
}

TEST_F(MessagesTest, MalformedDatagramsLeaveOneErrorEachAndTheNodeServesOn) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  const std::string readError = "XML message read error";

  const struct {
    const char* Name;
    std::string Data;
  } malformed[] = {
      {"not XML", "this is not a message"},
      {"empty", ""},
      {"cut short", MessageXml(CON_Acknowledge).substr(0, 60)},
      // Well-formed but for one byte that is not UTF-8; applied, it would
      // log an Acknowledge.
      {"not UTF-8", MessageXml(CON_Acknowledge, "<Device Name=\"\xFF\"/>")},
  };
  int errors = 0;
  for (const auto& datagram : malformed) {
    SCOPED_TRACE(datagram.Name);
    ASSERT_TRUE(Controller.SendToNode(datagram.Data));
    ++errors;
    EXPECT_TRUE(
        ProcessEventsUntil([&] { return Node.CountLogEntries("Error", readError) >= errors; }, CON_EventTimeout));
    EXPECT_EQ(Node.CountLogEntries("Error", readError), errors);
  }

  // Longer than the 8192 bytes the node reads: it never reaches the
  // handler, neither whole (it would log a DisplayData) nor cut (an error).
  const std::string oversized =
      MessageXml(CON_DisplayData, "<Device Type=\"2\"/><Display/><!--" + std::string(9000, 'x') + "-->");
  ASSERT_TRUE(Controller.SendToNode(oversized));
  // Exactly 8192 bytes still arrive, after the oversized one.
  const std::string largest = AcknowledgeOfSize(8192);
  ASSERT_EQ(largest.size(), 8192u);
  ASSERT_TRUE(Controller.SendToNode(largest));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Display"));
  EXPECT_EQ(Node.CountLogEntries("Error", readError), errors);
  EXPECT_EQ(Node.CountLogEntries("Session", "Display data message received from Display"), 0);
  EXPECT_EQ(Node.CountLogEntries("Session", "Acknowledge message received from Display"), 1);
  EXPECT_EQ(ReadFile(Node.WorkDir() / "UDPRead.xml"), largest);
  for (const TLogEntry& entry : Node.LogEntries()) {
    if (entry.Title == "Error") {
      EXPECT_EQ(entry.Severity, "Error") << entry.Text;
    }
  }
  EXPECT_EQ(ShutDown(), 0);
}

TEST_F(MessagesTest, DatagramsWithoutAMessageToApplyAreKeptButLeaveNoEntry) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  const std::size_t header = Node.LogEntries().size();
  ASSERT_GT(header, 0u);

  const struct {
    const char* Name;
    std::string Data;
  } ignored[] = {
      {"no Message", R"(<VELOMARK><Device Type="2"/></VELOMARK>)"},
      {"no type", R"(<VELOMARK><Message/><Device Type="2"/></VELOMARK>)"},
      {"type 0", MessageXml(0)},
      {"Announce",
       MessageXml(1, R"(<Device Type="2" Name="Lumaren" Version="1.0.4.0"/><Node Name="Other" Group="1"/>)")},
      {"ParamsInfo", MessageXml(5)},
      {"type 9", MessageXml(9)},
      {"type abc", R"(<VELOMARK><Message Type="abc"/></VELOMARK>)"},
  };
  for (const auto& datagram : ignored) {
    SCOPED_TRACE(datagram.Name);
    ASSERT_TRUE(Controller.SendToNode(datagram.Data));
    // Every datagram that parses is kept, so the copy shows it was read.
    EXPECT_TRUE(ProcessEventsUntil([&] { return ReadFile(Node.WorkDir() / "UDPRead.xml") == datagram.Data; },
                                   CON_EventTimeout));
    EXPECT_EQ(Node.LogEntries().size(), header);
  }

  // The root's name plays no part.
  ASSERT_TRUE(Controller.SendToNode(R"(<Other><Message Type="2"/><Device Type="2"/></Other>)"));
  EXPECT_TRUE(WaitForSession("Acknowledge message received from Display"));
  EXPECT_EQ(Node.LogEntries().size(), header + 1);
  EXPECT_EQ(ShutDown(), 0);
}

}  // namespace
}  // namespace lumaren::test
