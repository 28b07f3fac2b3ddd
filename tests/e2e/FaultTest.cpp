// Faults around a running node that need no privileges: a folder where
// UDPRead.xml should be, a file where the log folder should be, a run killed
// outright and the start after it, and a damaged preferences file. In each
// the node must go on serving, and keep what it has to keep.

#include <signal.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "e2e/TNodeFixture.h"
#include "e2e/TProcFacts.h"
#include "e2e/TRefusedCopy.h"
#include "protocol/uDeviceNode.h"

namespace lumaren::test {
namespace {

namespace fs = std::filesystem;

using FaultTest = NodeTest;

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// The log name a run started now gets: "yyyymmdd-hhmmss", local time.
std::string FileStampNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return stamp;
}

// The copy of every datagram goes where a folder stands.
TEST_F(FaultTest, FolderInPlaceOfUDPReadXmlGivesEachDatagramTheErrorAndTheNodeAnnouncesOn) {
  fs::create_directory(Node.WorkDir() / "UDPRead.xml");
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  ExpectEveryDatagramRefused(Controller, Node);
  EXPECT_TRUE(fs::is_directory(Node.WorkDir() / "UDPRead.xml"));
}

// Without a log folder the node has nowhere to log: it says so once on
// stderr, then runs, applies and saves as ever.
TEST_F(FaultTest, FileInPlaceOfTheLogFolderIsReportedOnceAndTheNodeServes) {
  const fs::path logs = Node.LogDir();
  WriteText(logs, "not a folder");
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));

  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_ParamsSet, R"(<Node Name="Renamed"/>)")));
  const auto renamed = [](const TAnnouncement& a) { return a.NodeName == "Renamed"; };
  EXPECT_TRUE(Controller.WaitForAnnouncement(0, renamed, CON_EventTimeout).has_value())
      << "the ParamsSet was not applied";

  EXPECT_EQ(ShutDown(), 0);
  EXPECT_EQ(ReadFile(logs), "not a folder");
  EXPECT_EQ(SavedNodeName(Node.PreferencesFile()), "Renamed");
  const std::string output = Node.Output();
  EXPECT_EQ(Occurrences(output, "cannot open the session log"), 1) << output;
  EXPECT_EQ(Occurrences(output, "cannot write to the session log"), 0) << output;
}

// kill -9 gives the program no chance to end its modules: its log stays
// plain, its single-instance socket stays behind, and a zip writer's
// temporary would too. The next start must not take the dead socket for a
// running instance, must clear the temporary, and must leave the old log be.
TEST_F(FaultTest, KilledRunLeavesItsLogAndTheNextStartServesAndTidiesUp) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  const auto logs = Node.LogFiles(".log");
  ASSERT_EQ(logs.size(), 1u);
  const fs::path oldLog = logs.front();

  ASSERT_EQ(::kill(static_cast<pid_t>(Node.Pid()), SIGKILL), 0);
  ASSERT_EQ(Node.WaitForExit(CON_ExitTimeout), -1);
  const std::string left = ReadFile(oldLog);
  std::vector<fs::path> sockets;
  for (const auto& entry : fs::directory_iterator(Node.Root() / "runtime"))
    if (entry.path().extension() == ".socket") sockets.push_back(entry.path());
  EXPECT_EQ(sockets.size(), 1u) << "no stale single-instance socket to show the case";
  // What a run killed while archiving leaves beside its archive.
  const fs::path temporary = oldLog.parent_path() / (oldLog.stem().string() + ".zip.Ab12Cd");
  WriteText(temporary, "half an archive");

  // A start in the same second would append to the killed run's log and
  // archive it; the case here is the log of a run long gone.
  ASSERT_TRUE(ProcessEventsUntil([&] { return FileStampNow() != oldLog.stem().string(); }, 2s));
  const std::size_t heard = Controller.Announcements().size();
  const auto next = Node.InSameFolders();
  next->Start();
  ASSERT_TRUE(Controller.WaitForAnnouncements(heard + 1, CON_StartTimeout)) << "the next start never announced";
  const quint16 port = Controller.Announcements()[heard].SenderPort;
  ASSERT_TRUE(Controller.SendTo(QHostAddress::LocalHost, port, MessageXml(CON_Acknowledge)));
  EXPECT_TRUE(next->WaitForLogEntry("Session", "Acknowledge message received from Undefined", CON_EventTimeout));
  EXPECT_FALSE(fs::exists(temporary));

  ASSERT_TRUE(Controller.SendTo(QHostAddress::LocalHost, port, MessageXml(CON_Shutdown)));
  EXPECT_EQ(next->WaitForExit(CON_ExitTimeout), 0);
  EXPECT_EQ(Node.LogFiles(".log"), std::vector<fs::path>{oldLog});
  EXPECT_EQ(ReadFile(oldLog), left);
  EXPECT_EQ(Node.LogFiles(".zip").size(), 1u);
}

