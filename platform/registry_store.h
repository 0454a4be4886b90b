// The hive files on disk: where they live, reading them through a cache that
// costs one stat while a file is unchanged, and changing them atomically
// under an exclusive lock.
#pragma once

#include "platform/registry_hive.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace olvani::registry {

using HivePtr = std::shared_ptr<const Hive>;

// How long a change made to a hive file by other means than these calls (an
// editor) may go unseen by a reader, in nanoseconds of the coarse monotonic
// clock.
constexpr int64_t kUnseenEditNanoseconds = 10'000'000;

// <directory>/<root name>.reg
std::string HivePath(const std::string& directory, const RootInfo& root);

// The latest hive of a root in `directory` (RegistryDirectory() when not
// given). A missing file is an empty hive. A file that does not parse gives
// ERROR_BADDB; its name, line and reason go to the debug output once per
// version of the file and to the calling thread's error text.
// While no writer has counted a change in the lock file, the cached hive is
// used without looking at the file for up to 10 ms; `verify` always looks.
// Anything but a regular file at the hive's path (a link, a FIFO) gives
// ERROR_BADDB and is never opened for reading.
LONG LoadHive(const std::string& directory, const RootInfo& root, HivePtr& hive,
              bool verify = false);
LONG LoadHive(const RootInfo& root, HivePtr& hive);

// Applies `change` to a copy of the latest hive while holding the root's lock
// file, and replaces the hive file (see ReplaceFile in safe_file.h) when the
// change sets `changed`. The result of `change` is returned; a hive this
// process may not write gives ERROR_ACCESS_DENIED, and a hive file that does
// not parse is left as it is (ERROR_BADDB). The lock is held only for the
// write, and a child forked meanwhile does not keep it.
using HiveChange = std::function<LONG(Hive& hive, bool& changed)>;
LONG UpdateHive(const RootInfo& root, const HiveChange& change);

// Whether this process may replace the hive file: the file and its folder
// are writable, or the folder could be created. Effective ids are used.
bool CanWriteHive(const RootInfo& root);
// ERROR_ACCESS_DENIED, with the calling thread's error text naming the hive.
LONG HiveNotWritable(const RootInfo& root);

// How long a reader trusts its cached hive while the writers' change counter
// stands still (10 ms; a negative value restores that). For tests: with a
// long interval only the counter can tell a reader of another writer's change.
void SetRecheckInterval(int64_t nanoseconds);

// Creates a folder and its missing parents. 0 or an errno value.
int MakeDirectories(const std::string& path);
// Windows error code for an errno value from a file operation.
LONG ErrorFromErrno(int error);

// The description of the calling thread's last registry failure.
void SetErrorText(std::string text);
const std::string& ErrorText();

// Locks taken in this order: the change watcher's, then the hive cache's.
// Both are held across fork() so a child never inherits them locked.
std::mutex& WatcherMutex();

} // namespace olvani::registry
