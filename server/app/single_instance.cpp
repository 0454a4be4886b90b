#include "single_instance.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace korrind {
namespace {

// Binds a fresh socket to the abstract name. Returns the descriptor, or -1
// with errno set.
int BindAbstract(const std::string& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The leading NUL of sun_path selects the abstract namespace.
    size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

bool InstanceLock::Acquire() {
    if (fd_ >= 0)
        return true;
    fd_ = BindAbstract(name_);
    return fd_ >= 0 || errno != EADDRINUSE;
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
    return errno == EADDRINUSE;
}

} // namespace korrind
