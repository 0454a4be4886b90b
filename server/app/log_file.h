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

} // namespace korrind
