#include "editor/table_lines.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tesslin {

std::vector<std::string> SplitTableLines(std::string_view text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        // A CR before the LF is part of the line end, not a character the
        // limit counts.
        size_t counted = end - start;
        if (counted >= 2 && text[end - 1] == '\n' && text[end - 2] == '\r')
            --counted;
        if (counted > kLineLimit) {
            pieces.emplace_back(text.substr(start, kLineLimit));
            start += kLineLimit;
            continue;
        }
        pieces.emplace_back(text.substr(start, end - start));
        start = end;
    }
    return pieces;
}

std::string_view LineText(std::string_view piece) {
    if (!piece.empty() && piece.back() == '\n')
        piece.remove_suffix(1);
    if (!piece.empty() && piece.back() == '\r')
        piece.remove_suffix(1);
    return piece;
}

bool Holds(std::string_view piece, std::string_view what) {
    return piece.find(what) != std::string_view::npos;
}

std::string TextBetween(std::string_view piece, std::string_view tag, std::string_view end) {
    std::string_view line = LineText(piece);
    size_t at = line.find(tag);
    if (at == std::string_view::npos)
        return {};
    line.remove_prefix(at + tag.size());
    return std::string(line.substr(0, line.find(end)));
}

bool ReadTableFile(const std::string& path, std::string& text) {
    // Non-blocking, so that a FIFO put where the table should be cannot
    // hang the dialog; anything but a regular file is refused.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    text.clear();
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int error = errno;
            close(fd);
            errno = error;
            return false;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

} // namespace tesslin