// The node's listening port, once it has one: its only UDP socket.
std::optional<quint16> ListeningPort(const TNodeProcess& node) {
  std::optional<quint16> port;
  ProcessEventsUntil(
      [&] {
        const auto sockets = UdpSockets(static_cast<pid_t>(node.Pid()));
        if (sockets.size() == 1 && sockets[0].LocalPort != 0) port = static_cast<quint16>(sockets[0].LocalPort);
        return port.has_value();
      },
      CON_StartTimeout);
  return port;
}

struct TDamagedFile {
  const char* Name;
  std::string Content;
};

void PrintTo(const TDamagedFile& file, std::ostream* out) { *out << file.Name; }

class DamagedPreferencesTest : public NodeTest, public ::testing::WithParamInterface<TDamagedFile> {};

// A preferences file that cannot be parsed: the node starts on the defaults
// (so it announces to the default discovery port), keeps the file as
// "Preferences.xml.bad" for repair, logs why, and saves the defaults at the
// end without touching the kept file.
TEST_P(DamagedPreferencesTest, NodeStartsOnTheDefaultsAndKeepsTheFileAside) {
  TController defaults(static_cast<quint16>(CON_UDPPortDefault));
  ASSERT_TRUE(defaults.Bound());
  const std::string damaged = GetParam().Content;
  WriteText(Node.PreferencesFile(), damaged);
  Node.Start();

  // Other nodes may announce to the default port; this one is told by its port.
  const auto port = ListeningPort(Node);
  ASSERT_TRUE(port.has_value()) << "the node never listened";
  const auto fromNode = [&](const TAnnouncement& a) { return a.SenderPort == *port; };
  const auto first = defaults.WaitForAnnouncement(0, fromNode, CON_StartTimeout);
  ASSERT_TRUE(first.has_value()) << "no announcement to the default discovery port";
  EXPECT_EQ(defaults.Announcements()[*first].NodeName, "Lumaren");
  EXPECT_EQ(defaults.Announcements()[*first].NodeGroup, "1");

  const fs::path kept = Node.PreferencesFile().string() + ".bad";
  EXPECT_EQ(ReadFile(kept), damaged);
  const auto entries = Node.LogEntries();
  const auto reported = std::count_if(entries.begin(), entries.end(), [&](const TLogEntry& e) {
    return e.Title == "Error" && e.Text.find("cannot be parsed") != std::string::npos &&
           e.Text.find(kept.string()) != std::string::npos;
  });
  EXPECT_EQ(reported, 1);

  ASSERT_TRUE(defaults.SendTo(QHostAddress::LocalHost, *port, MessageXml(CON_Shutdown)));
  ASSERT_EQ(Node.WaitForExit(CON_ExitTimeout), 0);
  EXPECT_EQ(SavedNodeName(Node.PreferencesFile()), "Lumaren");
  EXPECT_EQ(ReadFile(kept), damaged);
}

// A file the program wrote, cut off part way as a crash of the disk would.
std::string TruncatedPreferences() {
  const std::string whole =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings>\n  <Network>\n    <DiscoveryPort>1965</DiscoveryPort>\n"
      "    <LocalPort>0</LocalPort>\n  </Network>\n  <Options>\n    <NodeName>Kiosk</NodeName>\n";
  return whole.substr(0, whole.size() - 7);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedPreferencesTest,
                         ::testing::Values(TDamagedFile{"Truncated", TruncatedPreferences()},
                                           TDamagedFile{"Empty", ""},
                                           TDamagedFile{"NotXml", "NodeName=Kiosk\nGroup=4\n"},
                                           TDamagedFile{"Binary", std::string("\x00\xFF\xFE<\x01", 5)}),
                         [](const ::testing::TestParamInfo<TDamagedFile>& info) {
                           return std::string(info.param.Name);
                         });

// Another root is no damage: the file is read like any other and nothing is
// moved aside.
TEST_F(FaultTest, PreferencesUnderAnotherRootAreReadLikeAnyOther) {
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Preferences><Network><DiscoveryPort>" +
                           std::to_string(Controller.DiscoveryPort()) +
                           "</DiscoveryPort></Network><Options><NodeName>Other Root</NodeName></Options></Preferences>";
  WriteText(Node.PreferencesFile(), text);
  Node.Start();
  ASSERT_TRUE(Controller.WaitForAnnouncements(1, CON_StartTimeout));
  EXPECT_EQ(Controller.Announcements().front().NodeName, "Other Root");
  EXPECT_FALSE(fs::exists(Node.PreferencesFile().string() + ".bad"));
  for (const TLogEntry& entry : Node.LogEntries()) EXPECT_NE(entry.Title, "Error") << entry.Text;
  EXPECT_EQ(ShutDown(), 0);
}

}  // namespace
}  // namespace lumaren::test
