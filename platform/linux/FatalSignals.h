#pragma once
// Reports of fatal signals. The handler may only use async-signal-safe
// calls: everything it writes is prepared when it is installed, and the
// report goes out with open(2), write(2) and backtrace_symbols_fd.

#include <string>

namespace lumaren::platform {

// Installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT, on an
// alternate stack (a stack overflow must still be reported). The handler
// appends a minimal report (separator line, UTC time, programLine, process id,
// signal, stack trace) to reportFile, then ends the program by raising the
// signal again with its default action (a core dump where enabled).
// Under AddressSanitizer this takes the place of its own report for these
// signals.
void InstallFatalSignalHandlers(const std::string& reportFile, const std::string& programLine);
// Puts back the handlers that were there before.
void RemoveFatalSignalHandlers();
// A fuller report of the coming end has been written (std::terminate): the
// signal handler then adds none.
void MarkFatalReportWritten();

}  // namespace lumaren::platform
