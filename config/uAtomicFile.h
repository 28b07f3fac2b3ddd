#pragma once
// Replacing a file so that a crash, a full disk or a read-only folder never
// leaves it truncated or empty: the new contents go to a temporary file in
// the same folder, are flushed to the disk, and only then renamed over the
// old file. Readers see either the old file or the new one, whole.

#include <string>
#include <string_view>

namespace lumaren {

// Writes contents to path as above. Raises std::system_error naming the step
// and the file on any failure; the old file is then untouched and no
// temporary file is left behind.
void ReplaceFileAtomically(const std::string& path, std::string_view contents);

// Reads a whole file. Raises std::system_error when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace lumaren
