// The diagnostic dump: every host entry the engine holds, one line each in the
// table file's tag syntax, under a commented header with a legend of the
// tags. Written once at start when the debug level is not 0.
#pragma once

#include "bootp/bootp_message.h"

#include <cstdio>
#include <string>

// Writes the dump to the registry's table path followed by ".dmp", replacing
// the file. False when it cannot be opened: the program ends with status 1.
bool DumpDatabase();

// The same, to `path`.
bool DumpDatabaseTo(const std::string& path);

// Writes one entry's fields, each ending in a colon, without a line end.
// Does nothing for an empty entry.
void DumpEntry(FILE* file, const HostEntry* entry);
