// RegNotifyChangeKeyValue over inotify. One watcher thread per process,
// started by the first request, watches each registry folder in use for hive
// files being replaced (writers rename a temporary file over the hive:
// IN_MOVED_TO) or rewritten in place (IN_CLOSE_WRITE) or removed. For every
// request on that root it compares the key's snapshot with the one taken
// when the request was made and signals the event once when they differ, so
// a change to an unrelated key wakes nobody. A registry folder that does not
// exist yet is created when the first request is made. A registry folder that
// is moved away or removed is watched again under its name as soon as a
// folder of that name exists again (its parent is watched meanwhile).
#include "platform/registry_notify.h"

#include "platform/registry_store.h"
#include "platform/sync.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace olvani::registry {
namespace {

constexpr uint32_t kWatchMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;
// On the parent of a registry folder that is gone, until it is back.
constexpr uint32_t kParentMask = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR | IN_MASK_ADD;

struct Request {
    HKEY owner;
    const RootInfo* root;
    std::string directory;
    std::string path;
    bool subtree;
    DWORD filter;
    HANDLE event;
    std::string snapshot;
};

// Never destroyed: keys may still be closed by static destructors after the
// thread has been stopped at exit.
struct Watcher {
    int inotifyFd = -1;
    int stopFd = -1;
    pthread_t thread{};
    pid_t ownerPid = 0; // the process whose thread runs; a forked child starts its own
    bool exiting = false;
    std::unordered_map<int, std::string> directoryOfWatch;
    std::unordered_map<int, std::vector<std::string>> awaitedIn; // parent watch -> folders
    std::vector<Request> requests;
};

Watcher& TheWatcher() {
    static auto* watcher = new Watcher();
    return *watcher;
}

void AppendSnapshot(std::string& out, const Hive& hive, const HiveKey& key, bool subtree,
                    DWORD filter) {
    // Length-prefixed fields so different contents never read alike.
    auto field = [&out](std::string_view text) {
        out += std::to_string(text.size());
        out.push_back(':');
        out += text;
    };
    if (filter & REG_NOTIFY_CHANGE_LAST_SET) {
        out += 'v';
        out += std::to_string(key.values.size());
        for (const HiveValue& value : key.values) {
            field(value.name);
            out += std::to_string(value.type);
            field(value.data);
        }
    }
    out += 'k';
    out += std::to_string(key.children.size());
    for (size_t child : key.children) {
        const HiveKey& sub = hive.At(child);
        if (filter & REG_NOTIFY_CHANGE_NAME)
            field(sub.name);
        if (subtree)
            AppendSnapshot(out, hive, sub, subtree, filter);
    }
}

// Compares the requests on `root` in `directory` (all roots when null) with
// the hives now on disk; collects the events to signal. Watcher lock held.
void CheckRequests(Watcher& watcher, const std::string& directory, const RootInfo* root,
                   std::vector<HANDLE>& toSignal) {
    std::erase_if(watcher.requests, [&](const Request& request) {
        if (request.directory != directory || (root && request.root != root))
            return false;
        HivePtr hive;
        if (LoadHive(request.directory, *request.root, hive, true) != ERROR_SUCCESS)
            return false; // a hive that does not parse says nothing yet
        if (KeySnapshot(*hive, request.path, request.subtree, request.filter) == request.snapshot)
            return false;
        toSignal.push_back(request.event);
        return true;
    });
}

std::string ParentOf(const std::string& directory) {
    size_t end = directory.find_last_not_of('/');
    size_t slash = end == std::string::npos ? 0 : directory.find_last_of('/', end);
    return slash == std::string::npos ? std::string(".")
           : slash == 0               ? std::string("/")
                                      : directory.substr(0, slash);
}

bool Awaited(const Watcher& watcher, const std::string& directory) {
    for (const auto& [wd, folders] : watcher.awaitedIn) {
        if (std::find(folders.begin(), folders.end(), directory) != folders.end())
            return true;
    }
    return false;
}

// Watches `directory` again after its folder was moved away or removed, and
// compares the requests with what the folder now holds. While no folder of
// that name exists, its parent is watched for one to appear. Lock held.
void Rearm(Watcher& watcher, const std::string& directory, std::vector<HANDLE>& toSignal) {
    int wd = ::inotify_add_watch(watcher.inotifyFd, directory.c_str(), kWatchMask);
    if (wd < 0 && !Awaited(watcher, directory)) {
        int parent =
            ::inotify_add_watch(watcher.inotifyFd, ParentOf(directory).c_str(), kParentMask);
        if (parent >= 0)
            watcher.awaitedIn[parent].push_back(directory);
        // The folder may have appeared before the parent was watched.
        wd = ::inotify_add_watch(watcher.inotifyFd, directory.c_str(), kWatchMask);
    }
    if (wd < 0)
        return;
    watcher.directoryOfWatch[wd] = directory;
    for (auto& [parent, folders] : watcher.awaitedIn)
        std::erase(folders, directory);
    CheckRequests(watcher, directory, nullptr, toSignal);
}

// A folder appearing in the parent of registry folders that are gone.
void FolderAppeared(Watcher& watcher, const inotify_event& event, std::vector<HANDLE>& toSignal) {
    auto it = watcher.awaitedIn.find(event.wd);
    if (it == watcher.awaitedIn.end())
        return;
    if (event.mask & IN_IGNORED) {
        watcher.awaitedIn.erase(it);
        return;
    }
    const std::vector<std::string> folders = it->second;
    for (const std::string& directory : folders) {
        size_t end = directory.find_last_not_of('/');
        size_t slash = directory.find_last_of('/', end);
        std::string_view name(directory.data() + slash + 1, end - slash);
        if (event.len > 0 && name == event.name)
            Rearm(watcher, directory, toSignal);
    }
}

// One event on a registry folder's own watch. Lock held.
void FolderEvent(Watcher& watcher, const inotify_event& event, std::vector<HANDLE>& toSignal) {
    auto it = watcher.directoryOfWatch.find(event.wd);
    if (it == watcher.directoryOfWatch.end())
        return;
    const std::string directory = it->second;
    if (event.mask & (IN_IGNORED | IN_MOVE_SELF)) {
        // A moved folder keeps the watch; the name is what the requests mean.
        if (!(event.mask & IN_IGNORED))
            ::inotify_rm_watch(watcher.inotifyFd, event.wd);
        watcher.directoryOfWatch.erase(it);
        Rearm(watcher, directory, toSignal);
        return;
    }
    if (event.len == 0)
        return;
    std::string_view file(event.name);
    if (file.size() <= 4 || file.substr(file.size() - 4) != ".reg")
        return;
    if (const RootInfo* root = FindRoot(file.substr(0, file.size() - 4)))
        CheckRequests(watcher, directory, root, toSignal);
}

void HandleEvents(Watcher& watcher, std::vector<HANDLE>& toSignal) {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        ssize_t n = ::read(watcher.inotifyFd, buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN: drained
        std::lock_guard lock(WatcherMutex());
        for (char* p = buffer; p < buffer + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                for (auto& [wd, directory] : watcher.directoryOfWatch)
                    CheckRequests(watcher, directory, nullptr, toSignal);
                continue;
            }
            FolderEvent(watcher, *event, toSignal);
            FolderAppeared(watcher, *event, toSignal);
        }
    }
}

