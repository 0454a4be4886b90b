// What the application may ask of the engine's host table: the hosts it
// holds and a fresh read of the table file. Nothing else of the tables is
// the application's business. Both act on the engine the running
// CBootPServer holds.
#pragma once

#include "bootp/bootp_message.h"

#include <functional>

struct BootpEngine;

// Calls `visit` for every host of the hardware-address table: buckets in
// increasing order, newest first within a bucket. Nothing when no engine
// runs or it has no tables. `visit` must not call back into the engine.
void ForEachHost(const std::function<void(const HostEntry&)>& visit);

// Reads the table file again when it changed since the last read. 0: read,
// or unchanged; -1: file not available or no engine (the hosts stay as they
// are).
int RereadHostTable();

// The engine the two calls above act on; CBootPServer sets it to its own
// while it lives. nullptr when none.
BootpEngine* HostDirectoryEngine();
void SetHostDirectoryEngine(BootpEngine* engine);
