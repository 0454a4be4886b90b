// File-level work for the table document: error causes, the identity stamp
// that tells an unchanged file, reading the text, and replacing the file
// safely (temporary file, flush, backup, rename).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct stat;

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

// Everything stat tells about a file that changes when its content or its
// permissions change: identity, size, nanosecond modification and status
// change times (the latter moves on chmod, chown, ACL and attribute
// changes), mode and owner.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;

    bool operator==(const FileStamp& other) const;
};
FileStamp StampOf(const struct stat& status);

// A file modified this recently may be modified again within the same
// timestamp tick (a jiffy on local file systems, up to 2 s on others)
// without its stamp changing, so such a stamp proves nothing yet.
bool StampIsSettled(const FileStamp& stamp, const timespec& now);

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
    createFailed, // no temporary file could be made: nothing changed
    writeFailed,  // writing, flushing or renaming failed: nothing changed
    backupFailed, // the previous file could not be kept: nothing changed
};

// Replaces path's content: writes a temporary file in the same folder,
// flushes it to disk, keeps the previous file under backupPath (an earlier
// backup is replaced), then renames the new file over path. Mode, owner
// and access list of the previous file carry over. A symbolic link is
// followed, so the file it names is the one replaced. On any failure the
// previous file stays as it was and the temporary file is removed.
ReplaceResult ReplaceTableFile(const std::string& path, const std::string& backupPath,
                               std::string_view content);

// Test seam: the call that writes file data (default ::write), so a test
// can fail a write part-way. nullptr restores the default.
using WriteCall = ssize_t (*)(int fd, const void* data, size_t size);
void SetWriteCallForTest(WriteCall call);

// The advisory lock every writer of the table takes (an exclusive flock of
// the companion file "<table>.lock"), held while the object lives. A lock
// file that cannot be made costs the exclusion, not the write.
class TableLock {
public:
    explicit TableLock(const std::string& tablePath);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

private:
    int fd_ = -1;
};
