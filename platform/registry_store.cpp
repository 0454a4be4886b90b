#include "platform/registry_store.h"

#include "platform/debugout.h"
#include "platform/registry.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olvani::registry {
namespace {

constexpr const char* kDefaultDirectory = "/var/lib/olvani/registry";

// What identifies one version of a hive file. The cache keeps the file open,
// so its inode cannot be reused by a later version while it is cached.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileIdentity Of(const struct stat& st) {
        return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    bool operator==(const FileIdentity& o) const {
        if (exists != o.exists)
            return false;
        return !exists ||
               (device == o.device && inode == o.inode && size == o.size &&
                modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec);
    }
};

struct CacheEntry {
    bool valid = false;
    std::string path;
    FileIdentity identity;
    int fd = -1;
    HivePtr hive;
    std::string problem;      // non-empty when the file does not parse
    uint64_t changeCount = 0; // the shared counter when the file was last checked
    int64_t checkedAt = 0;    // monotonic nanoseconds of that check
};

// Every writer through this layer counts its changes in the first eight
// bytes of the hive's lock file. Readers map that counter: while it stands
// still, the hive file was not replaced by any writer, and the cached hive is
// used without a system call. Changes made by other means (an editor) are
// caught by the stat, done at least every kRecheckInterval.
constexpr int64_t kRecheckInterval = kUnseenEditNanoseconds;
constexpr size_t kCounterSize = sizeof(uint64_t);

struct ChangeCounter {
    std::string lockPath;
    uint64_t* counter = nullptr; // read-only shared mapping, or null
    int64_t triedAt = 0;
};

std::mutex& CacheMutex() {
    static std::mutex mutex;
    return mutex;
}

void LockForFork() {
    WatcherMutex().lock();
    CacheMutex().lock();
}
void UnlockAfterFork() {
    CacheMutex().unlock();
    WatcherMutex().unlock();
}

struct RootCache {
    CacheEntry entry;
    ChangeCounter counter;
};

// One per predefined root, indexed by the low bits of its tag.
std::array<RootCache, 8>& Cache() {
    static std::array<RootCache, 8>* cache = [] {
        pthread_atfork(LockForFork, UnlockAfterFork, UnlockAfterFork);
        return new std::array<RootCache, 8>(); // outlives static destructors
    }();
    return *cache;
}

int64_t Now() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

uint64_t ReadCounter(const ChangeCounter& counter) {
    return counter.counter ? __atomic_load_n(counter.counter, __ATOMIC_ACQUIRE) : 0;
}

// Maps the change counter of the lock file beside the hive, when there is
// one; tried again at most every kRecheckInterval. Cache lock held.
void MapCounter(ChangeCounter& counter, const std::string& lockPath, int64_t now) {
    if (counter.counter && counter.lockPath == lockPath)
        return;
    if (counter.lockPath == lockPath && now - counter.triedAt < kRecheckInterval)
        return;
    if (counter.counter)
        ::munmap(counter.counter, kCounterSize);
    counter = ChangeCounter{lockPath, nullptr, now};
    int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(kCounterSize)) {
        void* map = ::mmap(nullptr, kCounterSize, PROT_READ, MAP_SHARED, fd, 0);
        if (map != MAP_FAILED)
            counter.counter = static_cast<uint64_t*>(map);
    }
    ::close(fd);
}

// Counts one change in the lock file (writers only, under the lock).
void CountChange(int lockFd) {
    struct stat st;
    if (::fstat(lockFd, &st) != 0)
        return;
    if (st.st_size < static_cast<off_t>(kCounterSize) && ::ftruncate(lockFd, kCounterSize) != 0)
        return;
    void* map = ::mmap(nullptr, kCounterSize, PROT_READ | PROT_WRITE, MAP_SHARED, lockFd, 0);
    if (map == MAP_FAILED)
        return;
    __atomic_fetch_add(static_cast<uint64_t*>(map), 1, __ATOMIC_RELEASE);
    ::munmap(map, kCounterSize);
}

thread_local std::string errorText;

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

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Re-reads the file into `entry`; the cache lock is held.
LONG Reload(CacheEntry& entry, const std::string& path, const RootInfo& root) {
    if (entry.fd >= 0)
        ::close(entry.fd);
    entry = CacheEntry();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            entry.valid = true;
            entry.path = path;
            entry.hive = std::make_shared<const Hive>();
            return ERROR_SUCCESS;
        }
        int error = errno;
        SetErrorText("cannot read " + path + ": " + std::strerror(error));
        return ErrorFromErrno(error);
    }
    struct stat st;
    std::string text;
    if (::fstat(fd, &st) != 0 || !ReadAll(fd, text)) {
        int error = errno;
        ::close(fd);
        SetErrorText("cannot read " + path + ": " + std::strerror(error));
        return ERROR_CANTREAD;
    }
    entry.valid = true;
    entry.path = path;
    entry.identity = FileIdentity::Of(st);
    entry.fd = fd;
    auto hive = std::make_shared<Hive>();
    ParseError error;
    if (!ParseHive(text, root.name, *hive, error)) {
        entry.problem = "registry: " + path + ":" + std::to_string(error.line) +
                        ": the hive file does not parse (" + error.message +
                        "); it is left unchanged until repaired by hand";
        OutputDebugStringA(entry.problem.c_str());
        SetErrorText(entry.problem);
        return ERROR_BADDB;
    }
    entry.hive = std::move(hive);
    return ERROR_SUCCESS;
}

} // namespace

std::mutex& WatcherMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string HivePath(const std::string& directory, const RootInfo& root) {
    std::string path = directory;
    if (path.empty() || path.back() != '/')
        path.push_back('/');
    path += root.name;
    path += ".reg";
    return path;
}