void* WatchThread(void*) {
    Watcher& watcher = TheWatcher();
    pollfd fds[2] = {{watcher.inotifyFd, POLLIN, 0}, {watcher.stopFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return nullptr;
        }
        if (fds[1].revents)
            return nullptr;
        std::vector<HANDLE> toSignal;
        HandleEvents(watcher, toSignal);
        // Signalled outside the lock: SetEvent takes the event table's lock.
        for (HANDLE event : toSignal)
            SetEvent(event);
    }
}

void StopAtExit() {
    Watcher& watcher = TheWatcher();
    bool join = false;
    {
        std::lock_guard lock(WatcherMutex());
        watcher.exiting = true;
        if (watcher.ownerPid == ::getpid()) {
            uint64_t one = 1;
            join = ::write(watcher.stopFd, &one, sizeof one) == sizeof one;
        }
    }
    if (join)
        pthread_join(watcher.thread, nullptr);
}

// Starts the thread in this process if it does not run here yet. Lock held.
LONG EnsureRunning(Watcher& watcher) {
    if (watcher.ownerPid == ::getpid())
        return ERROR_SUCCESS;
    static bool atExitRegistered = false;
    if (!atExitRegistered) {
        std::atexit(StopAtExit);
        atExitRegistered = true;
    }
    // Descriptors inherited over fork() belong to the parent's thread.
    if (watcher.inotifyFd >= 0)
        ::close(watcher.inotifyFd);
    if (watcher.stopFd >= 0)
        ::close(watcher.stopFd);
    watcher.directoryOfWatch.clear();
    watcher.awaitedIn.clear();
    watcher.inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watcher.stopFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (watcher.inotifyFd < 0 || watcher.stopFd < 0) {
        SetErrorText(std::string("cannot watch the registry: ") + std::strerror(errno));
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Requests inherited from a parent process go on being served.
    for (const Request& request : watcher.requests) {
        int wd = ::inotify_add_watch(watcher.inotifyFd, request.directory.c_str(), kWatchMask);
        if (wd >= 0)
            watcher.directoryOfWatch[wd] = request.directory;
    }
    // The thread must not take signals meant for the program's own threads.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    int error = pthread_create(&watcher.thread, nullptr, WatchThread, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (error != 0) {
        SetErrorText(std::string("cannot start the registry watcher: ") + std::strerror(error));
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    watcher.ownerPid = ::getpid();
    return ERROR_SUCCESS;
}

} // namespace

