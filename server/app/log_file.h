// The server's log file: one status line per record, CR LF terminated.
#pragma once

#include <string>
#include <string_view>

namespace korrind {

// Appends `text` and CR LF in one write. The file is created (mode 0640) when
// missing, never written through a symbolic link, only when it is a regular
// file, and it is opened and closed for every line, so no handle is held
// between lines and another program may read or move the file at any time. Returns false when
// the line could not be written; the server ignores that on purpose.
bool AppendLogLine(const std::string& path, std::string_view text);

// Appends whole records (each already ending in CR LF) the same way, in one
// write.
bool AppendLogRecords(const std::string& path, std::string_view records);

// The records of one request, gathered while the request is handled and
// written with one open and one write when it ends, in the order they came.
// Holds nest (a message box inside a request runs the event loop, which may
// handle another request); the outermost release writes.
class LogBatch {
public:
    void Hold() { ++holds_; }
    // Writes `text` as one record now, or gathers it while held.
    void Add(const std::string& path, std::string_view text);
    // Ends one hold; the last writes what was gathered.
    void Release(const std::string& path);

private:
    // Gathered records beyond this go out at once, so a request left waiting
    // on a message box cannot pile up lines without end.
    static constexpr size_t kMaxGathered = 64 * 1024;

    int holds_ = 0;
    std::string gathered_;
};

} // namespace korrind
