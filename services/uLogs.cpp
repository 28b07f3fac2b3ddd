#include "services/uLogs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "services/uFileHelpers.h"
#include "services/uLogArchive.h"

namespace lumaren {

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::system_clock;

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd = -1) : FFd(fd) {}
  ~TFileDescriptor() { Close(); }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  void Close() { Reset(-1); }
  void Reset(int fd) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }

 private:
  int FFd;
};

struct TLogsState {
  std::string LogFilePath;  // ends with "/"
  std::string SessionLogFileName;
  std::string ArchiveFileName;
  platform::TDateTimeSeparators Separators;
  TLogClock Now;
  TFileDescriptor SessionLogFile;
  // Writing fails (a full disk): said once on stderr until a write succeeds.
  bool WriteFailing = false;
  // The last entry was cut off part way; the next one starts a new line.
  bool LineOpen = false;
};

std::unique_ptr<TLogsState> GLogs;

// Broken-down local time plus milliseconds.
struct TLocalTime {
  std::tm Fields{};
  int Milliseconds = 0;
};

TLocalTime ToLocal(TClock::time_point at) {
  const auto sinceEpoch = at.time_since_epoch();
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
  if (millis < 0) {  // times before 1970 round toward the past, like the seconds
    millis += 1000;
    seconds -= std::chrono::seconds(1);
  }
  TLocalTime local;
  const std::time_t t = static_cast<std::time_t>(seconds.count());
  localtime_r(&t, &local.Fields);
  local.Milliseconds = static_cast<int>(millis);
  return local;
}

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string Year(const std::tm& t) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", t.tm_year + 1900);
  return buffer;
}

// "yyyymmdd-hhmmss": the file name of a run.
std::string FileStamp(const std::tm& t) {
  return Year(t) + TwoDigits(t.tm_mon + 1) + TwoDigits(t.tm_mday) + "-" + TwoDigits(t.tm_hour) +
         TwoDigits(t.tm_min) + TwoDigits(t.tm_sec);
}

// "yyyy/mm/dd hh:mm:ss" with the given separators.
std::string DateTimeText(const std::tm& t, const std::string& dateSeparator, const std::string& timeSeparator) {
  return Year(t) + dateSeparator + TwoDigits(t.tm_mon + 1) + dateSeparator + TwoDigits(t.tm_mday) + " " +
         TwoDigits(t.tm_hour) + timeSeparator + TwoDigits(t.tm_min) + timeSeparator + TwoDigits(t.tm_sec);
}

std::string UserDateTimeNow() {
  const TLocalTime now = ToLocal(GLogs->Now());
  return DateTimeText(now.Fields, GLogs->Separators.Date, GLogs->Separators.Time);
}

const char* SeverityText(TLogEventSeverity severity) {
  switch (severity) {
    case TLogEventSeverity::lesError:
      return "Error";
    case TLogEventSeverity::lesWarning:
      return "Warning";
    case TLogEventSeverity::lesInformation:
      break;
  }
  return "Information";
}

