// File-level work for the table document: error causes, reading the text,
// and replacing the file safely with a backup of the previous content.
#pragma once

#include "platform/safe_file.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Causes of a failed file operation, numbered as the operator sees them in
// "Problem accessing file, code=%d".
enum class FileCause : int {
    none = 0,
    generic = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14,
};

// errno of a failed open or write of path; a missing file whose folder is
// missing too counts as a bad path.
FileCause CauseFromErrno(int error, const std::string& path);

// Result of reading a whole open file.
struct ReadOutcome {
    bool ok = false;
    int error = 0; // errno when not ok
};
// Appends the file's bytes to text, reading from the current position.
ReadOutcome ReadWholeFile(int fd, std::string& text);

// The lines as they go to disk: every "\n" becomes CR LF.
std::string ToDiskText(const std::vector<std::string>& lines);

// Outcome of ReplaceTableFile.
enum class ReplaceResult {
    written,      // new content in place, previous kept as backup
    createFailed, // no new file could be made: nothing changed
    writeFailed,  // writing, flushing or renaming failed: the table unchanged
    backupFailed, // the previous content could not be kept: nothing changed
};

// Replaces path's content and keeps the previous content under backupPath.
// A symbolic link is written through: the file it names gets the content
// and the link stays. The new file comes in by rename (a temporary file,
// flushed, taking the old one's mode, owner and access list), and an
// earlier backup is replaced only once it is in place. Where no rename can
// work (a bind-mounted file, a link to another file system whose folder we
// may not write) the old content goes to the backup first and the file is
// rewritten in place. stamp: the written file's, when written.
ReplaceResult ReplaceTableFile(const std::string& path, const std::string& backupPath,
                               std::string_view content, olvani::FileStamp* stamp);

// Test seam: the call that replaces a file (default olvani::ReplaceFile),
// so a test can fail the table's write. An empty function restores it.
using ReplaceCall = std::function<olvani::FileError(
    const std::string&, std::string_view, const olvani::ReplaceOptions&, olvani::ReplaceOutcome*)>;
void SetReplaceCallForTest(ReplaceCall call);