std::string KeySnapshot(const Hive& hive, const std::string& path, bool subtree, DWORD filter) {
    const HiveKey* key = hive.Find(path);
    if (!key)
        return "deleted";
    std::string out = "key:";
    AppendSnapshot(out, hive, *key, subtree, filter);
    return out;
}

LONG AddChangeWatch(HKEY owner, const RootInfo& root, const std::string& path, bool subtree,
                    DWORD filter, HANDLE event) {
    if (EventDescriptor(event) < 0)
        return ERROR_INVALID_HANDLE;
    const std::string directory = RegistryDirectory();
    if (int error = MakeDirectories(directory); error != 0) {
        SetErrorText("cannot create the registry folder " + directory + ": " +
                     std::strerror(error));
        return ErrorFromErrno(error);
    }
    Watcher& watcher = TheWatcher();
    std::lock_guard lock(WatcherMutex());
    if (watcher.exiting)
        return ERROR_SUCCESS; // the process is ending: nothing will be signalled
    if (LONG result = EnsureRunning(watcher); result != ERROR_SUCCESS)
        return result;
    // Watch first, then take the snapshot: a change after the snapshot is
    // then always seen by the thread, which waits for this lock.
    int wd = ::inotify_add_watch(watcher.inotifyFd, directory.c_str(), kWatchMask);
    if (wd < 0) {
        int error = errno;
        SetErrorText("cannot watch " + directory + ": " + std::strerror(error));
        return ErrorFromErrno(error);
    }
    watcher.directoryOfWatch[wd] = directory;
    HivePtr hive;
    if (LONG result = LoadHive(directory, root, hive, true); result != ERROR_SUCCESS)
        return result;
    if (!hive->Find(path))
        return ERROR_KEY_DELETED;
    watcher.requests.push_back(Request{owner, &root, directory, path, subtree, filter, event,
                                       KeySnapshot(*hive, path, subtree, filter)});
    return ERROR_SUCCESS;
}

void CancelChangeWatches(HKEY owner) {
    std::lock_guard lock(WatcherMutex());
    std::erase_if(TheWatcher().requests, [owner](const Request& r) { return r.owner == owner; });
}

} // namespace olvani::registry
