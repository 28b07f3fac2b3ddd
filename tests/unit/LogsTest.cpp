// The session log: header, entries, archive, retention, and what survives
// runs that end badly.

#include <gtest/gtest.h>

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "services/uFileHelpers.h"
#include "services/uLogs.h"
#include "support/TChildProcess.h"
#include "support/TTempDir.h"

namespace lumaren {
namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::system_clock;

// A local wall-clock time, whatever the test machine's time zone.
TClock::time_point LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return TClock::from_time_t(std::mktime(&t));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// "stamp | severity | title | description", split at the first three bars.
struct TEntry {
  std::string Stamp, Severity, Title, Description;
};

TEntry ParseEntry(const std::string& line) {
  TEntry e;
  std::string* parts[] = {&e.Stamp, &e.Severity, &e.Title};
  std::size_t from = 0;
  for (std::string* part : parts) {
    const std::size_t bar = line.find(" | ", from);
    if (bar == std::string::npos) return {};
    *part = line.substr(from, bar - from);
    from = bar + 3;
  }
  e.Description = line.substr(from);
  return e;
}

std::vector<std::string> Descriptions(const std::string& log) {
  std::vector<std::string> out;
  for (const auto& line : Lines(log)) out.push_back(ParseEntry(line).Description);
  return out;
}

// Entry name -> content of every entry of a zip archive.
std::map<std::string, std::string> ReadZip(const fs::path& path) {
  std::map<std::string, std::string> entries;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
    std::string content(st.size, '\0');
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file) {
      zip_fread(file, content.data(), content.size());
      zip_fclose(file);
    }
    entries[st.name] = content;
  }
  zip_close(archive);
  return entries;
}

zip_uint16_t CompressionOf(const fs::path& path, const std::string& entry) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  zip_stat_t st;
  zip_stat_init(&st);
  if (archive) {
    zip_stat(archive, entry.c_str(), 0, &st);
    zip_close(archive);
  }
  return st.comp_method;
}

void WriteZip(const fs::path& path, const std::string& entry, const std::string& content) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
  ASSERT_GE(zip_file_add(archive, entry.c_str(), source, 0), 0);
  ASSERT_EQ(zip_close(archive), 0);
}

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Logs : public ::testing::Test {
 protected:
  void SetUp() override {
    FileHelpersModuleStart({"Maker Ltd", "Gizmo", "3.2.1.0", "3.0.0.0"});
    Facts.ProgramFilePath = "/opt/gizmo/bin/gizmo";
    Facts.OSName = "Test OS 7";
    Facts.CPUName = "Test CPU @ 3.00GHz";
    Facts.CPUCores = 6;
    Facts.RAMTotal = 16LL << 30;
    Facts.RAMFree = (1LL << 30) + (1LL << 29);
    Facts.ComputerName = "bench-07";
    Facts.UserName = "tester";
    Facts.Monitors = {{1234, 1920, 1080, 0, 0}, {99, 1280, 1024, -1280, -200}};
  }
  void TearDown() override {
    LogsModuleEnd();
    FileHelpersModuleEnd();
  }

  void Start(platform::TDateTimeSeparators separators = {}) {
    LogsModuleStart(Folder.string(), Facts, separators, [this] { return Now; });
  }

  test::TTempDir Temp;
  fs::path Folder = Temp / "state/Maker Ltd/Gizmo/logs";  // missing parents are made
  platform::TMachineFacts Facts;
  TClock::time_point Now = LocalTime(2026, 12, 11, 13, 45, 2) + std::chrono::milliseconds(123);
  const std::string Stamp = "20261211-134502";
};

