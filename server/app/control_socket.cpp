#include "server/app/control_socket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace korrind {
namespace {

std::string Explain(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// A folder the socket may live in: no link, ours or root's, and not
// writable by anyone else (who could swap the socket for something else).
bool SafeFolder(const std::string& folder, std::string& error) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = Explain(folder, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || (st.st_uid != ::geteuid() && st.st_uid != 0) ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = folder + ": not a folder of this user or root closed to others";
        return false;
    }
    return true;
}

// Removes a socket of ours at `path` that no one listens on any more.
bool ClearLeftover(const std::string& path, const sockaddr_un& address, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT || (error = Explain(path, errno), false);
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) {
        error = path + ": exists and is not a socket of this user";
        return false;
    }
    int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool listening = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                             sizeof address) == 0;
    if (probe >= 0)
        ::close(probe);
    if (listening) {
        error = path + ": another server listens there";
        return false;
    }
    return ::unlink(path.c_str()) == 0 || (error = Explain(path, errno), false);
}

} // namespace

std::string ControlSocketPath() {
    const char* path = ::secure_getenv(kControlSocketVariable);
    return path != nullptr && *path != '\0' ? path : kDefaultControlSocket;
}

bool ControlSocket::Open(const std::string& path, std::string& error) {
    Close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    size_t slash = path.rfind('/');
    if (path.empty() || path[0] != '/' || path.size() >= sizeof address.sun_path ||
        slash == std::string::npos) {
        error = path + ": not an absolute path short enough for a socket";
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    if (!SafeFolder(slash == 0 ? "/" : path.substr(0, slash), error) ||
        !ClearLeftover(path, address, error))
        return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = Explain("socket", errno);
        return false;
    }
    // The file gets mode 0660: the server's user and group only.
    mode_t previous = ::umask(0117);
    int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int bindError = errno;
    ::umask(previous);
    struct stat st {};
    if (bound != 0 || ::listen(fd, 16) != 0 || ::lstat(path.c_str(), &st) != 0) {
        error = Explain(path, bound != 0 ? bindError : errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return true;
}

void ControlSocket::Close() {
    if (fd_ < 0)
        return;
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
        ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

} // namespace korrind
