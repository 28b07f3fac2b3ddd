// The real node over file systems that fail it: a read-only working
// directory, full disks under its logs and preferences, an archive that
// cannot be deleted among too many, and a kill while it archives. The mounts
// are made in this process's private mount namespace, which the node
// inherits.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "e2e/TNodeFixture.h"
#include "e2e/TRefusedCopy.h"
#include "e2e/TScreenFrames.h"
#include "fault/TMounts.h"
#include "support/TChildProcess.h"

namespace lumaren::test {
namespace {

namespace fs = std::filesystem;

class FilesystemFaultTest : public NodeTest {
 protected:
  void SetUp() override {
    if (!InPrivateMountNamespace()) GTEST_SKIP() << "needs a private mount namespace: run scripts/fault-tests.sh";
  }
};

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What the zip writer leaves beside an archive: "<name>.zip.XXXXXX".
bool IsArchiveTemporary(const std::string& name) { return std::regex_match(name, std::regex(R"(.*\.zip\.\w{6})")); }

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

TEST_F(FilesystemFaultTest, ReadOnlyWorkingDirectoryRefusesEveryDatagramAndTheNodeAnnouncesOn) {
  const TMount readOnly = TMount::ReadOnly(Node.WorkDir());
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  ExpectEveryDatagramRefused(Controller, Node);
  EXPECT_FALSE(fs::exists(Node.WorkDir() / "UDPRead.xml"));
}

// The disks under the log and the preferences fill up while the node runs
// and stay full at its end. The display goes on (it needs neither), the log
// loses entries and says so once per spell of failure, resumes when there is
// room, and at the end the old preferences and the run's plain log are what
// is left: no archive, no temporaries.
TEST_F(FilesystemFaultTest, FullDisksUnderLogAndPreferencesCostEntriesButNoFiles) {
  constexpr unsigned long CON_DiskSize = 256 * 1024;
  const fs::path state = Node.Root() / "state";
  const fs::path config = Node.Root() / "config";
  const TMount stateDisk = TMount::Tmpfs(state, CON_DiskSize);
  const TMount configDisk = TMount::Tmpfs(config, CON_DiskSize);
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences(), true));
  const TScreenFrames frames(Node.WorkDir());
  const std::string savedPreferences = ReadFile(Node.PreferencesFile());
  ASSERT_FALSE(savedPreferences.empty());
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  const auto logs = Node.LogFiles(".log");
  ASSERT_EQ(logs.size(), 1u);
  const fs::path log = logs.front();

  ASSERT_TRUE(FillFileSystem(state.string()));
  ASSERT_TRUE(FillFileSystem(config.string()));
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_ParamsSet, R"(<Node Name="Renamed"/>)")));
  const std::string content = MessageXml(CON_DisplayData, R"(<Device Type="2"/><Display Expiry="0">)"
                                                          R"(<Font BGColour="400000"/><Line Centre="Full"/></Display>)");
  ASSERT_TRUE(Controller.SendToNode(content));
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_ParamsSet, R"(<Node Group="5"/>)")));

  // Everything was applied, though hardly anything was logged.
  const auto renamed = [](const TAnnouncement& a) { return a.NodeName == "Renamed" && a.NodeGroup == "5"; };
  EXPECT_TRUE(Controller.WaitForAnnouncement(0, renamed, CON_EventTimeout).has_value());
  const auto onRed = [](const QImage& frame) { return frame.pixelColor(0, 0) == QColor(0x40, 0, 0); };
  EXPECT_TRUE(frames.WaitForFrame(0, onRed, CON_EventTimeout).has_value()) << "the content was never shown";
  EXPECT_EQ(ReadFile(Node.WorkDir() / "UDPRead.xml"), MessageXml(CON_ParamsSet, R"(<Node Group="5"/>)"));
  EXPECT_LT(Node.CountLogEntries("Session", "Params Set message received from Undefined"), 201);
  EXPECT_EQ(Occurrences(Node.Output(), "cannot write to the session log"), 1) << Node.Output();

  // Room again: the next entry arrives whole, on a line of its own.
  fs::remove(state / "filler");
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge, R"(<Device Type="2"/>)")));
  ASSERT_TRUE(WaitForSession("Acknowledge message received from Display"));
  const auto entries = Node.LogEntries();
  EXPECT_EQ(entries.back().Text, "Acknowledge message received from Display");
  // Glued to a cut-off entry, the stamp would carry that entry's start.
  EXPECT_TRUE(std::regex_match(entries.back().Stamp, std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})")))
      << entries.back().Stamp;
  EXPECT_LE(std::count_if(entries.begin(), entries.end(), [](const TLogEntry& e) { return e.Title.empty(); }), 1)
      << "entries glued together";

  // Full again for the end; more entries than the slack of the log's last
  // page holds make a second spell of failure.
  ASSERT_TRUE(FillFileSystem(state.string()));
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return ReadFile(Node.WorkDir() / "UDPRead.xml") == MessageXml(CON_Acknowledge); }, CON_EventTimeout));
  ASSERT_EQ(ShutDown(), 0);
  EXPECT_EQ(ReadFile(Node.PreferencesFile()), savedPreferences);
  EXPECT_EQ(Names(Node.PreferencesFile().parent_path()), std::vector<std::string>{"Preferences.xml"});
  EXPECT_EQ(Names(Node.LogDir()), (std::vector<std::string>{log.filename().string()}));
  EXPECT_EQ(ParseLog(ReadFile(log)).front().Text.rfind("Start: ", 0), 0u);
  EXPECT_EQ(Occurrences(Node.Output(), "cannot write to the session log"), 2) << Node.Output();
}

