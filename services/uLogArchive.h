#pragma once
// The session log's archive: packing one log into its zip file, and the
// housekeeping of the log folder (retention, leftovers of killed runs).

#include <cstddef>
#include <string>

namespace lumaren {

// Adds the log file to the zip archive (created if missing), Deflate, under
// the log's bare file name, then re-opens the archive and reads the entry
// back. True only when the archive holds exactly the log's bytes, so the
// plain log may go. An archive that already holds an entry of that name is
// left as it is and gives false: one run's log never replaces another's.
bool ArchiveLogFile(const std::string& logFileName, const std::string& archiveFileName);

// Removes the temporary files the zip writer leaves beside an archive when a
// run is killed while archiving ("name.zip.XXXXXX").
void RemoveArchiveTemporaries(const std::string& folder);

// Keeps the `keep` archives (*.zip) whose names sort last, case-insensitive,
// and deletes the others. Hidden files and folders do not count; failed
// deletions are ignored.
void PruneArchives(const std::string& folder, std::size_t keep);

}  // namespace lumaren
