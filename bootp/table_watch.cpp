#include "bootp/table_watch.h"

#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kFileEvents =
    IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE_SELF | IN_DELETE_SELF;
constexpr uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                   IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

// File systems whose changes may come from elsewhere, unseen by inotify.
bool RemoteOrUserSpace(long type) {
    switch (static_cast<unsigned long>(type)) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE
    case 0x00C36400: // Ceph
    case 0x5346414F: // AFS
    case 0x01021997: // 9P
    case 0x73757245: // Coda
    case 0x7461636F: // OCFS2
    case 0x01161970: // GFS2
        return true;
    default:
        return false;
    }
}

// The absolute form of `path` when no part of it is a symbolic link (the
// watches follow inodes, a link could be pointed elsewhere unseen).
bool Plain(const std::string& path, std::string& absolute) {
    if (path.empty())
        return false;
    absolute = path;
    if (path[0] != '/') {
        char here[PATH_MAX];
        if (getcwd(here, sizeof here) == nullptr)
            return false;
        absolute = std::string(here) + "/" + path;
    }
    char* resolved = realpath(absolute.c_str(), nullptr);
    bool plain = resolved != nullptr && absolute == resolved;
    std::free(resolved);
    return plain;
}

} // namespace

TableWatch::~TableWatch() {
    Stop();
}

void TableWatch::Stop() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = fileWatch_ = folderWatch_ = -1;
    path_.clear();
}

bool TableWatch::Watch(const std::string& path) {
    std::string absolute;
    if (path != path_) {
        Stop();
        size_t slash;
        struct statfs fs {};
        if (!Plain(path, absolute) || (slash = absolute.rfind('/')) == std::string::npos ||
            statfs(absolute.c_str(), &fs) != 0 || RemoteOrUserSpace(fs.f_type))
            return false;
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        std::string folder = slash == 0 ? "/" : absolute.substr(0, slash);
        if (fd_ < 0 || (folderWatch_ = inotify_add_watch(fd_, folder.c_str(), kFolderEvents)) < 0) {
            Stop();
            return false;
        }
        path_ = path;
        name_ = absolute.substr(slash + 1);
    }
    // Follows a replaced file; the watch of the one before goes.
    int previous = fileWatch_;
    fileWatch_ = inotify_add_watch(fd_, path_.c_str(), kFileEvents | IN_DONT_FOLLOW);
    if (previous >= 0 && previous != fileWatch_ && previous != folderWatch_)
        inotify_rm_watch(fd_, previous);
    if (fileWatch_ < 0) {
        Stop();
        return false;
    }
    return true;
}

bool TableWatch::MayHaveChanged() {
    if (fd_ < 0)
        return true;
    alignas(inotify_event) char events[4096];
    bool changed = false;
    for (;;) {
        ssize_t length = read(fd_, events, sizeof events);
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return changed;
        if (length <= 0) {
            Stop(); // a watch that fails is no watch
            return true;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            // The folder itself moved or went: the path now leads elsewhere,
            // so the next Watch starts afresh.
            if (event->wd == folderWatch_ &&
                (event->mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED))) {
                Stop();
                return true;
            }
            // In the folder only our own name counts; every other event
            // (the file's own, an overflow) does.
            if (event->wd != folderWatch_ || event->len == 0 || name_ == event->name)
                changed = true;
        }
    }
}
