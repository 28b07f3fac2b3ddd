#include "e2e/TNodeProcess.h"

#include <QProcessEnvironment>
#include <QString>

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <signal.h>
#include <sys/prctl.h>
#include <zip.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "support/qt/TEventWait.h"

namespace fs = std::filesystem;

namespace lumaren::test {

namespace {

// The program's folders below the XDG folders: company, then product.
const char* const CON_ProgramFolder = "Tivora/Lumaren";

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

void MakeFolder(const fs::path& path, fs::perms perms = fs::perms::owner_all) {
  fs::create_directories(path);
  fs::permissions(path, perms);
}

}  // namespace

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TLogEntry ParseLogLine(const std::string& line) {
  TLogEntry entry;
  std::string* parts[] = {&entry.Stamp, &entry.Severity, &entry.Title};
  std::size_t from = 0;
  for (std::string* part : parts) {
    const std::size_t bar = line.find(" | ", from);
    if (bar == std::string::npos) return TLogEntry{"", "", "", line};
    *part = line.substr(from, bar - from);
    from = bar + 3;
  }
  entry.Text = line.substr(from);
  return entry;
}

std::vector<TLogEntry> ParseLog(const std::string& text) {
  std::vector<TLogEntry> entries;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) entries.push_back(ParseLogLine(line));
  }
  return entries;
}

TNodeProcess::TNodeProcess() : FRoot(std::make_shared<TTempDir>()), FWorkDir(*FRoot / "work") {
  MakeFolder(*FRoot / "config");
  MakeFolder(*FRoot / "state");
  MakeFolder(*FRoot / "runtime");  // the runtime folder must be private to the user
  MakeFolder(FWorkDir);
}

TNodeProcess::TNodeProcess(std::shared_ptr<TTempDir> folders)
    : FRoot(std::move(folders)), FWorkDir(*FRoot / "work"), FRun(static_cast<int>(FRoot.use_count()) - 1) {}

std::unique_ptr<TNodeProcess> TNodeProcess::InSameFolders() const {
  return std::unique_ptr<TNodeProcess>(new TNodeProcess(FRoot));
}

fs::path TNodeProcess::OutputFile(const char* stream) const {
  return *FRoot / (std::string(stream) + "-" + std::to_string(FRun) + ".txt");
}

TNodeProcess::~TNodeProcess() {
  if (Running()) {
    ::kill(static_cast<pid_t>(FPid), SIGKILL);
    FProcess.waitForFinished(5000);
  }
  if (FPid != 0 && ::testing::Test::HasFailure()) {
    std::cerr << "---- output of lumaren (pid " << FPid << ") ----\n" << Output() << "---- end of output ----\n";
  }
}

fs::path TNodeProcess::PreferencesFile() const { return *FRoot / "config" / CON_ProgramFolder / "Preferences.xml"; }

fs::path TNodeProcess::LogDir() const { return *FRoot / "state" / CON_ProgramFolder / "logs"; }

void TNodeProcess::WritePreferences(const TNodePreferences& prefs) {
  pugi::xml_document doc;
  auto decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  auto root = doc.append_child("Settings");
  auto network = root.append_child("Network");
  network.append_child("DiscoveryPort").text() = prefs.DiscoveryPort;
  network.append_child("LocalPort").text() = prefs.LocalPort;
  auto options = root.append_child("Options");
  options.append_child("NodeName").text() = prefs.NodeName.c_str();
  options.append_child("Group").text() = prefs.Group;
  options.append_child("HeartbeatInterval").text() = prefs.HeartbeatInterval;
  auto font = options.append_child("Font");
  font.append_attribute("Name") = "Courier New";
  font.append_attribute("FontColour") = prefs.FontColour.c_str();
  font.append_attribute("BGColour") = prefs.BgColour.c_str();
  fs::create_directories(PreferencesFile().parent_path());
  if (!doc.save_file(PreferencesFile().c_str())) throw std::runtime_error("cannot write the preferences");
}

