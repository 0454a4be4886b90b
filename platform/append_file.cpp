#include "append_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace olvani {
namespace {

int CloseWithError(int fd, int error) {
    ::close(fd);
    errno = error;
    return -1;
}

} // namespace

int OpenForAppendAt(int folder, const char* name, mode_t mode) {
    // Non-blocking only for the open itself, so that a FIFO without reader
    // fails at once instead of waiting for one.
    int fd = ::openat(folder, name,
                      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0)
        return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return CloseWithError(fd, errno);
    if (!S_ISREG(status.st_mode))
        return CloseWithError(fd, EINVAL);
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return CloseWithError(fd, errno);
    return fd;
}

int OpenForAppend(const std::string& path, mode_t mode) {
    return OpenForAppendAt(AT_FDCWD, path.c_str(), mode);
}

int OpenPrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return -1;
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return CloseWithError(fd, errno);
    if (status.st_uid != ::geteuid() || (status.st_mode & 077) != 0)
        return CloseWithError(fd, EPERM);
    return fd;
}

} // namespace olvani
