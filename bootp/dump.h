// The diagnostic dump: every host entry the engine holds, one line each in the
// table file's tag syntax, under a commented header with a legend of the
// tags. Written once at start when the debug level is not 0.
#pragma once

#include "bootp/bootp_message.h"

#include <string>

struct BootpEngine;

// Writes the dump of the engine's tables to its dump path (the registry's
// table path followed by ".dmp"), replacing the file. False when it cannot
// be opened: the program ends with status 1.
bool DumpDatabase(BootpEngine& engine);

// The same, to `path`, replaced atomically (a temporary file in its folder).
// A link at `path` is refused, and so is anything but a regular file there.
bool DumpDatabaseTo(BootpEngine& engine, const std::string& path);

// Appends one entry's fields, each ending in a colon, without a line end.
// Does nothing for an empty entry.
void DumpEntry(std::string& file, const HostEntry* entry);
