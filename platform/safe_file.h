// Files that several programs share, some of them running as root: a stamp
// that tells whether a file changed, a replacement that never follows a link
// planted in the folder, and an advisory lock that a forked child never keeps.
//
// Nothing here throws. Each call returns a FileError: 0 or an errno value,
// with a message for people that names the file.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace olvani {

struct FileError {
    int error = 0;       // errno value; 0 on success
    std::string message; // e.g. "cannot write /etc/bootptab: Permission denied"

    bool ok() const { return error == 0; }
};

// One version of a file. Two stamps are equal only when the device, inode,
// size, modification time and status-change time all agree, so a rewrite in
// place that keeps size and modification time (cp -p, touch -r) still shows:
// the kernel sets the status-change time and nobody can set it back.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp Of(const struct stat& st);
    // The file at `path`; a symbolic link is stamped itself unless
    // `followLinks`. A file that cannot be looked at gives exists == false.
    static FileStamp OfPath(const std::string& path, bool followLinks = false);
    static FileStamp OfDescriptor(int fd);

    bool operator==(const FileStamp& other) const;
    bool ChangedSince(const FileStamp& earlier) const { return !(*this == earlier); }
};

// Whether a file whose stamp has not moved since it was read can be taken
// as unchanged. File times are coarse (up to 2 s on some file systems), so a
// file read moments after it was written may be written again without its
// stamp moving; a file dated ahead (a clock stepped back, a copy from a host
// running ahead) looks just as fresh. Such a file is read once more at the
// next check and once after the window has passed, never on every check.
class StampTrust {
public:
    // After a read of a file with this modification time; `sameAsBefore`:
    // its stamp equals the one of the read before.
    void Read(const timespec& modified, bool sameAsBefore);
    // Whether a stamp equal to the last read's spares reading the file.
    bool Trusted() const;
    // Nothing read: the next check reads.
    void Forget() { *this = StampTrust(); }

private:
    enum class State { unread, settled, fresh, freshReadAgain };
    State state_ = State::unread;
    timespec modified_{};
};

// What ReplaceFile does with a symbolic link at the path.
enum class LinkPolicy {
    Refuse,       // ELOOP: files in folders others may write (the registry)
    WriteThrough, // replace the file the link points to; the link stays
};

struct ReplaceOptions {
    // Mode of a file that does not exist yet; an existing file keeps its
    // mode, owner and access ACL as far as the caller's rights allow.
    mode_t newFileMode = 0644;
    LinkPolicy links = LinkPolicy::Refuse;
    // When the rename cannot work (a bind-mounted file: EBUSY; EXDEV; a
    // folder the caller may not write), rewrite the file in place instead.
    // The old content is kept in a backup beside the file (or in memory when
    // the folder is not writable) and written back if the rewrite fails.
    // Readers may see a half-written file meanwhile, so it is off by default.
    bool allowInPlace = false;
    // Hand the written file's descriptor (read/write, close-on-exec) to the
    // caller in ReplaceOutcome::descriptor instead of closing it.
    bool keepOpen = false;
};

struct ReplaceOutcome {
    FileStamp stamp;     // of the file as written
    int descriptor = -1; // with keepOpen; the caller closes it
    bool inPlace = false;
};

// Replaces the content of `path` atomically: a temporary file with a unique
// name is created in the same folder (O_CREAT|O_EXCL|O_NOFOLLOW|O_CLOEXEC,
// mode 0600 until the final mode is set on the descriptor), written,
// fsync'ed, renamed over `path`, and the folder is fsync'ed. A path that
// exists but is not a regular file (a FIFO, a device, a folder) is refused
// with EINVAL and never opened.
FileError ReplaceFile(const std::string& path, std::string_view content,
                      const ReplaceOptions& options = {}, ReplaceOutcome* outcome = nullptr);

// Reads a whole regular file without following a link and without waiting
// on a FIFO (ELOOP for a link, EINVAL for anything else that is not a
// regular file, ENOENT for a missing one). With `keepDescriptor` the file
// stays open (read-only, close-on-exec) for the caller to close.
FileError ReadRegularFile(const std::string& path, std::string& content, FileStamp* stamp = nullptr,
                          int* keepDescriptor = nullptr);

// An exclusive advisory lock (flock) held while the object lives.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock() { Release(); }

    bool held() const { return fd_ >= 0; }
    // Read/write when the caller may write the lock file, else read-only.
    int descriptor() const { return fd_; }
    bool writable() const { return writable_; }
    void Release();

private:
    friend FileError LockFile(const std::string&, FileLock&, mode_t);
    int fd_ = -1;
    pid_t owner_ = 0;
    bool writable_ = false;
};

// Opens `path` (created with `createMode` when missing) without following a
// link, refuses anything but a regular file with a single name (EINVAL), and
// waits for the exclusive lock. A file replaced by ReplaceFile gets a new
// inode on every write, so lock a companion file ("<file>.lock") for it, not
// the file itself. A child forked while the lock is held does not hold it:
// its copy of the descriptor is closed at the fork.
FileError LockFile(const std::string& path, FileLock& lock, mode_t createMode = 0644);

} // namespace olvani
