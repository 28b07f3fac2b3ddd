// Datagrams sent to a running node: what each leaves in the session log, in
// UDPRead.xml and on the screen, and that nothing a controller sends stops
// the node from serving.

#include <QImage>
#include <QPainter>

#include <memory>

#include "display/DisplayPainter.h"
#include "display/uDisplayLine.h"
#include "e2e/TNodeFixture.h"
#include "e2e/TScreenFrames.h"
#include "support/qt/TImageInk.h"

namespace lumaren::test {
namespace {

using MessagesTest = NodeTest;

// Colours that no default and no other test uses, so a frame in them is
// this node's doing. Preferences write RRGGBB; the window shows the same.
const QColor CON_TextColour(0xFF, 0xD7, 0x00);
const QColor CON_WindowColour(0x00, 0x30, 0x80);

// One centred text on the given colours, drawn the way the window draws
// its content, at the frame's size.
QImage RenderedCentreText(const QSize& size, const std::string& text) {
  TDisplayLineList list;
  list.Clear();
  auto line = std::make_unique<TDisplayLine>();
  line->TextCentre = text;
  list.Add(std::move(line));
  const TDisplayLook look{CON_WindowColour, CON_TextColour, QStringLiteral("Courier New")};
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  PaintDisplay(painter, image.rect(), list, look);
  return image;
}

bool SameImage(const QImage& a, const QImage& b) {
  return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

bool OnlyWindowColour(const QImage& frame) { return InkRect(frame, CON_WindowColour).isNull(); }

TNodePreferences ColouredPreferences(TNodePreferences prefs) {
  prefs.FontColour = "FFD700";
  prefs.BgColour = "003080";
  return prefs;
}

TEST_F(MessagesTest, AcknowledgeShowsConnectedForAMomentAndNamesTheSender) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(ColouredPreferences(Preferences()), true));
  const TScreenFrames frames(Node.WorkDir());
  // The start-up screen comes first; "Connected" must be a later frame.
  const auto startScreen = frames.WaitForFrame(0, [](const QImage& f) { return !OnlyWindowColour(f); },
                                               CON_EventTimeout);
  ASSERT_TRUE(startScreen.has_value()) << "the start-up screen never showed";

  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  const auto connected = frames.WaitForFrame(
      *startScreen + 1, [](const QImage& frame) { return SameImage(frame, RenderedCentreText(frame.size(), "Connected")); },
      CON_EventTimeout);
  ASSERT_TRUE(connected.has_value()) << "no frame showed \"Connected\" in the preference colours";
  // A second later the content is cleared: the window colour alone.
  EXPECT_TRUE(frames.WaitForFrame(*connected + 1, OnlyWindowColour, CON_EventTimeout).has_value())
      << "\"Connected\" was never cleared";

  // The device type only names the sender in the log.
  const struct {
    const char* Device;
    const char* Named;
  } senders[] = {
      {R"(<Device Type="2"/>)", "Display"},
      {R"(<Device Type="1"/>)", "N/A"},
      {R"(<Device Type="7"/>)", "Undefined"},
  };
  for (const auto& sender : senders) {
    SCOPED_TRACE(sender.Device);
    ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge, sender.Device)));
    EXPECT_TRUE(WaitForSession(std::string("Acknowledge message received from ") + sender.Named));
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

// What CON_HandWrittenDisplayData shows, drawn by hand.
QImage RenderedHandWrittenContent(const QSize& size) {
  TDisplayLineList list;
  list.Clear();
  list.FontName = "Courier New";
  list.BgColour = 0x406000;    // 006040: red in the low byte
  list.FontColour = 0xA0F0F0;  // F0F0A0
  auto first = std::make_unique<TDisplayLine>();
  first->TextLeft = "Flight";
  first->TextRight = "Gate";
  list.Add(std::move(first));
  auto second = std::make_unique<TDisplayLine>();
  second->TextCentre = "Caf\xC3\xA9 Z\xC3\xBCrich\r\n12:45";
  list.Add(std::move(second));
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  PaintDisplay(painter, image.rect(), list, ResolveDisplayLook(list, 0, 0xFFFFFF, "Courier New", false));
  return image;
}

TEST_F(MessagesTest, DisplayDataIsShownLoggedAndKeptByteForByte) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(ColouredPreferences(Preferences()), true));
  const TScreenFrames frames(Node.WorkDir());

  ASSERT_TRUE(Controller.SendToNode(CON_HandWrittenDisplayData));
  ASSERT_TRUE(WaitForSession("Display data message received from Display"));
  EXPECT_EQ(ReadFile(Node.WorkDir() / "UDPRead.xml"), CON_HandWrittenDisplayData);
  EXPECT_TRUE(frames
                  .WaitForFrame(
                      0, [](const QImage& f) { return SameImage(f, RenderedHandWrittenContent(f.size())); },
                      CON_EventTimeout)
                  .has_value())
      << "no frame showed the content";

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
    EXPECT_TRUE(ProcessEventsUntil([&] { return Node.CountLogEntries("Error", readError) >= errors; },
                                   CON_EventTimeout));
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
      {"Announce", MessageXml(1, R"(<Device Type="2" Name="Lumaren" Version="1.0.4.0"/><Node Name="Other" Group="1"/>)")},
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