TEST_F(Logs, NormalRunLeavesOneArchiveHoldingHeaderEntriesAndEnd) {
  Start();
  LogNewSession("Display data message received from desk");
  LogNewError("XML message read error");
  Now += std::chrono::seconds(75);
  LogsModuleEnd();

  ASSERT_EQ(FolderNames(Folder), std::vector<std::string>{Stamp + ".zip"});
  const auto entries = ReadZip(Folder / (Stamp + ".zip"));
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_EQ(entries.begin()->first, Stamp + ".log");  // bare name, no folder
  EXPECT_EQ(CompressionOf(Folder / (Stamp + ".zip"), Stamp + ".log"), ZIP_CM_DEFLATE);

  const std::vector<std::string> expected = {
      "Start: 2026/12/11 13:45:02",
      "Gizmo 3.2.1.0",
      "File Location: /opt/gizmo/bin/gizmo",
      "OS Name: Test OS 7",
      "CPU Name: Test CPU @ 3.00GHz",
      "CPU Cores: 6",
      "RAM Total: 16 GB",
      "RAM Free: 1.5 GB",
      "Computer Name: bench-07",
      "User Name: tester",
      "Monitor 1 Handle:1234 W:1920 H:1080 L:0 T:0",
      "Monitor 2 Handle:99 W:1280 H:1024 L:-1280 T:-200",
      "Display data message received from desk",
      "XML message read error",
      "End: 2026/12/11 13:46:17",
  };
  const std::string log = entries.begin()->second;
  EXPECT_EQ(Descriptions(log), expected);

  const auto lines = Lines(log);
  ASSERT_EQ(lines.size(), expected.size());
  const TEntry first = ParseEntry(lines.front());
  EXPECT_EQ(first.Stamp, "2026/12/11 13:45:02.123");
  EXPECT_EQ(first.Severity, "Information");
  EXPECT_EQ(first.Title, "Session");
  const TEntry error = ParseEntry(lines[13]);
  EXPECT_EQ(error.Severity, "Error");
  EXPECT_EQ(error.Title, "Error");
  EXPECT_EQ(ParseEntry(lines.back()).Stamp, "2026/12/11 13:46:17.123");
}

TEST_F(Logs, StartAndEndUseTheUsersDateAndTimeSeparators) {
  Start({".", "."});
  LogsModuleEnd();
  const auto descriptions = Descriptions(ReadZip(Folder / (Stamp + ".zip"))[Stamp + ".log"]);
  ASSERT_FALSE(descriptions.empty());
  EXPECT_EQ(descriptions.front(), "Start: 2026.12.11 13.45.02");
  EXPECT_EQ(descriptions[7], "RAM Free: 1.5 GB");  // the decimal point is not the date's
  EXPECT_EQ(descriptions.back(), "End: 2026.12.11 13.45.02");
}

TEST_F(Logs, EntryIsInTheFileWhenTheCallReturnsAndStaysOnOneLine) {
  Start();
  const std::string log = SessionLogFileName();
  ASSERT_EQ(log, (Folder / (Stamp + ".log")).string());
  const std::size_t headerLines = Lines(ReadFile(log)).size();
  EXPECT_EQ(headerLines, 12u);

  LogNewSession("first\r\nsecond\nthird \\n\x01 tab\tend");
  const auto lines = Lines(ReadFile(log));
  ASSERT_EQ(lines.size(), headerLines + 1);
  EXPECT_EQ(ParseEntry(lines.back()).Description, "first\\r\\nsecond\\nthird \\\\n\\x01 tab\tend");
}

TEST_F(Logs, EntriesOutsideTheModuleAreDropped) {
  LogNewSession("before start");
  LogNewError("before start");
  EXPECT_EQ(SessionLogFileName(), "");
  Start();
  LogsModuleEnd();
  LogNewSession("after end");
  LogNewError("after end");
  LogsModuleEnd();  // a second end changes nothing
  EXPECT_EQ(SessionLogFileName(), "");
  EXPECT_EQ(FolderNames(Folder), std::vector<std::string>{Stamp + ".zip"});
  const auto log = ReadZip(Folder / (Stamp + ".zip"))[Stamp + ".log"];
  EXPECT_EQ(log.find("after end"), std::string::npos);
  EXPECT_EQ(log.find("before start"), std::string::npos);
}

TEST_F(Logs, StartInTheSameSecondAppendsToTheEarlierLog) {
  fs::create_directories(Folder);
  const std::string earlier = "2026/12/11 13:45:02.010 | Information | Session | Start: earlier instance\n";
  WriteFile(Folder / (Stamp + ".log"), earlier);
  Start();
  LogsModuleEnd();
  const std::string log = ReadZip(Folder / (Stamp + ".zip"))[Stamp + ".log"];
  EXPECT_EQ(log.substr(0, earlier.size()), earlier);
  EXPECT_EQ(Lines(log).size(), 1u + 12u + 1u);
}

TEST_F(Logs, ArchiveTemporariesOfAKilledRunAreRemovedAtStart) {
  fs::create_directories(Folder / "kept.zip.abcdef");  // a folder is not a temporary
  const std::vector<std::string> leftovers = {"20261210-080000.zip.a1B2c3", "other.zip.XyZ789"};
  const std::vector<std::string> others = {"notes.zip.txt", "20261210-080000.zip.a1B2c", "20261210-080000.log"};
  for (const auto& name : leftovers) WriteFile(Folder / name, "partial");
  for (const auto& name : others) WriteFile(Folder / name, "keep");
  Start();
  for (const auto& name : leftovers) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(fs::exists(Folder / name));
  }
  for (const auto& name : others) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(fs::exists(Folder / name));
  }
  EXPECT_TRUE(fs::is_directory(Folder / "kept.zip.abcdef"));
}

