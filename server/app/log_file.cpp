#include "log_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace korrind {

bool AppendLogLine(const std::string& path, std::string_view text) {
    if (path.empty())
        return false;
    // Non-blocking, so a log path that names a pipe nobody reads is skipped
    // instead of holding up the server.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    std::string record(text);
    record += "\r\n";
    // One write per record keeps concurrent readers from seeing half a line.
    ssize_t written = ::write(fd, record.data(), record.size());
    ::close(fd);
    return written == static_cast<ssize_t>(record.size());
}

} // namespace korrind