// 30 archives, a folder named like one, and the oldest archive held in place
// by a mount (unlink gives EBUSY, as for a file another program locks). At
// the end the node keeps the 25 newest archives, its own among them, deletes
// the others it can, and leaves the folder and the held archive alone.
TEST_F(FilesystemFaultTest, PruningSkipsAFolderAndAnArchiveThatCannotBeDeleted) {
  const fs::path logs = Node.LogDir();
  fs::create_directories(logs);
  std::vector<std::string> archives;
  for (int day = 1; day <= 30; ++day) {
    char name[32];
    std::snprintf(name, sizeof name, "202001%02d-000000.zip", day);
    archives.push_back(name);
    std::ofstream(logs / name, std::ios::binary) << "archive of day " << day;
  }
  fs::create_directory(logs / "x.zip");
  std::ofstream(logs / "x.zip" / "inside.log") << "kept";
  std::ofstream(Node.Root() / "held.zip", std::ios::binary) << "held in place";
  const TMount held = TMount::Bind(Node.Root() / "held.zip", logs / archives.front());
  std::error_code ec;
  ASSERT_FALSE(fs::remove(logs / archives.front(), ec)) << "the mount does not hold the archive";

  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  const auto runLog = Node.LogFiles(".log");
  ASSERT_EQ(runLog.size(), 1u);
  ASSERT_EQ(ShutDown(), 0);

  // 31 archives: the 6 oldest go but the held one.
  std::vector<std::string> expected(archives.begin() + 6, archives.end());
  expected.push_back(archives.front());
  expected.push_back(runLog.front().stem().string() + ".zip");
  expected.push_back("x.zip");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(logs), expected);
  EXPECT_EQ(ReadFile(logs / archives.front()), "held in place");
  EXPECT_EQ(ReadFile(logs / "x.zip" / "inside.log"), "kept");
}

// "yyyymmdd-hhmmss" of a local time: the name of a run's log.
std::string FileStamp(std::time_t at) {
  std::tm local{};
  localtime_r(&at, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return stamp;
}

// The log the node holds open, found among its descriptors.
std::optional<fs::path> OpenLog(pid_t pid, const fs::path& logs) {
  std::error_code ec;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(it->path(), linkError);
    if (!linkError && target.parent_path() == logs && target.extension() == ".log") return target;
  }
  return std::nullopt;
}

// Text that deflates slowly: random characters of a 64-letter alphabet.
void WriteSlowToPack(const fs::path& file, std::size_t size) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text(size, '\n');
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    if (i % 100 != 99) text[i] = alphabet[x & 63];
  }
  std::ofstream(file, std::ios::binary) << text;
}