TEST_F(Logs, PruningKeepsTheArchivesWhoseNamesSortLast) {
  struct Case {
    const char* what;
    int olderArchives;  // time-stamp archives of earlier runs
    int deleted;        // the oldest ones that must go
  };
  // With the current run's archive and one foreign archive counted.
  const Case cases[] = {
      {"30 archives: 5 go", 28, 5},
      {"26 archives: 1 goes", 24, 1},
      {"25 archives: none goes", 23, 0},
      {"3 archives: none goes", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TTempDir temp;
    const fs::path folder = temp / "logs";
    fs::create_directories(folder / "x.zip");  // a folder does not count
    WriteFile(folder / ".hidden.zip", "");      // nor does a hidden file
    WriteFile(folder / "20200101-000000.log", "crashed run");  // plain logs are never pruned
    WriteFile(folder / "foreign.zip", "");      // a letter sorts after every digit
    std::vector<std::string> older;
    for (int i = 0; i < c.olderArchives; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "202512%02d-120000.zip", i + 1);
      older.push_back(name);
      WriteFile(folder / name, "");
    }
    LogsModuleStart(folder.string(), Facts, {}, [this] { return Now; });
    LogsModuleEnd();

    for (int i = 0; i < c.olderArchives; ++i) {
      SCOPED_TRACE(older[static_cast<std::size_t>(i)]);
      EXPECT_EQ(fs::exists(folder / older[static_cast<std::size_t>(i)]), i >= c.deleted);
    }
    for (const char* kept : {"x.zip", ".hidden.zip", "20200101-000000.log", "foreign.zip"}) {
      SCOPED_TRACE(kept);
      EXPECT_TRUE(fs::exists(folder / kept));
    }
    EXPECT_TRUE(fs::exists(folder / (Stamp + ".zip")));
  }
}

TEST_F(Logs, ArchiveNamesCompareWithoutCase) {
  // "B.zip" sorts between "a.zip" and "c.zip" only when case is ignored;
  // by byte value it would sort first and be the one deleted.
  fs::create_directories(Folder);
  for (int i = 0; i < 23; ++i) WriteFile(Folder / ("d" + std::to_string(10 + i) + ".zip"), "");
  for (const char* name : {"a.zip", "B.zip", "c.ZIP"}) WriteFile(Folder / name, "");
  Start();
  LogsModuleEnd();
  // 23 + 3 + this run = 27: the two first by name, the run's and "a.zip", go.
  EXPECT_FALSE(fs::exists(Folder / (Stamp + ".zip")));
  EXPECT_FALSE(fs::exists(Folder / "a.zip"));
  EXPECT_TRUE(fs::exists(Folder / "B.zip"));
  EXPECT_TRUE(fs::exists(Folder / "c.ZIP"));
}

TEST_F(Logs, FailedArchiveKeepsThePlainLog) {
  struct Case {
    const char* what;
    void (*prepare)(const fs::path& archive, const std::string& entry);
  };
  const Case cases[] = {
      {"a folder where the archive goes",
       [](const fs::path& archive, const std::string&) { fs::create_directories(archive / "inside"); }},
      {"a file that is no zip archive",
       [](const fs::path& archive, const std::string&) { WriteFile(archive, "not a zip archive"); }},
      {"an archive already holding a log of that name",
       [](const fs::path& archive, const std::string& entry) { WriteZip(archive, entry, "earlier run\n"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TTempDir temp;
    const fs::path folder = temp / "logs";
    fs::create_directories(folder);
    const fs::path archive = folder / (Stamp + ".zip");
    c.prepare(archive, Stamp + ".log");
    LogsModuleStart(folder.string(), Facts, {}, [this] { return Now; });
    LogNewSession("the only copy");
    LogsModuleEnd();

    const auto descriptions = Descriptions(ReadFile(folder / (Stamp + ".log")));
    ASSERT_FALSE(descriptions.empty());
    EXPECT_EQ(descriptions[descriptions.size() - 2], "the only copy");
    EXPECT_EQ(descriptions.back().substr(0, 5), "End: ");
    // Whatever stood in the way is left as it was, and no temporary stays.
    if (fs::is_regular_file(archive)) {
      const auto entries = ReadZip(archive);
      if (!entries.empty()) {
        EXPECT_EQ(entries.at(Stamp + ".log"), "earlier run\n");
      }
    }
    for (const auto& name : FolderNames(folder)) {
      EXPECT_TRUE(name == Stamp + ".log" || name == Stamp + ".zip") << name;
    }
  }
}

TEST_F(Logs, RunEndingWithoutModuleEndLeavesItsLogForGood) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A second instance turned away at start-up, or a crash: no module end.
    LogsModuleStart(Folder.string(), Facts, {}, [this] { return Now; });
    LogNewSession("last words");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));

  const fs::path crashed = Folder / (Stamp + ".log");
  const std::string left = ReadFile(crashed);
  const auto descriptions = Descriptions(left);
  ASSERT_EQ(descriptions.size(), 13u);
  EXPECT_EQ(descriptions.front(), "Start: 2026/12/11 13:45:02");
  EXPECT_EQ(descriptions.back(), "last words");

  // A later run archives only its own log and prunes only archives.
  Now += std::chrono::hours(1);
  Start();
  LogsModuleEnd();
  EXPECT_EQ(ReadFile(crashed), left);
  EXPECT_TRUE(fs::exists(Folder / "20261211-144502.zip"));
  EXPECT_FALSE(fs::exists(Folder / "20261211-144502.log"));
}

