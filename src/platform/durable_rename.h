#pragma once
// Putting a finished file in the place of another in one step that survives
// a crash: readers see the old file or the new one, never a mix.
#include <QString>

namespace hv {

// Renames `from` to `to` (in the same folder), replacing a file of that name,
// and has the folder's new entry on disk before it returns: POSIX rename and
// a sync of the folder; on Windows MoveFileExW, replacing, written through
// (the file layer's moveReplacing).
// Returns 0, or the system's error code (qt_error_string() gives its text).
int durableRename(const QString& from, const QString& to);

}  // namespace hv
