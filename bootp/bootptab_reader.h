// Reads the host table file into HostEntry records and indexes them in the
// three host tables. Bad entries are dropped silently; the rest of the file
// is read. The file is read again only when it changed.
#pragma once

#include "bootp/bootp_message.h"

#include <cstdio>
#include <string>

constexpr int kEntryBufferSize = 1024; // entry text of at most 1023 characters

struct BootpEngine;
struct HostTables;

constexpr int kReadNoMemory = -2;

// Rebuilds the engine's three tables when the file at its table path changed
// since the last read. 0: read, or unchanged; -1: file not available;
// kReadNoMemory: memory ran out. The tables stay as they were on failure.
int ReadHostTable(BootpEngine& engine);
// Forgets what the last read saw of the file: the next ReadHostTable reads it.
void ForgetHostTableFile(BootpEngine& engine);

// One entry's text (one logical line) into `buffer`, NUL-terminated; returns
// its length, 0 at end of file.
int ReadEntry(FILE* file, char* buffer, int capacity);
// Puts a parsed entry into the three tables by the reader's rules: a
// duplicate hardware address drops it, and it is freed when no table took it.
// Counts it in the engine's entry count.
void IndexEntry(BootpEngine& engine, HostEntry* entry);
