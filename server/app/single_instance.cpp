#include "single_instance.h"

#include "server/app/peer_channel.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace korrind {
namespace {

// A fresh socket and the abstract address of `name`.
int Socket(const std::string& name, sockaddr_un& address, socklen_t& size) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    // The leading NUL of sun_path selects the abstract namespace.
    size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Binds a listening socket to the abstract name. Returns the descriptor, or
// -1 with errno set. It listens only so that others can ask who holds it.
int BindAbstract(const std::string& name) {
    sockaddr_un address;
    socklen_t size;
    int fd = Socket(name, address, size);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Whether the holder of the name is this user or root. Any local user can
// take an abstract name; a holder of another account is not a server of
// ours, and one that does not answer cannot be told apart from it.
bool HolderIsOurs(const std::string& name) {
    sockaddr_un address;
    socklen_t size;
    int fd = Socket(name, address, size);
    if (fd < 0)
        return false;
    ucred peer{};
    socklen_t length = sizeof peer;
    bool ours = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
                ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
                (peer.uid == ::geteuid() || peer.uid == 0);
    ::close(fd);
    return ours;
}

} // namespace

bool InstanceLock::Acquire() {
    if (fd_ >= 0)
        return true;
    fd_ = BindAbstract(name_);
    return fd_ >= 0 || errno != EADDRINUSE || !HolderIsOurs(name_);
}

void InstanceLock::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool InstanceLock::HeldElsewhere(const std::string& name) {
    int fd = BindAbstract(name);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EADDRINUSE && HolderIsOurs(name);
}

int InstanceLock::AskHolderToShow(const std::string& name, std::string& error) {
    int fd = ConnectAbstract(name);
    if (fd < 0)
        return 0;
    std::optional<PeerCredentials> holder = ReadPeerCredentials(fd);
    if (!holder || !PeerIsUserOrRoot(*holder)) {
        ::close(fd);
        return 0;
    }
    std::optional<std::string> answer = AskOneLine(fd, kShowRequest, 5000, 256, error);
    ::close(fd);
    if (!answer)
        return -1;
    if (*answer != kDoneAnswer) {
        error = *answer;
        return -1;
    }
    return 1;
}

} // namespace korrind