void SetErrorText(std::string text) {
    errorText = std::move(text);
}

const std::string& ErrorText() {
    return errorText;
}

LONG ErrorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_CANTWRITE;
    }
}

LONG LoadHive(const std::string& directory, const RootInfo& root, HivePtr& hive, bool verify) {
    std::string path = HivePath(directory, root);
    auto& cache = Cache()[root.tag & 7];
    CacheEntry& entry = cache.entry;
    const int64_t now = Now();
    std::unique_lock lock(CacheMutex());
    if (!verify && entry.valid && cache.counter.counter && entry.path == path &&
        now - entry.checkedAt < kRecheckInterval &&
        ReadCounter(cache.counter) == entry.changeCount) {
        if (!entry.problem.empty()) {
            SetErrorText(entry.problem);
            return ERROR_BADDB;
        }
        hive = entry.hive;
        return ERROR_SUCCESS;
    }
    // The counter is read before the file is looked at: a writer that
    // replaces the file after the stat moves it on, so the next read checks.
    MapCounter(cache.counter, path + ".lock", now);
    const uint64_t changeCount = ReadCounter(cache.counter);
    lock.unlock();
    struct stat st;
    FileIdentity current;
    if (::stat(path.c_str(), &st) == 0)
        current = FileIdentity::Of(st);
    lock.lock();
    if (!entry.valid || entry.path != path || !(entry.identity == current)) {
        LONG result = Reload(entry, path, root);
        if (result != ERROR_SUCCESS && result != ERROR_BADDB)
            return result;
    }
    entry.changeCount = changeCount;
    entry.checkedAt = now;
    if (!entry.problem.empty()) {
        SetErrorText(entry.problem);
        return ERROR_BADDB;
    }
    hive = entry.hive;
    return ERROR_SUCCESS;
}

LONG LoadHive(const RootInfo& root, HivePtr& hive) {
    return LoadHive(RegistryDirectory(), root, hive);
}

int MakeDirectories(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        int error = MakeDirectories(path.substr(0, slash));
        if (error != 0)
            return error;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

bool CanWriteHive(const RootInfo& root) {
    std::string directory = RegistryDirectory();
    std::string path = HivePath(directory, root);
    if (::faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) == 0 &&
        ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    // The folder must take the renamed file; a missing folder must be
    // creatable in the nearest folder that exists.
    std::string folder = directory;
    while (!folder.empty()) {
        struct stat st;
        if (::stat(folder.c_str(), &st) == 0)
            return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
        if (errno != ENOENT)
            return false;
        size_t slash = folder.find_last_of('/');
        folder = slash == std::string::npos ? std::string(".")
                 : slash == 0               ? std::string("/")
                                            : folder.substr(0, slash);
    }
    return false;
}

LONG UpdateHive(const RootInfo& root, const HiveChange& change) {
    const std::string directory = RegistryDirectory();
    const std::string path = HivePath(directory, root);
    if (int error = MakeDirectories(directory); error != 0) {
        SetErrorText("cannot create the registry folder " + directory + ": " +
                     std::strerror(error));
        return ErrorFromErrno(error);
    }
    const std::string lockPath = path + ".lock";
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0)
        lockFd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (lockFd < 0) {
        int error = errno;
        SetErrorText("cannot open " + lockPath + ": " + std::strerror(error));
        return ErrorFromErrno(error);
    }
    struct LockGuard {
        int fd;
        ~LockGuard() { ::close(fd); } // closing releases the flock
    } guard{lockFd};
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            SetErrorText("cannot lock " + lockPath + ": " + std::strerror(errno));
            return ERROR_CANTWRITE;
        }
    }

    // Under the lock the file check sees every earlier writer's rename.
    HivePtr current;
    if (LONG result = LoadHive(directory, root, current, true); result != ERROR_SUCCESS)
        return result;
    Hive updated = *current;
    bool changed = false;
    if (LONG result = change(updated, changed); result != ERROR_SUCCESS || !changed)
        return result;

    const std::string text = SerializeHive(updated, root.name);
    const std::string temporary = directory + "/." + root.name + ".reg.tmp";
    struct stat old;
    bool hadFile = ::stat(path.c_str(), &old) == 0;
    int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        int error = errno;
        SetErrorText("cannot write " + temporary + ": " + std::strerror(error));
        return ErrorFromErrno(error);
    }
    // The new version keeps the permissions (and, for root, the owner) of the old one.
    ::fchmod(fd, hadFile ? (old.st_mode & 07777) : 0644);
    if (hadFile && ::geteuid() == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not fatal: the file is still ours to write.
    }
    struct stat written;
    if (!WriteAll(fd, text) || ::fsync(fd) != 0 || ::fstat(fd, &written) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        SetErrorText("cannot write " + path + ": " + std::strerror(error));
        return ErrorFromErrno(error);
    }
    int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    CountChange(lockFd);

    // Publish what was written so this process does not parse it again.
    auto& cache = Cache()[root.tag & 7];
    std::lock_guard lock(CacheMutex());
    CacheEntry& entry = cache.entry;
    if (entry.fd >= 0)
        ::close(entry.fd);
    entry = CacheEntry();
    entry.valid = true;
    entry.path = path;
    entry.identity = FileIdentity::Of(written);
    entry.fd = fd;
    entry.hive = std::make_shared<const Hive>(std::move(updated));
    MapCounter(cache.counter, lockPath, Now());
    entry.changeCount = ReadCounter(cache.counter);
    entry.checkedAt = Now();
    return ERROR_SUCCESS;
}

} // namespace olvani::registry

namespace olvani {

const char* RegistryDirectory() {
    const char* directory = std::getenv("OLVANI_REGISTRY_DIR");
    return directory && *directory ? directory : registry::kDefaultDirectory;
}

} // namespace olvani