// kill -9 while the log is being archived: a large log makes archiving last
// long enough to catch the zip writer's temporary and kill the node then.
// The run's plain log stays whole; the next start removes the temporary,
// serves, and leaves the old log be.
TEST_F(FilesystemFaultTest, KillWhileArchivingLeavesTheLogWholeAndTheNextStartTidiesUp) {
  const fs::path logs = Node.LogDir();
  fs::create_directories(logs);
  // The run's log name comes from its start time; every name it can get
  // already holds the large text (a log of the same name is appended to).
  const fs::path large = logs / "large.txt";
  WriteSlowToPack(large, 64u << 20);
  const std::time_t now = std::time(nullptr);
  for (std::time_t at = now - 1; at <= now + 20; ++at) fs::create_hard_link(large, logs / (FileStamp(at) + ".log"));

  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  const auto open = OpenLog(static_cast<pid_t>(Node.Pid()), logs);
  ASSERT_TRUE(open.has_value()) << "the node holds no log open";
  for (const std::string& name : Names(logs))
    if (logs / name != *open) fs::remove(logs / name);

  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Shutdown)));
  std::optional<std::string> caught;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!caught && Node.Running() && std::chrono::steady_clock::now() < deadline) {
    for (const std::string& name : Names(logs))
      if (IsArchiveTemporary(name)) caught = name;
  }
  ASSERT_TRUE(caught.has_value()) << "archiving ended before it could be caught";
  ASSERT_EQ(::kill(static_cast<pid_t>(Node.Pid()), SIGKILL), 0);
  ASSERT_EQ(Node.WaitForExit(CON_ExitTimeout), -1);

  // The log is whole, up to the end entry written before archiving.
  const std::string left = ReadFile(*open);
  ASSERT_GT(left.size(), 64u << 20);
  const auto tail = ParseLog(left.substr(left.size() - 4096));
  ASSERT_FALSE(tail.empty());
  EXPECT_EQ(tail.back().Text.rfind("End: ", 0), 0u) << tail.back().Text;
  const auto afterKill = Names(logs);
  EXPECT_EQ(std::count_if(afterKill.begin(), afterKill.end(), IsArchiveTemporary), 1);
  EXPECT_TRUE(Node.LogFiles(".zip").empty());

  // A start in the same second would append to the killed run's log.
  const std::string killedStamp = open->stem().string();
  ASSERT_TRUE(ProcessEventsUntil([&] { return FileStamp(std::time(nullptr)) != killedStamp; }, 2s));
  const std::size_t heard = Controller.Announcements().size();
  const auto next = Node.InSameFolders();
  next->Start();
  ASSERT_TRUE(Controller.WaitForAnnouncements(heard + 1, CON_StartTimeout)) << "the next start never announced";
  const quint16 port = Controller.Announcements()[heard].SenderPort;
  ASSERT_TRUE(Controller.SendTo(QHostAddress::LocalHost, port, MessageXml(CON_Acknowledge)));
  EXPECT_TRUE(next->WaitForLogEntry("Session", "Acknowledge message received from Undefined", CON_EventTimeout));
  const auto afterStart = Names(logs);
  EXPECT_EQ(std::count_if(afterStart.begin(), afterStart.end(), IsArchiveTemporary), 0);

  ASSERT_TRUE(Controller.SendTo(QHostAddress::LocalHost, port, MessageXml(CON_Shutdown)));
  EXPECT_EQ(next->WaitForExit(CON_ExitTimeout), 0);
  EXPECT_EQ(Node.LogFiles(".log"), std::vector<fs::path>{*open});
  // Compared whole, not printed: a diff of 64 MiB would take more memory
  // than the machine has.
  const std::string kept = ReadFile(*open);
  EXPECT_EQ(kept.size(), left.size());
  EXPECT_TRUE(kept == left) << "the killed run's log changed";
  EXPECT_EQ(Node.LogFiles(".zip").size(), 1u);
}

}  // namespace
}  // namespace lumaren::test
