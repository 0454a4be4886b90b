// Opening files that a privileged process appends to (the trace file, the
// server's log) in folders other users may be able to write.
#pragma once

#include <string>
#include <sys/types.h>

namespace olvani {

// Opens `path` for appending, created with `mode` (less the umask) when
// missing. A symbolic link as the last component is refused (ELOOP), and so
// is anything but a regular file (EINVAL): a FIFO or device never holds up
// or receives a write. Returns a close-on-exec descriptor, or -1 with errno.
int OpenForAppend(const std::string& path, mode_t mode = 0640);
// The same for `name` inside the folder open as `folder`.
int OpenForAppendAt(int folder, const char* name, mode_t mode = 0640);

// Opens the folder `path`, creating it with mode 0700 when missing, and
// accepts it only when it is a real folder of the effective user that no one
// else may enter (EPERM otherwise): nothing in it can have been planted by
// another user. Returns an O_DIRECTORY descriptor, or -1 with errno.
int OpenPrivateFolder(const std::string& path);

} // namespace olvani
