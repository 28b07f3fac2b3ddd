#pragma once
// The pieces of a bug report that need no window: its text, the report file
// kept under its size limit, the stack trace, the tail of a log file, the
// mail to support and the restart of the program.

#include <cstddef>
#include <string>
#include <vector>

namespace lumaren::platform {

// bugreport.txt never grows beyond this; the oldest whole reports go first.
inline constexpr std::size_t CON_MaxBugReportBytes = 100000;
// The first line of every report, also of those written at a fatal signal.
inline constexpr char CON_BugReportSeparator[] = "=============================== bug report ===============================";
inline constexpr char CON_BugReportFileName[] = "bugreport.txt";

struct TCrashReport {
  std::string Time;            // local time, "yyyy-mm-dd hh:mm:ss.zzz"
  std::string ProgramName;
  std::string ProgramVersion;
  std::string ExecutablePath;
  long ProcessId = 0;
  std::string ExceptionType;   // demangled type name
  std::string ExceptionText;   // what()
  std::string Where;           // what was being handled
  std::vector<std::string> StackTrace;
  std::string LastLogLines;
};

// The report's text: the separator line, one "name : value" line per field,
// the stack trace and the log lines indented, and an empty line at the end.
// Long texts are cut, so one report stays far below CON_MaxBugReportBytes.
std::string FormatCrashReport(const TCrashReport& report);

// content with the oldest whole reports (and any text before the first
// report) dropped until it fits into maxBytes. A newest report that alone
// is too large keeps its beginning.
std::string TrimBugReports(const std::string& content, std::size_t maxBytes);

// Appends report to the file (made when missing), trimmed to maxBytes.
// Throws std::runtime_error when the file cannot be written.
void AppendBugReport(const std::string& fileName, const std::string& report,
                     std::size_t maxBytes = CON_MaxBugReportBytes);

// The current thread's call stack, demangled, without this function and
// the skipFrames frames above it; at most 64 frames.
std::vector<std::string> CurrentStackTrace(int skipFrames = 0);
// "binary(_ZN3foo3barEv+0x12) [0x4011]" -> "binary(foo::bar()+0x12) [0x4011]".
std::string DemangleStackFrame(const std::string& frame);
std::string DemangleTypeName(const char* mangled);

// The last maxLines whole lines among the last maxBytes of the file; "" when
// it cannot be read.
std::string ReadFileTail(const std::string& fileName, std::size_t maxLines, std::size_t maxBytes);

// A mailto: URL with subject and body, at most maxLength characters: a body
// that does not fit is cut at a character boundary and ends with
// cutNote. Everything but unreserved characters is percent-encoded.
std::string MailtoUrl(const std::string& address, const std::string& subject, const std::string& body,
                      std::size_t maxLength, const std::string& cutNote);

// The command line ("/bin/sh" and its arguments) that waits until process
// pid has ended (at most 30 s) and then starts program with arguments: a
// restarted program must not meet its predecessor's single-instance guard.
std::vector<std::string> RestartCommandLine(long pid, const std::string& program,
                                            const std::vector<std::string>& arguments);

}  // namespace lumaren::platform
