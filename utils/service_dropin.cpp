// The logon account of a service: a drop-in beside the unit that sets User=.
// The manager may run as root, so the folders are opened without following
// links and the file is replaced whole, never written in place.
#include "utils/service_bus.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {
namespace {

constexpr const char* kDropInName = "50-olvani-account.conf";

// The administrator's unit folder; OLVANI_SERVICE_UNIT_DIR points elsewhere
// (a user manager's folder, or a test's).
std::string UnitFolder() {
    const char* folder = secure_getenv("OLVANI_SERVICE_UNIT_DIR");
    return folder && *folder ? folder : "/etc/systemd/system";
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// Writes `text` as `name` in the folder `dir` through a temporary file.
bool ReplaceFile(int dir, const char* name, const std::string& text) {
    const std::string temporary = std::string(".") + name + "." + std::to_string(getpid());
    unlinkat(dir, temporary.c_str(), 0);
    const int fd =
        openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const int error = errno;
    close(fd);
    if (!written || renameat(dir, temporary.c_str(), dir, name) != 0) {
        const int failure = written ? errno : error;
        unlinkat(dir, temporary.c_str(), 0);
        errno = failure;
        return false;
    }
    return true;
}

bool WriteUserDropIn(const std::string& unit, const std::string& user) {
    const int root = open(UnitFolder().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (root < 0)
        return false;
    const std::string folder = unit + ".d";
    int dir = -1;
    if (mkdirat(root, folder.c_str(), 0755) == 0 || errno == EEXIST)
        dir = openat(root, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    close(root);
    if (dir < 0) {
        errno = error;
        return false;
    }
    const bool done = ReplaceFile(dir, kDropInName,
                                  "# Written by Olvani: the account the service runs as.\n"
                                  "[Service]\nUser=" +
                                      user + "\n");
    const int failure = errno;
    close(dir);
    errno = failure;
    return done;
}

} // namespace

bool ServiceManager::SetUser(const std::string& user) {
    return WriteUserDropIn(unit_, user) && Reload();
}

} // namespace dravik
