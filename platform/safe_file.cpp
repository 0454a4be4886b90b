#include "platform/safe_file.h"

#include <acl/libacl.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace olvani {
namespace {

FileError Failure(int error, const std::string& what, const std::string& path) {
    return FileError{error, what + " " + path + ": " + std::strerror(error)};
}

FileError NotRegular(const std::string& path) {
    return FileError{EINVAL, path + " is not a regular file; it is left alone"};
}

// Closes a descriptor when it goes out of scope unless released.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

bool ReadAll(int fd, std::string& text) {
    text.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAllAt(int fd, std::string_view text, off_t offset) {
    while (!text.empty()) {
        ssize_t n = ::pwrite(fd, text.data(), text.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return true;
}

struct Location {
    std::string folder; // never empty
    std::string name;
};

Location Split(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A name no one can have planted: the target's name, a dot in front, and
// twelve random letters.
std::string UniqueName(const std::string& name, const char* suffix) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[12];
    if (::getrandom(random, sizeof random, 0) != sizeof random) {
        timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        for (size_t i = 0; i < sizeof random; ++i)
            random[i] = static_cast<unsigned char>((now.tv_nsec >> i) ^ (::getpid() << i));
    }
    std::string unique = "." + name + ".";
    for (unsigned char byte : random)
        unique.push_back(kLetters[byte % (sizeof kLetters - 1)]);
    return unique + suffix;
}

// Creates a new file with a unique name in the folder; -1 with errno set.
int CreateUnique(int folderFd, const std::string& name, const char* suffix, std::string& created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = UniqueName(name, suffix);
        int fd = ::openat(folderFd, created.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The new version takes the old one's owner, mode and access ACL. Only root
// may give a file away; others keep at least the group where they may.
void KeepAttributes(int fd, const std::string& oldPath, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, -1, old.st_gid) != 0) {
        // The new file stays the writer's, with the writer's group.
    }
    ::fchmod(fd, old.st_mode & 07777); // after fchown, which clears set-id bits
    acl_t acl = ::acl_get_file(oldPath.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return; // a file system without ACLs
    // A minimal ACL is the mode just set; setting it also drops entries the
    // new file inherited from the folder's default ACL.
    ::acl_set_fd(fd, acl);
    ::acl_free(acl);
}

// Resolves the path to the file actually written, by the link policy.
FileError Target(const std::string& path, LinkPolicy links, std::string& target) {
    struct stat st;
    target = path;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    if (links == LinkPolicy::Refuse)
        return FileError{ELOOP, path + " is a symbolic link; it is not written through"};
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return Failure(errno, "cannot follow the link", path);
    target = real;
    std::free(real);
    return {};
}

struct Rewrite {
    const std::string& path;
    int folderFd;
    const std::string& name;
    std::string_view content;
    const struct stat& old;
};

// Writes the new content over the old file's bytes. The old content stays in
// a backup beside the file (in memory when the folder cannot take one) and
// goes back if the rewrite fails.
FileError RewriteInPlace(const Rewrite& job, ReplaceOutcome& outcome, bool keepOpen) {
    Descriptor file(
        ::openat(job.folderFd, job.name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0)
        return Failure(errno, "cannot open", job.path);
    if (!S_ISREG(st.st_mode) || st.st_dev != job.old.st_dev || st.st_ino != job.old.st_ino)
        return NotRegular(job.path);
    std::string before;
    if (!ReadAll(file.fd, before))
        return Failure(errno, "cannot read", job.path);
    std::string backupName;
    Descriptor backup(CreateUnique(job.folderFd, job.name, ".bak", backupName));
    if (backup.fd >= 0 && (!WriteAllAt(backup.fd, before, 0) || ::fsync(backup.fd) != 0)) {
        ::unlinkat(job.folderFd, backupName.c_str(), 0);
        ::close(backup.Release());
    }
    if (!WriteAllAt(file.fd, job.content, 0) ||
        ::ftruncate(file.fd, static_cast<off_t>(job.content.size())) != 0 ||
        ::fsync(file.fd) != 0) {
        int error = errno;
        bool restored = WriteAllAt(file.fd, before, 0) &&
                        ::ftruncate(file.fd, static_cast<off_t>(before.size())) == 0 &&
                        ::fsync(file.fd) == 0;
        FileError failure = Failure(error, "cannot rewrite", job.path);
        if (restored && backup.fd >= 0)
            ::unlinkat(job.folderFd, backupName.c_str(), 0);
        else if (!restored && backup.fd >= 0)
            failure.message +=
                "; the old content is kept in " + Split(job.path).folder + "/" + backupName;
        return failure;
    }
    if (backup.fd >= 0)
        ::unlinkat(job.folderFd, backupName.c_str(), 0);
    outcome.stamp = FileStamp::OfDescriptor(file.fd);
    outcome.inPlace = true;
    if (keepOpen)
        outcome.descriptor = file.Release();
    return {};
}

bool RenameCannotWork(int error) {
    return error == EXDEV || error == EBUSY || error == EACCES || error == EPERM || error == EROFS;
}

// ---- Locks a forked child must not keep ----

std::mutex heldMutex;
std::vector<int>& HeldLocks() {
    static auto* held = new std::vector<int>(); // outlives static destructors
    return *held;
}

void LockHeldList() {
    heldMutex.lock();
}
void UnlockHeldList() {
    heldMutex.unlock();
}
void CloseHeldInChild() {
    for (int fd : HeldLocks())
        ::close(fd);
    HeldLocks().clear();
    heldMutex.unlock();
}

void ForgetHeld(int fd) {
    std::lock_guard lock(heldMutex);
    std::erase(HeldLocks(), fd);
}

// Opens the lock file and lists its descriptor in one step, so no fork in
// between leaves a child a copy of it (the flock belongs to the open file,
// which would outlive our own close in that child).
int OpenLockFile(const std::string& path, mode_t createMode, bool& writable) {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(LockHeldList, UnlockHeldList, CloseHeldInChild); });
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    std::lock_guard lock(heldMutex);
    writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, createMode);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        writable = false;
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
    }
    if (fd >= 0)
        HeldLocks().push_back(fd);
    return fd;
}

} // namespace

// ---- StampTrust ----

namespace {

bool SettledAt(const timespec& modified) {
    constexpr time_t kWindowSeconds = 2;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - modified.tv_sec > kWindowSeconds;
}

} // namespace

void StampTrust::Read(const timespec& modified, bool sameAsBefore) {
    modified_ = modified;
    if (SettledAt(modified))
        state_ = State::settled;
    else
        state_ = sameAsBefore ? State::freshReadAgain : State::fresh;
}

bool StampTrust::Trusted() const {
    switch (state_) {
    case State::settled:
        return true;
    case State::freshReadAgain:
        // Read once more when the window has passed.
        return !SettledAt(modified_);
    default:
        return false;
    }
}

// ---- FileStamp ----

FileStamp FileStamp::Of(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

FileStamp FileStamp::OfPath(const std::string& path, bool followLinks) {
    struct stat st;
    int result = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    return result == 0 ? Of(st) : FileStamp();
}

FileStamp FileStamp::OfDescriptor(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? Of(st) : FileStamp();
}

bool FileStamp::operator==(const FileStamp& o) const {
    if (exists != o.exists)
        return false;
    return !exists ||
           (device == o.device && inode == o.inode && size == o.size &&
            modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
            changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec);
}

// ---- Reading and replacing ----

FileError ReadRegularFile(const std::string& path, std::string& content, FileStamp* stamp,
                          int* keepDescriptor) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.fd < 0) {
        if (errno == ELOOP)
            return FileError{ELOOP, path + " is a symbolic link; it is not read through"};
        return Failure(errno, "cannot read", path);
    }
    struct stat st;
    if (::fstat(file.fd, &st) != 0)
        return Failure(errno, "cannot read", path);
    if (!S_ISREG(st.st_mode))
        return NotRegular(path);
    if (!ReadAll(file.fd, content))
        return Failure(errno, "cannot read", path);
    if (stamp)
        *stamp = FileStamp::Of(st);
    if (keepDescriptor)
        *keepDescriptor = file.Release();
    return {};
}

