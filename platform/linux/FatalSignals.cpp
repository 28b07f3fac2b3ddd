#include "platform/linux/FatalSignals.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/linux/CrashReport.h"

namespace lumaren::platform {

namespace {

constexpr int CON_FatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int CON_SignalCount = sizeof CON_FatalSignals / sizeof CON_FatalSignals[0];

// The handler's state, prepared before it can run; plain arrays, since the
// handler may touch nothing that allocates.
char GReportFile[4096];
char GProgramLine[512];
struct sigaction GPrevious[CON_SignalCount];
bool GInstalled = false;
volatile sig_atomic_t GReportWritten = 0;
std::unique_ptr<char[]> GAltStack;
stack_t GPreviousAltStack;

void WriteText(int fd, const char* text) {
  std::size_t length = std::strlen(text);
  while (length > 0) {
    const ssize_t written = ::write(fd, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

// Decimal digits of value into buffer (at least 21 bytes); returns buffer.
char* FormatNumber(char* buffer, long long value, int minDigits = 1) {
  char digits[24];
  int n = 0;
  const bool negative = value < 0;
  unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0 || n < minDigits);
  int i = 0;
  if (negative) buffer[i++] = '-';
  while (n > 0) buffer[i++] = digits[--n];
  buffer[i] = '\0';
  return buffer;
}

// "yyyy-mm-dd hh:mm:ss UTC" without the C library's time formatting, which
// may take locks (days to civil date after H. Hinnant's algorithm).
void WriteUtcTime(int fd) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const long long seconds = now.tv_sec;
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long mp = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char number[24];
  WriteText(fd, FormatNumber(number, year, 4));
  WriteText(fd, "-");
  WriteText(fd, FormatNumber(number, month, 2));
  WriteText(fd, "-");
  WriteText(fd, FormatNumber(number, day, 2));
  WriteText(fd, " ");
  WriteText(fd, FormatNumber(number, rest / 3600, 2));
  WriteText(fd, ":");
  WriteText(fd, FormatNumber(number, rest / 60 % 60, 2));
  WriteText(fd, ":");
  WriteText(fd, FormatNumber(number, rest % 60, 2));
  WriteText(fd, " UTC");
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV (segmentation fault)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGFPE: return "SIGFPE (arithmetic error)";
    case SIGILL: return "SIGILL (illegal instruction)";
    case SIGABRT: return "SIGABRT (abort)";
    default: return "fatal signal";
  }
}

void FatalSignalHandler(int signal) {
  const int savedErrno = errno;
  if (!GReportWritten) {
    GReportWritten = 1;
    const int fd = ::open(GReportFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      char number[24];
      // A report cut short before us must not swallow our separator.
      WriteText(fd, "\n");
      WriteText(fd, CON_BugReportSeparator);
      WriteText(fd, "\ndate/time       : ");
      WriteUtcTime(fd);
      WriteText(fd, "\nprogram         : ");
      WriteText(fd, GProgramLine);
      WriteText(fd, "\nprocess id      : ");
      WriteText(fd, FormatNumber(number, ::getpid()));
      WriteText(fd, "\nsignal          : ");
      WriteText(fd, SignalName(signal));
      WriteText(fd, "\nstack trace:\n");
      void* frames[64];
      const int count = backtrace(frames, 64);
      backtrace_symbols_fd(frames, count, fd);
      WriteText(fd, "\n");
      ::close(fd);
    }
    WriteText(STDERR_FILENO, "Fatal signal: ");
    WriteText(STDERR_FILENO, SignalName(signal));
    WriteText(STDERR_FILENO, "; report appended to ");
    WriteText(STDERR_FILENO, GReportFile);
    WriteText(STDERR_FILENO, "\n");
  }
  errno = savedErrno;
  // SA_RESETHAND has put back the default action and SA_NODEFER lets the
  // signal through at once: the program ends here.
  ::raise(signal);
}

void CopyInto(char* buffer, std::size_t size, const std::string& text) {
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

void InstallFatalSignalHandlers(const std::string& reportFile, const std::string& programLine) {
  if (GInstalled) RemoveFatalSignalHandlers();
  CopyInto(GReportFile, sizeof GReportFile, reportFile);
  CopyInto(GProgramLine, sizeof GProgramLine, programLine);
  GReportWritten = 0;
  // backtrace() loads the unwinder on its first call, which allocates: do it
  // now, not in the handler.
  void* frame[1];
  backtrace(frame, 1);

  const std::size_t altStackSize = static_cast<std::size_t>(SIGSTKSZ) < 65536 ? 65536 : SIGSTKSZ;
  GAltStack = std::make_unique<char[]>(altStackSize);
  stack_t altStack{};
  altStack.ss_sp = GAltStack.get();
  altStack.ss_size = altStackSize;
  sigaltstack(&altStack, &GPreviousAltStack);

  struct sigaction action {};
  action.sa_handler = FatalSignalHandler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
  for (int i = 0; i < CON_SignalCount; ++i) sigaction(CON_FatalSignals[i], &action, &GPrevious[i]);
  GInstalled = true;
}

void RemoveFatalSignalHandlers() {
  if (!GInstalled) return;
  for (int i = 0; i < CON_SignalCount; ++i) sigaction(CON_FatalSignals[i], &GPrevious[i], nullptr);
  sigaltstack(&GPreviousAltStack, nullptr);
  GAltStack.reset();
  GInstalled = false;
}

void MarkFatalReportWritten() { GReportWritten = 1; }

}  // namespace lumaren::platform
