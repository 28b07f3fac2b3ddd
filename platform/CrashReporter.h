#pragma once
// The crash reporter: an exception that escapes an event handler, timer tick
// or slot, and a fatal signal, leave a report in "bugreport.txt". With a
// screen the user is asked what to do next: send the report by mail, look at
// it, continue, restart the program or close it.
//
// Exceptions reach it through TApplication (platform/qt/Application.h),
// which must be the program's application object.

#include <exception>
#include <functional>
#include <string>

namespace lumaren::platform {

struct TCrashReporterSettings {
  std::string ProgramName;     // shown and reported, e.g. "Lumaren"
  std::string ProgramVersion;  // the version the program shows and logs
  std::string ReportFolder;    // holds bugreport.txt; made when missing
  std::string SupportAddress;  // where "Send" addresses its mail
  // The newest lines of the session log for the report; may be empty, may throw.
  std::function<std::string()> LastLogLines;
  // The program's normal end, as "Exit Program" does it (the main window's
  // close: preferences saved, log archived). The event loop is ended after
  // it, so a modal dialog left open cannot hold the program up.
  std::function<void()> CloseProgram;
};

// Installs the handlers: exceptions from TApplication, and SIGSEGV, SIGBUS,
// SIGFPE, SIGILL and SIGABRT (a minimal report, then the signal's default
// action ends the program), and std::terminate. Needs the Qt application
// object. Called once, after the log module started.
void CrashReporterModuleStart(const TCrashReporterSettings& settings);
// Restores the previous signal handlers. Does nothing when not started.
void CrashReporterModuleEnd();

bool CrashReporterStarted();

// Reports the exception being handled: call only inside a catch block.
// Appends the report to bugreport.txt; then, on the main thread with a
// screen and no other report dialog open, shows the dialog and carries out
// the user's choice. "Close" and "Restart" end the program through
// CloseProgram after this returns. where: what was being handled.
// Without a screen (the offscreen platform, or LUMAREN_CRASH_DIALOG=0) the
// report is written and the program continues; LUMAREN_CRASH_DIALOG=1 shows
// the dialog even offscreen.
void ReportCurrentException(const std::string& where);

// The same for an exception caught elsewhere, e.g. by a timer that hands
// its handler's failures on: QtThreadTimerFactory(
//   [](std::exception_ptr e) { ReportException(e, "timer tick"); }).
void ReportException(std::exception_ptr error, const std::string& where);

// folder + "/bugreport.txt" of the running reporter; "" when not started.
std::string BugReportFileName();

}  // namespace lumaren::platform
