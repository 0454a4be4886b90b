#include "server/app/peer_channel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace korrind {
namespace {

int ConnectTo(const sockaddr_un& address, socklen_t size) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Waits until fd is ready for `events` or the deadline passes.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

std::optional<PeerCredentials> ReadPeerCredentials(int fd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0)
        return std::nullopt;
    PeerCredentials peer{cred.pid, cred.uid, cred.gid, {}};
    std::vector<gid_t> groups(64);
    for (int attempt = 0; attempt < 4; ++attempt) {
        length = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) == 0) {
            groups.resize(length / sizeof(gid_t));
            peer.groups = std::move(groups);
            break;
        }
        if (errno != ERANGE)
            break;
        groups.resize(length / sizeof(gid_t) + 1);
    }
    return peer;
}

bool PeerIsUserOrRoot(const PeerCredentials& peer) {
    return peer.uid == 0 || peer.uid == ::geteuid();
}

bool PeerIsUserGroupOrRoot(const PeerCredentials& peer) {
    gid_t group = ::getegid();
    return PeerIsUserOrRoot(peer) || peer.gid == group ||
           std::find(peer.groups.begin(), peer.groups.end(), group) != peer.groups.end();
}

int ConnectAbstract(const std::string& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The leading NUL of sun_path selects the abstract namespace.
    size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    return ConnectTo(address, static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length));
}

int ConnectPath(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return ConnectTo(address, static_cast<socklen_t>(sizeof address));
}

std::optional<std::string> AskOneLine(int fd, const std::string& request, int timeoutMs,
                                      size_t maxAnswer, std::string& error) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out = request + "\n";
    size_t sent = 0;
    while (sent < out.size()) {
        if (!WaitFor(fd, POLLOUT, deadline)) {
            error = "no answer in time";
            return std::nullopt;
        }
        ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        sent += n > 0 ? static_cast<size_t>(n) : 0;
    }
    std::string answer;
    char buffer[4096];
    for (;;) {
        size_t end = answer.find('\n');
        if (end != std::string::npos)
            return answer.substr(0, end);
        if (answer.size() > maxAnswer) {
            error = "answer too long";
            return std::nullopt;
        }
        if (!WaitFor(fd, POLLIN, deadline)) {
            error = "no answer in time";
            return std::nullopt;
        }
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) {
            error = "the server closed the connection";
            return std::nullopt;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = std::strerror(errno);
            return std::nullopt;
        }
        if (n > 0)
            answer.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace korrind