// Keeps one entry on one line (see uLogs.h).
std::string EscapeLogText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if ((u < 0x20 && c != '\t') || u == 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

// One write(2) per entry on an O_APPEND descriptor: the entry lands at the
// end of the file as a whole, even when another process shares the file,
// and the cost does not grow with the file. No fsync: handing the entry to
// the system is enough to survive a crash of the program.
// A full disk loses the entry, never the program or the entries before it.
void WriteEntry(TLogEventSeverity severity, const char* title, const std::string& text) {
  if (!GLogs || !GLogs->SessionLogFile.Valid()) return;
  const TLocalTime at = ToLocal(GLogs->Now());
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d", at.Milliseconds);
  const std::string line = std::string(GLogs->LineOpen ? "\n" : "") + DateTimeText(at.Fields, "/", ":") + millis +
                           " | " + SeverityText(severity) + " | " + title + " | " + EscapeLogText(text) + "\n";
  const char* data = line.data();
  std::size_t left = line.size();
  while (left > 0) {
    const ssize_t written = ::write(GLogs->SessionLogFile.Get(), data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A regular file that takes nothing without an error is full as well.
      const int error = written < 0 ? errno : ENOSPC;
      if (left < line.size()) GLogs->LineOpen = true;
      if (!GLogs->WriteFailing) {
        GLogs->WriteFailing = true;
        std::fprintf(stderr, "cannot write to the session log %s: %s; entries are lost until it takes them again\n",
                     GLogs->SessionLogFileName.c_str(), std::strerror(error));
      }
      return;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  GLogs->LineOpen = false;
  GLogs->WriteFailing = false;
}

void WriteHeader(const platform::TMachineFacts& facts, TClock::time_point start) {
  const TLocalTime startLocal = ToLocal(start);
  LogNewSession("Start: " + DateTimeText(startLocal.Fields, GLogs->Separators.Date, GLogs->Separators.Time));
  LogNewSession(ProductName() + " " + ProductVersion());
  LogNewSession("File Location: " + facts.ProgramFilePath);
  LogNewSession("OS Name: " + facts.OSName);
  LogNewSession("CPU Name: " + facts.CPUName);
  LogNewSession("CPU Cores: " + std::to_string(facts.CPUCores));
  LogNewSession("RAM Total: " + BytesToStr(facts.RAMTotal));
  LogNewSession("RAM Free: " + BytesToStr(facts.RAMFree));
  LogNewSession("Computer Name: " + facts.ComputerName);
  LogNewSession("User Name: " + facts.UserName);
  int number = 0;
  for (const platform::TMonitorInfo& m : facts.Monitors) {
    ++number;
    LogNewSession("Monitor " + std::to_string(number) + " Handle:" + std::to_string(m.Handle) +
                  " W:" + std::to_string(m.Width) + " H:" + std::to_string(m.Height) +
                  " L:" + std::to_string(m.Left) + " T:" + std::to_string(m.Top));
  }
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

void LogsModuleStart(const std::string& logFilePath, const platform::TMachineFacts& facts,
                     const platform::TDateTimeSeparators& separators, TLogClock now) {
  if (GLogs) throw std::logic_error("LogsModuleStart: the log is already started");
  auto state = std::make_unique<TLogsState>();
  state->LogFilePath = logFilePath;
  if (state->LogFilePath.empty() || state->LogFilePath.back() != '/') state->LogFilePath += '/';
  state->Separators = separators;
  state->Now = now ? std::move(now) : TLogClock([] { return TClock::now(); });

  // A folder that cannot be made shows up as a log that cannot be opened.
  std::error_code ignored;
  fs::create_directories(state->LogFilePath, ignored);
  RemoveArchiveTemporaries(state->LogFilePath);

  // One instant for the name and the "Start: " line, so they always agree.
  const TClock::time_point start = state->Now();
  state->SessionLogFileName = state->LogFilePath + FileStamp(ToLocal(start).Fields) + ".log";
  // Never O_TRUNC: a second start within the same second shares the name.
  const int fd = ::open(state->SessionLogFileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "cannot open the session log %s: %s\n", state->SessionLogFileName.c_str(),
                 std::strerror(errno));
  }
  state->SessionLogFile.Reset(fd);
  GLogs = std::move(state);
  WriteHeader(facts, start);
}

void LogsModuleEnd() {
  if (!GLogs) return;
  // Archive only a log this run could write and that is still in place.
  bool archived = false;
  if (GLogs->SessionLogFile.Valid() && IsRegularFile(GLogs->SessionLogFileName)) {
    LogNewSession("End: " + UserDateTimeNow());
    GLogs->ArchiveFileName = fs::path(GLogs->SessionLogFileName).replace_extension(".zip").string();
    archived = ArchiveLogFile(GLogs->SessionLogFileName, GLogs->ArchiveFileName);
  }
  GLogs->SessionLogFile.Close();
  // Only an archive that was read back holding the whole log replaces it: a
  // failed or partial archive must not take the only copy of the run's log.
  if (archived) {
    std::error_code ignored;
    fs::remove(GLogs->SessionLogFileName, ignored);
  }
  DeleteOldLogFiles();
  GLogs.reset();
}

void LogNewSession(const std::string& text) { WriteEntry(TLogEventSeverity::lesInformation, "Session", text); }

void LogNewError(const std::string& text) { WriteEntry(TLogEventSeverity::lesError, "Error", text); }

void DeleteOldLogFiles() {
  if (!GLogs) return;
  PruneArchives(GLogs->LogFilePath, CON_MAX_LOG_FILES);
}

std::string SessionLogFileName() { return GLogs ? GLogs->SessionLogFileName : std::string(); }

}  // namespace lumaren