// A real full disk under the log: a small tmpfs in a private mount namespace,
// filled up. The log's own last page still takes a few entries, then one
// entry is cut off part way and the rest are lost; once there is room again
// the next entry must start a line of its own, and stderr must have heard of
// the loss once, not once per entry.
TEST_F(Logs, FullDiskLosesEntriesSaysSoOnceAndTheNextEntryStartsItsOwnLine) {
  fs::create_directories(Folder);
  const fs::path keptLog = Temp / "kept.log";
  const fs::path keptStderr = Temp / "stderr.txt";
  constexpr int CON_Entries = 200;  // far more than the slack of one page holds
  const int code = test::RunInChild([&] {
    const std::string reason = test::MountPrivateTmpfs(Folder.string(), 64 * 1024);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s\n", reason.c_str());
      return test::CON_ChildSkipped;
    }
    const int err = ::open(keptStderr.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0 || ::dup2(err, STDERR_FILENO) < 0) return 2;
    Start();
    if (!test::FillFileSystem(Folder.string())) return 3;
    for (int i = 0; i < CON_Entries; ++i) LogNewSession("entry " + std::to_string(i));
    fs::remove(Folder / "filler");
    LogNewSession("after");
    // The tmpfs goes with the child; the parent reads the copy.
    fs::copy_file(Folder / (Stamp + ".log"), keptLog);
    LogsModuleEnd();
    return 0;
  });
  if (code == test::CON_ChildSkipped) GTEST_SKIP() << "no private tmpfs can be mounted here (needs root)";
  ASSERT_EQ(code, 0) << "2: stderr not redirected, 3: the disk did not fill";

  const auto lines = Lines(ReadFile(keptLog));
  ASSERT_FALSE(lines.empty());
  // Glued to a cut-off entry, the stamp would carry that entry's start.
  EXPECT_EQ(ParseEntry(lines.back()).Stamp, "2026/12/11 13:45:02.123") << lines.back();
  EXPECT_EQ(ParseEntry(lines.back()).Description, "after") << lines.back();
  // Every line is a whole entry but the one the disk cut off; the entries
  // that made it are the first ones, in order.
  int cut = 0;
  int kept = 0;
  for (const std::string& line : lines) {
    const TEntry entry = ParseEntry(line);
    if (entry.Title != "Session") {
      ++cut;
      continue;
    }
    if (entry.Description.rfind("entry ", 0) == 0) {
      EXPECT_EQ(entry.Description, "entry " + std::to_string(kept)) << line;
      ++kept;
    }
  }
  EXPECT_LE(cut, 1);
  EXPECT_LT(kept, CON_Entries) << "the disk never filled under the log";

  const auto messages = Lines(ReadFile(keptStderr));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("cannot write to the session log"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("No space left on device"), std::string::npos) << messages[0];
}

TEST_F(Logs, LogThatCannotBeOpenedDropsEntriesWithoutFailing) {
  fs::create_directories(Temp.Path() / "state");
  WriteFile(Temp / "state/logs", "a file where the folder should be");
  LogsModuleStart((Temp / "state/logs").string(), Facts, {}, [this] { return Now; });
  LogNewSession("goes nowhere");
  LogNewError("goes nowhere");
  LogsModuleEnd();
  EXPECT_EQ(ReadFile(Temp / "state/logs"), "a file where the folder should be");
}

}  // namespace
}  // namespace lumaren
