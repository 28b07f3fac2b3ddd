#pragma once
// The real display program, run as a child process for one test. Every run
// gets a fresh temporary folder holding its configuration, state and runtime
// folders and its working directory, so tests running side by side share
// nothing but the network namespace. Its stdout and stderr go to files
// there; a run still alive when the driver goes is ended by its pid.

#include <QProcess>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/TTempDir.h"

namespace lumaren::test {

// What a test puts into the node's preferences file before the start.
struct TNodePreferences {
  int DiscoveryPort = 0;  // always a port of the test's own, so parallel tests stay apart
  int LocalPort = 0;
  std::string NodeName = "Lobby";
  int Group = 3;
  int HeartbeatInterval = 1000;
  std::string FontColour = "FFFFFF";  // RRGGBB, as the file writes colours
  std::string BgColour = "000000";
};

// One entry of the session log: "stamp | Severity | Title | text".
struct TLogEntry {
  std::string Stamp;
  std::string Severity;
  std::string Title;
  std::string Text;
};

// The parts of a log line; the text keeps any " | " of its own. A line that
// is not an entry gives all of it as Text.
TLogEntry ParseLogLine(const std::string& line);
std::vector<TLogEntry> ParseLog(const std::string& text);

class TNodeProcess {
 public:
  // A run in folders of its own.
  TNodeProcess();
  ~TNodeProcess();
  TNodeProcess(const TNodeProcess&) = delete;
  TNodeProcess& operator=(const TNodeProcess&) = delete;

  // Another run in this run's folders, as a second start by the same user.
  std::unique_ptr<TNodeProcess> InSameFolders() const;

  void WritePreferences(const TNodePreferences& prefs);
  // Starts the program. With recordFrames the program runs on Qt's minimal
  // platform with its backing-store debugging on, which saves every frame
  // the window shows as outputNNNN.png in the working directory (see
  // TScreenFrames); otherwise it runs offscreen.
  void Start(bool recordFrames = false);
  bool Running() const;
  qint64 Pid() const { return FPid; }
  // The exit code once the program has ended within timeout (-1 when a
  // signal ended it); nothing while it still runs at the deadline.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

  // What the program wrote to stdout and stderr so far.
  std::string Output() const;

  // The run's folder: "config", "state" and "runtime" (its XDG folders) and
  // "work" (its working directory) are below it.
  const std::filesystem::path& Root() const { return FRoot->Path(); }
  const std::filesystem::path& WorkDir() const { return FWorkDir; }
  std::filesystem::path PreferencesFile() const;
  std::filesystem::path LogDir() const;
  // The files in the log folder with that extension (".log", ".zip").
  std::vector<std::filesystem::path> LogFiles(const std::string& extension) const;
  // The entries of this run's plain log; empty while there is none.
  std::vector<TLogEntry> LogEntries() const;
  // Waits until the log holds an entry for which match is true.
  bool WaitForLogEntry(const std::function<bool(const TLogEntry&)>& match, std::chrono::milliseconds timeout);
  bool WaitForLogEntry(const std::string& title, const std::string& text, std::chrono::milliseconds timeout);
  // How many entries have exactly this title and text.
  int CountLogEntries(const std::string& title, const std::string& text) const;

 private:
  explicit TNodeProcess(std::shared_ptr<TTempDir> folders);
  std::filesystem::path OutputFile(const char* stream) const;

  std::shared_ptr<TTempDir> FRoot;  // shared by runs in the same folders
  std::filesystem::path FWorkDir;
  std::vector<std::filesystem::path> FLogsBefore;  // the plain logs in the folder before the start
  int FRun = 0;                                    // tells the output files of runs in the same folders apart
  QProcess FProcess;
  qint64 FPid = 0;
};

// Every entry of a zip archive: name -> content; empty when it cannot be read.
std::vector<std::pair<std::string, std::string>> ReadZipEntries(const std::filesystem::path& archive);

std::string ReadFile(const std::filesystem::path& path);

}  // namespace lumaren::test
