#include "log_file.h"

#include "platform/append_file.h"

#include <unistd.h>

namespace korrind {

bool AppendLogRecords(const std::string& path, std::string_view records) {
    if (path.empty())
        return false;
    // Not through a link, and only into a regular file: a pipe or device
    // there is skipped instead of holding up the server.
    int fd = olvani::OpenForAppend(path, 0640);
    if (fd < 0)
        return false;
    // One write per batch keeps concurrent readers from seeing half a line.
    ssize_t written = ::write(fd, records.data(), records.size());
    ::close(fd);
    return written == static_cast<ssize_t>(records.size());
}

bool AppendLogLine(const std::string& path, std::string_view text) {
    std::string record(text);
    record += "\r\n";
    return AppendLogRecords(path, record);
}

void LogBatch::Add(const std::string& path, std::string_view text) {
    if (holds_ == 0) {
        AppendLogLine(path, text);
        return;
    }
    gathered_.append(text);
    gathered_ += "\r\n";
    if (gathered_.size() > kMaxGathered) {
        AppendLogRecords(path, gathered_);
        gathered_.clear();
    }
}

void LogBatch::Release(const std::string& path) {
    if (holds_ > 0)
        --holds_;
    if (holds_ == 0 && !gathered_.empty()) {
        AppendLogRecords(path, gathered_);
        gathered_.clear();
    }
}

} // namespace korrind
