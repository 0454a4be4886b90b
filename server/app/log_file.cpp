#include "log_file.h"

#include "platform/append_file.h"

#include <unistd.h>

namespace korrind {

bool AppendLogLine(const std::string& path, std::string_view text) {
    if (path.empty())
        return false;
    // Not through a link, and only into a regular file: a pipe or device
    // there is skipped instead of holding up the server.
    int fd = olvani::OpenForAppend(path, 0640);
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
