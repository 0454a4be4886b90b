// How the editor changes the host table file on disk. Every change is made
// under the table's advisory lock (the one the server's writer takes), so
// the editor and a running server never interleave their writes; rewrites
// replace the file through a work file in the table's own folder, keeping
// its mode, owner and access list, so a failure leaves the table as it was.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tesslin {

// The companion file both writers lock.
std::string TableLockPath(const std::string& table);

// Outcome of a change to the table, with a text for the operator when it
// failed.
struct TableChange {
    bool ok = false;
    std::string message;
};

// Reads the table under its lock, lets `edit` compute the new content and
// replaces the table with it. `edit` returns nullopt (with `message` set)
// when the change cannot be made; the table is then left untouched.
using TableEdit =
    std::function<std::optional<std::string>(const std::string& current, std::string& message)>;
TableChange RewriteTable(const std::string& path, const TableEdit& edit);

// Appends bytes at the end of an existing table, under its lock. errno is
// set on failure.
bool AppendToTable(const std::string& path, const std::string& bytes);

// Puts `header` in place of the table's global-defaults header: in place
// when the old header has the same length, otherwise by a full rewrite.
bool ReplaceTableHeader(const std::string& path, const std::string& header);

// End of the global-defaults header at the start of the table text (after
// the "gw=" line and the padding spaces that follow it); 0 when the text
// does not start with one.
size_t HeaderExtent(const std::string& text);

} // namespace tesslin
