#include "platform/registry_store.h"

#include "platform/debugout.h"
#include "platform/registry.h"
#include "platform/safe_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olvani::registry {
namespace {

constexpr const char* kDefaultDirectory = "/var/lib/olvani/registry";

struct CacheEntry {
    bool valid = false;
    std::string path;
    FileStamp identity; // of the hive file; the open fd keeps its inode from reuse
    int fd = -1;
    HivePtr hive;
    std::string problem;      // non-empty when the file does not parse
    uint64_t changeCount = 0; // the shared counter when the file was last checked
    int64_t checkedAt = 0;    // monotonic nanoseconds of that check
};

// Every writer through this layer counts its changes in the first eight
// bytes of the hive's lock file. While that counter stands still, no writer
// replaced the hive file, and a reader uses its cached hive after one pread.
// Changes made by other means (an editor) are caught by the stat, done at
// least every recheck interval. The counter is read, never mapped: anyone who
// may write the lock file could truncate it under a mapping.
constexpr int64_t kDefaultRecheckInterval = kUnseenEditNanoseconds;
std::atomic<int64_t> recheckInterval{kDefaultRecheckInterval};

struct ChangeCounter {
    std::string lockPath;
    int fd = -1;      // the lock file, read-only; -1 when there is none
    FileStamp opened; // which file the descriptor is
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

// The counter's value; false when there is no counter to read (no lock file,
// or one cut shorter than the counter).
bool ReadCounter(int fd, uint64_t& value) {
    value = 0;
    return fd >= 0 && ::pread(fd, &value, sizeof value, 0) == sizeof value;
}

bool SameFile(const FileStamp& a, const FileStamp& b) {
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

// Opens the lock file beside the hive for reading the counter, again when it
// was replaced; a missing one is tried again at most every 10 ms, or at once
// when `exists` (a writer just used it). Cache lock held.
void OpenCounter(ChangeCounter& counter, const std::string& lockPath, int64_t now,
                 bool exists = false) {
    if (counter.lockPath == lockPath) {
        if (counter.fd >= 0 && SameFile(FileStamp::OfPath(lockPath), counter.opened))
            return;
        if (counter.fd < 0 && !exists && now - counter.triedAt < kDefaultRecheckInterval)
            return;
    }
    if (counter.fd >= 0)
        ::close(counter.fd);
    counter = ChangeCounter{lockPath, -1, {}, now};
    int fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    counter.opened = FileStamp::OfDescriptor(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    counter.fd = fd;
}

// Counts one change in the lock file (writers only, under the lock).
void CountChange(const FileLock& lock) {
    if (!lock.writable())
        return;
    uint64_t count = 0;
    ReadCounter(lock.descriptor(), count); // a missing or cut counter starts again
    ++count;
    if (::pwrite(lock.descriptor(), &count, sizeof count, 0) != sizeof count) {
        // Readers then notice the change by the file check instead.
    }
}

thread_local std::string errorText;

// Re-reads the file into `entry`; the cache lock is held. Only a regular
// file is read: a FIFO would hang the reader, and a link may point anywhere.
LONG Reload(CacheEntry& entry, const std::string& path, const RootInfo& root) {
    if (entry.fd >= 0)
        ::close(entry.fd);
    entry = CacheEntry();
    std::string text;
    FileStamp stamp;
    int fd = -1;
    FileError read = ReadRegularFile(path, text, &stamp, &fd);
    if (read.error == ENOENT || read.error == ENOTDIR) {
        entry.valid = true;
        entry.path = path;
        entry.hive = std::make_shared<const Hive>();
        return ERROR_SUCCESS;
    }
    if (read.error == ELOOP || read.error == EINVAL) {
        entry.valid = true;
        entry.path = path;
        entry.identity = FileStamp::OfPath(path);
        entry.problem = "registry: " + read.message + " (the hive file must be a plain file)";
        OutputDebugStringA(entry.problem.c_str());
        SetErrorText(entry.problem);
        return ERROR_BADDB;
    }
    if (!read.ok()) {
        SetErrorText(read.message);
        return ErrorFromErrno(read.error);
    }
    entry.valid = true;
    entry.path = path;
    entry.identity = stamp;
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

// The cached hive when no writer counted a change since the last check and
// that check is recent; cache lock held.
bool UseCached(RootCache& cache, const std::string& path, int64_t now) {
    const CacheEntry& entry = cache.entry;
    uint64_t count = 0;
    return entry.valid && entry.path == path && now - entry.checkedAt < recheckInterval.load() &&
           ReadCounter(cache.counter.fd, count) && count == entry.changeCount;
}

LONG Result(const CacheEntry& entry, HivePtr& hive) {
    if (!entry.problem.empty()) {
        SetErrorText(entry.problem);
        return ERROR_BADDB;
    }
    hive = entry.hive;
    return ERROR_SUCCESS;
}

// Publishes what a writer wrote so this process does not parse it again.
void Publish(const RootInfo& root, const std::string& path, Hive&& hive,
             const ReplaceOutcome& written, uint64_t count) {
    auto& cache = Cache()[root.tag & 7];
    std::lock_guard lock(CacheMutex());
    CacheEntry& entry = cache.entry;
    if (entry.fd >= 0)
        ::close(entry.fd);
    entry = CacheEntry();
    entry.valid = true;
    entry.path = path;
    entry.identity = written.stamp;
    entry.fd = written.descriptor;
    entry.hive = std::make_shared<const Hive>(std::move(hive));
    OpenCounter(cache.counter, path + ".lock", Now(), true);
    entry.changeCount = count;
    entry.checkedAt = Now();
}

} // namespace

std::mutex& WatcherMutex() {
    static std::mutex mutex;
    return mutex;
}

void SetRecheckInterval(int64_t nanoseconds) {
    recheckInterval.store(nanoseconds < 0 ? kDefaultRecheckInterval : nanoseconds);
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
    if (!verify && UseCached(cache, path, now))
        return Result(entry, hive);
    // The counter is read before the file is looked at: a writer that
    // replaces the file after the stat moves it on, so the next read checks.
    OpenCounter(cache.counter, path + ".lock", now);
    uint64_t changeCount = 0;
    ReadCounter(cache.counter.fd, changeCount);
    lock.unlock();
    const FileStamp current = FileStamp::OfPath(path);
    lock.lock();
    if (!entry.valid || entry.path != path || entry.identity.ChangedSince(current)) {
        LONG result = Reload(entry, path, root);
        if (result != ERROR_SUCCESS && result != ERROR_BADDB)
            return result;
    }
    entry.changeCount = changeCount;
    entry.checkedAt = now;
    return Result(entry, hive);
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

LONG HiveNotWritable(const RootInfo& root) {
    SetErrorText("the hive file of " + std::string(root.name) + " cannot be written by this user");
    return ERROR_ACCESS_DENIED;
}

LONG UpdateHive(const RootInfo& root, const HiveChange& change) {
    // Checked here, where every change passes: a write through a predefined
    // root, a key deletion and an import need the right as much as an open.
    if (!CanWriteHive(root))
        return HiveNotWritable(root);
    const std::string directory = RegistryDirectory();
    const std::string path = HivePath(directory, root);
    if (int error = MakeDirectories(directory); error != 0) {
        SetErrorText("cannot create the registry folder " + directory + ": " +
                     std::strerror(error));
        return ErrorFromErrno(error);
    }
    FileLock lock;
    if (FileError e = LockFile(path + ".lock", lock, 0644); !e.ok()) {
        SetErrorText("registry: " + e.message);
        return ErrorFromErrno(e.error);
    }
    // Under the lock the file check sees every earlier writer's rename.
    HivePtr current;
    if (LONG result = LoadHive(directory, root, current, true); result != ERROR_SUCCESS)
        return result;
    Hive updated = *current;
    bool changed = false;
    if (LONG result = change(updated, changed); result != ERROR_SUCCESS || !changed)
        return result;

    ReplaceOptions options;
    options.newFileMode = 0644;
    options.keepOpen = true;
    ReplaceOutcome written;
    if (FileError e = ReplaceFile(path, SerializeHive(updated, root.name), options, &written);
        !e.ok()) {
        SetErrorText("registry: " + e.message);
        return ErrorFromErrno(e.error);
    }
    CountChange(lock);
    uint64_t count = 0;
    ReadCounter(lock.descriptor(), count);
    lock.Release(); // held only around the write
    Publish(root, path, std::move(updated), written, count);
    return ERROR_SUCCESS;
}

} // namespace olvani::registry

namespace olvani {

const char* RegistryDirectory() {
    const char* directory = ::secure_getenv("OLVANI_REGISTRY_DIR");
    return directory && *directory ? directory : registry::kDefaultDirectory;
}

} // namespace olvani
