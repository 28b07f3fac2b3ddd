#pragma once
// The session log: one file per run in the log folder, named by the start
// time ("yyyymmdd-hhmmss.log"), a header describing program and machine,
// then one line per entry. At a normal end the log gets an "End: " entry,
// is packed into "yyyymmdd-hhmmss.zip" and removed; the newest
// CON_MAX_LOG_FILES archives are kept.
//
// An entry is one line: "yyyy/mm/dd hh:mm:ss.zzz | Severity | Title | text",
// e.g. "2026/12/11 13:45:02.123 | Information | Session | Start: ...".
// The text is UTF-8 as given, except that it must stay on its line: "\" is
// written "\\", CR "\r", LF "\n", and other control characters but TAB
// "\xHH" (two upper-case hex digits), so the text can be restored exactly.

#include <chrono>
#include <functional>
#include <string>

#include "platform/Locale.h"
#include "platform/MachineInfo.h"

namespace lumaren {

inline constexpr int CON_MAX_LOG_FILES = 25;

enum class TLogEventSeverity { lesError, lesWarning, lesInformation };

using TLogClock = std::function<std::chrono::system_clock::time_point()>;

// Creates the log folder (with its parents), removes archive temporaries
// left there by a killed run, opens this run's log for appending (a log of
// the same name, from a start in the same second, keeps its entries) and
// writes the header: ten lines, then one per monitor. Needs
// FileHelpersModuleStart first (product name and version).
//   logFilePath: the log folder; a missing trailing "/" is added.
//   separators:  the user's date and time separators for "Start: "/"End: ".
//   now:         the clock for file name and entries; empty: the system clock.
// A log that cannot be opened is reported on stderr once; entries are then
// dropped, and no archive is made at the end.
void LogsModuleStart(const std::string& logFilePath, const platform::TMachineFacts& facts,
                     const platform::TDateTimeSeparators& separators, TLogClock now = {});

// Writes the "End: " entry, archives the log and deletes it once the archive
// is known to hold it, then prunes the archives. Does nothing when not started.
void LogsModuleEnd();

// Entries: on disk (handed to the system) when the call returns. Outside
// LogsModuleStart..LogsModuleEnd they are dropped. An entry the file does
// not take (a full disk) is lost: the first loss is reported on stderr, the
// following ones quietly until a write succeeds again, and an entry cut off
// part way is closed by a line break before the next one.
void LogNewSession(const std::string& text);
void LogNewError(const std::string& text);

// Keeps the CON_MAX_LOG_FILES archives whose names sort last; run by
// LogsModuleEnd. Does nothing when not started.
void DeleteOldLogFiles();

// This run's log file; "" outside LogsModuleStart..LogsModuleEnd.
std::string SessionLogFileName();

}  // namespace lumaren
