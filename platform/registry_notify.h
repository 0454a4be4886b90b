// Change notification for RegNotifyChangeKeyValue: one inotify watcher thread
// per process over the registry folders in use.
#pragma once

#include "platform/registry.h"
#include "platform/registry_hive.h"

#include <string>

namespace olvani::registry {

// Records what the key looks like now (its values and subkey names, below it
// too with `subtree`, as `filter` asks) and signals `event` once when a hive
// file change makes it look different. `owner` is the handle the caller
// passed; closing it cancels the request.
LONG AddChangeWatch(HKEY owner, const RootInfo& root, const std::string& path, bool subtree,
                    DWORD filter, HANDLE event);
void CancelChangeWatches(HKEY owner);

// What a notification compares: the key's values (REG_NOTIFY_CHANGE_LAST_SET)
// and subkey names (REG_NOTIFY_CHANGE_NAME), recursively with `subtree`.
std::string KeySnapshot(const Hive& hive, const std::string& path, bool subtree, DWORD filter);

} // namespace olvani::registry