FileError ReplaceFile(const std::string& path, std::string_view content,
                      const ReplaceOptions& options, ReplaceOutcome* outcome) {
    ReplaceOutcome local;
    ReplaceOutcome& result = outcome ? *outcome : local;
    result = ReplaceOutcome();
    std::string target;
    if (FileError e = Target(path, options.links, target); !e.ok())
        return e;
    const Location at = Split(target);
    Descriptor folder(::open(at.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return Failure(errno, "cannot open the folder of", path);
    struct stat old;
    const bool hadFile = ::fstatat(folder.fd, at.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (hadFile && S_ISLNK(old.st_mode))
        return FileError{ELOOP, path + " is a symbolic link; it is not written through"};
    if (hadFile && !S_ISREG(old.st_mode))
        return NotRegular(path);
    const Rewrite inPlace{path, folder.fd, at.name, content, old};

    std::string temporary;
    Descriptor file(CreateUnique(folder.fd, at.name, "", temporary));
    if (file.fd < 0) {
        if (hadFile && options.allowInPlace && RenameCannotWork(errno))
            return RewriteInPlace(inPlace, result, options.keepOpen);
        return Failure(errno, "cannot create a temporary file beside", path);
    }
    if (hadFile)
        KeepAttributes(file.fd, target, old);
    else
        ::fchmod(file.fd, options.newFileMode & 07777);
    if (!WriteAllAt(file.fd, content, 0) || ::fsync(file.fd) != 0) {
        int error = errno;
        ::unlinkat(folder.fd, temporary.c_str(), 0);
        return Failure(error, "cannot write", path);
    }
    if (::renameat(folder.fd, temporary.c_str(), folder.fd, at.name.c_str()) != 0) {
        int error = errno;
        ::unlinkat(folder.fd, temporary.c_str(), 0);
        if (hadFile && options.allowInPlace && RenameCannotWork(error))
            return RewriteInPlace(inPlace, result, options.keepOpen);
        return Failure(error, "cannot replace", path);
    }
    ::fsync(folder.fd);
    result.stamp = FileStamp::OfDescriptor(file.fd); // the rename set a new change time
    if (options.keepOpen)
        result.descriptor = file.Release();
    return {};
}

// ---- Locks ----

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owner_(other.owner_), writable_(other.writable_) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        owner_ = other.owner_;
        writable_ = other.writable_;
    }
    return *this;
}

void FileLock::Release() {
    if (fd_ < 0)
        return;
    ForgetHeld(fd_);
    // In a forked child the descriptor was closed at the fork and its
    // number may have been reused since.
    if (owner_ == ::getpid())
        ::close(fd_); // closing releases the flock
    fd_ = -1;
}

FileError LockFile(const std::string& path, FileLock& lock, mode_t createMode) {
    lock.Release();
    bool writable = false;
    const int fd = OpenLockFile(path, createMode, writable);
    if (fd < 0 && errno == ELOOP)
        return FileError{ELOOP, path + " is a symbolic link; it is not used as a lock"};
    if (fd < 0)
        return Failure(errno, "cannot open the lock file", path);
    // From here the lock object owns the descriptor, also on failure.
    lock.fd_ = fd;
    lock.owner_ = ::getpid();
    lock.writable_ = writable;
    struct stat st;
    FileError failure;
    if (::fstat(fd, &st) != 0)
        failure = Failure(errno, "cannot open the lock file", path);
    else if (!S_ISREG(st.st_mode))
        failure = NotRegular(path);
    else if (st.st_nlink != 1) // a hard link to a file the lock's users write
        failure = FileError{EINVAL, path + " has more than one name; it is not used as a lock"};
    while (failure.ok() && ::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            failure = Failure(errno, "cannot lock", path);
    }
    if (!failure.ok())
        lock.Release();
    return failure;
}

} // namespace olvani