void TNodeProcess::Start(bool recordFrames) {
  FLogsBefore = LogFiles(".log");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", Q(FRoot->Path()));
  env.insert("XDG_CONFIG_HOME", Q(*FRoot / "config"));
  env.insert("XDG_STATE_HOME", Q(*FRoot / "state"));
  env.insert("XDG_RUNTIME_DIR", Q(*FRoot / "runtime"));
  env.remove("QT_DEBUG_BACKINGSTORE");
  if (recordFrames) {
    env.insert("QT_QPA_PLATFORM", "minimal");
    env.insert("QT_DEBUG_BACKINGSTORE", "1");
  } else {
    env.insert("QT_QPA_PLATFORM", "offscreen");
  }
  FProcess.setProcessEnvironment(env);
  FProcess.setWorkingDirectory(Q(FWorkDir));
  FProcess.setStandardOutputFile(Q(OutputFile("stdout")));
  FProcess.setStandardErrorFile(Q(OutputFile("stderr")));
  FProcess.setStandardInputFile(QProcess::nullDevice());
  // Should the test process die, its node goes with it instead of running on.
  FProcess.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
  FProcess.start(QStringLiteral(LUMAREN_EXE), {});
  if (!FProcess.waitForStarted(10000))
    throw std::runtime_error("lumaren did not start: " + FProcess.errorString().toStdString());
  FPid = FProcess.processId();
}

bool TNodeProcess::Running() const { return FProcess.state() != QProcess::NotRunning; }

std::optional<int> TNodeProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (Running() && !FProcess.waitForFinished(static_cast<int>(timeout.count()))) return std::nullopt;
  if (FProcess.exitStatus() == QProcess::CrashExit) return -1;
  return FProcess.exitCode();
}

std::string TNodeProcess::Output() const { return ReadFile(OutputFile("stdout")) + ReadFile(OutputFile("stderr")); }

std::vector<fs::path> TNodeProcess::LogFiles(const std::string& extension) const {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(LogDir(), ec)) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<TLogEntry> TNodeProcess::LogEntries() const {
  // The run's log is the first that was not there before its start; runs
  // started later in the same folders sort after it. A run started in the
  // same second as an earlier one appends to that one's log.
  const auto logs = LogFiles(".log");
  if (logs.empty()) return {};
  for (const fs::path& log : logs) {
    if (std::find(FLogsBefore.begin(), FLogsBefore.end(), log) == FLogsBefore.end()) return ParseLog(ReadFile(log));
  }
  return ParseLog(ReadFile(logs.back()));
}

bool TNodeProcess::WaitForLogEntry(const std::function<bool(const TLogEntry&)>& match,
                                   std::chrono::milliseconds timeout) {
  return ProcessEventsUntil(
      [&] {
        const auto entries = LogEntries();
        return std::any_of(entries.begin(), entries.end(), match);
      },
      timeout);
}

bool TNodeProcess::WaitForLogEntry(const std::string& title, const std::string& text,
                                   std::chrono::milliseconds timeout) {
  return WaitForLogEntry([&](const TLogEntry& e) { return e.Title == title && e.Text == text; }, timeout);
}

int TNodeProcess::CountLogEntries(const std::string& title, const std::string& text) const {
  const auto entries = LogEntries();
  return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                        [&](const TLogEntry& e) { return e.Title == title && e.Text == text; }));
}

std::vector<std::pair<std::string, std::string>> ReadZipEntries(const fs::path& archive) {
  std::vector<std::pair<std::string, std::string>> entries;
  int error = 0;
  zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
  if (!zip) return entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    std::string content(st.size, '\0');
    if (zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0)) {
      const zip_int64_t read = zip_fread(file, content.data(), content.size());
      content.resize(read < 0 ? 0 : static_cast<std::size_t>(read));
      zip_fclose(file);
    }
    entries.emplace_back(st.name, content);
  }
  zip_close(zip);
  return entries;
}

}  // namespace lumaren::test
