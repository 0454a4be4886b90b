#include "server/core/table_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

WriteCall writeCall = nullptr;

ssize_t WriteData(int fd, const void* data, size_t size) {
    return writeCall != nullptr ? writeCall(fd, data, size) : ::write(fd, data, size);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view content) {
    // Chunks keep each call bounded; a failure part-way is a failure.
    constexpr size_t kChunk = 1 << 20;
    while (!content.empty()) {
        ssize_t done = WriteData(fd, content.data(), std::min(content.size(), kChunk));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        content.remove_prefix(static_cast<size_t>(done));
    }
    return true;
}

// A new file beside target, created as a plain open would create it (so
// the umask applies). Returns the descriptor, -1 on failure.
int CreateTemporary(const std::string& target, std::string& tempPath) {
    std::string folder = FolderOf(target);
    std::string name =
        target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempPath = folder + "/." + name + ".new" + std::to_string(random() % 1000000);
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Mode, owner and access list of the previous table carry over, so other
// programs keep the access they had.
void CopyAccess(const std::string& from, int fd, const struct stat& previous) {
    (void)::fchmod(fd, previous.st_mode & 07777);
    if (previous.st_uid != ::geteuid() || previous.st_gid != ::getegid()) {
        if (::fchown(fd, previous.st_uid, previous.st_gid) == 0)
            (void)::fchmod(fd, previous.st_mode & 07777); // chown clears set-id bits
    }
    char acl[4096];
    ssize_t size = ::getxattr(from.c_str(), "system.posix_acl_access", acl, sizeof(acl));
    if (size > 0)
        (void)::fsetxattr(fd, "system.posix_acl_access", acl, static_cast<size_t>(size), 0);
}

// The rename is durable only once the folder is flushed; not every file
// system can, which costs nothing but durability.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// Keeps the previous table as the backup, then puts the new file in place.
ReplaceResult SwapIn(const std::string& target, const std::string& backupPath,
                     const std::string& tempPath) {
    (void)::unlink(backupPath.c_str());
    if (::link(target.c_str(), backupPath.c_str()) == 0 || errno == ENOENT) {
        // The previous table stays whole under its own name until the
        // rename replaces it in one step.
        if (::rename(tempPath.c_str(), target.c_str()) != 0)
            return ReplaceResult::writeFailed;
        return ReplaceResult::written;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EMLINK && errno != ENOSYS)
        return ReplaceResult::backupFailed;
    // No hard links here: move the previous file aside and put it back if
    // the new one cannot follow.
    if (::rename(target.c_str(), backupPath.c_str()) != 0)
        return ReplaceResult::backupFailed;
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        (void)::rename(backupPath.c_str(), target.c_str());
        return ReplaceResult::writeFailed;
    }
    return ReplaceResult::written;
}

} // namespace

FileCause CauseFromErrno(int error, const std::string& path) {
    switch (error) {
    case 0:
        return FileCause::none;
    case ENOENT: {
        if (path.empty())
            return FileCause::badPath;
        struct stat folder;
        if (::stat(FolderOf(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
            return FileCause::badPath;
        return FileCause::fileNotFound;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return FileCause::badPath;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return FileCause::accessDenied;
    case EMFILE:
    case ENFILE:
        return FileCause::tooManyOpenFiles;
    case EBADF:
        return FileCause::invalidFile;
    case ETXTBSY:
    case EBUSY:
        return FileCause::sharingViolation;
    case EIO:
        return FileCause::hardIO;
    case ENOSPC:
    case EDQUOT:
        return FileCause::diskFull;
    default:
        return FileCause::generic;
    }
}

bool FileStamp::operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
           mode == o.mode && owner == o.owner && group == o.group;
}

FileStamp StampOf(const struct stat& s) {
    FileStamp stamp;
    stamp.device = s.st_dev;
    stamp.inode = s.st_ino;
    stamp.size = s.st_size;
    stamp.modified = s.st_mtim;
    stamp.changed = s.st_ctim;
    stamp.mode = s.st_mode;
    stamp.owner = s.st_uid;
    stamp.group = s.st_gid;
    return stamp;
}

bool StampIsSettled(const FileStamp& stamp, const timespec& now) {
    constexpr time_t kTickSeconds = 2;
    return now.tv_sec - stamp.modified.tv_sec > kTickSeconds;
}

ReadOutcome ReadWholeFile(int fd, std::string& text) {
    struct stat status;
    if (::fstat(fd, &status) == 0 && status.st_size > 0)
        text.reserve(text.size() + static_cast<size_t>(status.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {false, errno};
        if (got == 0)
            return {true, 0};
        text.append(buffer, static_cast<size_t>(got));
    }
}

std::string ToDiskText(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        for (char c : line) {
            if (c == '\n')
                text.push_back('\r');
            text.push_back(c);
        }
    }
    return text;
}

ReplaceResult ReplaceTableFile(const std::string& path, const std::string& backupPath,
                               std::string_view content) {
    // Follow a symbolic link so the link itself survives.
    std::string target = path;
    struct stat previous;
    bool hadPrevious = ::lstat(path.c_str(), &previous) == 0;
    if (hadPrevious && S_ISLNK(previous.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr)
            return ReplaceResult::createFailed;
        target = resolved;
        std::free(resolved);
        hadPrevious = ::stat(target.c_str(), &previous) == 0;
    }

    std::string tempPath;
    int fd = CreateTemporary(target, tempPath);
    if (fd < 0)
        return ReplaceResult::createFailed;
    if (hadPrevious)
        CopyAccess(target, fd, previous);
    bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        (void)::unlink(tempPath.c_str());
        return ReplaceResult::writeFailed;
    }
    ReplaceResult result = SwapIn(target, backupPath, tempPath);
    if (result != ReplaceResult::written) {
        (void)::unlink(tempPath.c_str());
        return result;
    }
    SyncFolder(FolderOf(target));
    return ReplaceResult::written;
}

void SetWriteCallForTest(WriteCall call) {
    writeCall = call;
}

TableLock::TableLock(const std::string& tablePath) {
    std::string path = tablePath + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0)
        fd_ = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

TableLock::~TableLock() {
    if (fd_ >= 0)
        ::close(fd_);
}
