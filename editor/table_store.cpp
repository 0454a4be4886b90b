#include "editor/table_store.h"

#include "editor/table_lines.h"
#include "platform/safe_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tesslin {

namespace {

bool WriteAll(int fd, const std::string& bytes, off_t at) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = at < 0 ? write(fd, bytes.data() + done, bytes.size() - done)
                           : pwrite(fd, bytes.data() + done, bytes.size() - done,
                                    at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Opens an existing table for writing: never a FIFO or a device.
int OpenExistingTable(const std::string& path, int flags) {
    int fd = open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

olvani::FileError WriteWholeTable(const std::string& path, const std::string& content) {
    olvani::ReplaceOptions options;
    options.newFileMode = 0600;
    options.links = olvani::LinkPolicy::WriteThrough;
    options.allowInPlace = true;
    return olvani::ReplaceFile(path, content, options);
}

} // namespace

std::string TableLockPath(const std::string& table) {
    return table + ".lock";
}

TableChange RewriteTable(const std::string& path, const TableEdit& edit) {
    TableChange change;
    olvani::FileLock lock;
    olvani::FileError locked = olvani::LockFile(TableLockPath(path), lock, 0644);
    if (!locked.ok()) {
        change.message = locked.message;
        return change;
    }
    std::string current;
    if (!ReadTableFile(path, current)) {
        change.message = "cannot read " + path + ": " + std::strerror(errno);
        return change;
    }
    std::optional<std::string> next = edit(current, change.message);
    if (!next)
        return change;
    olvani::FileError written = WriteWholeTable(path, *next);
    change.ok = written.ok();
    if (!change.ok)
        change.message = written.message;
    return change;
}

bool AppendToTable(const std::string& path, const std::string& bytes) {
    olvani::FileLock lock;
    if (!olvani::LockFile(TableLockPath(path), lock, 0644).ok())
        return false;
    int fd = OpenExistingTable(path, O_WRONLY | O_APPEND);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, bytes, -1) && fsync(fd) == 0;
    int error = errno;
    close(fd);
    errno = error;
    return ok;
}

size_t HeaderExtent(const std::string& text) {
    size_t defaults = text.find("global.defaults:");
    if (defaults == std::string::npos)
        return 0;
    // Only a header at the very start counts: its lines before
    // global.defaults are comments or blank.
    for (const std::string& piece : SplitTableLines(text.substr(0, defaults)))
        if (!LineText(piece).empty() && piece[0] != '#')
            return 0;
    size_t gateway = text.find("\ngw=", defaults);
    if (gateway == std::string::npos)
        return 0;
    size_t end = text.find('\n', gateway + 1);
    if (end == std::string::npos)
        return text.size();
    ++end;
    // The padding line of the editor's own header has no line end of its own.
    size_t spaces = text.find_first_not_of(' ', end);
    if (spaces == std::string::npos)
        spaces = text.size();
    if (spaces > end && (spaces == text.size() || text[spaces] == '\r' || text[spaces] == '\n'))
        end = spaces;
    return end;
}

bool ReplaceTableHeader(const std::string& path, const std::string& header) {
    olvani::FileLock lock;
    if (!olvani::LockFile(TableLockPath(path), lock, 0644).ok())
        return false;
    std::string current;
    if (!ReadTableFile(path, current))
        return false;
    size_t extent = HeaderExtent(current);
    if (extent == header.size() || current.empty()) {
        int fd = OpenExistingTable(path, O_WRONLY);
        if (fd < 0)
            return false;
        bool ok = WriteAll(fd, header, 0) && fsync(fd) == 0;
        close(fd);
        return ok;
    }
    return WriteWholeTable(path, header + current.substr(extent)).ok();
}

} // namespace tesslin
