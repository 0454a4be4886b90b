// Reads the host table file into HostEntry records and indexes them in the
// three host tables. Bad entries are dropped silently; the rest of the file
// is read. The file is read again only when it changed.
#pragma once

#include "bootp/bootp_message.h"

#include <cstdio>
#include <string>

// Results of ParseTag.
constexpr int kTagDone = 0;
constexpr int kTagEnd = -1;
constexpr int kTagSyntax = -2;
constexpr int kTagUnknownSymbol = -3;
constexpr int kTagBadIpAddress = -4;
constexpr int kTagBadHwAddress = -5;
constexpr int kTagBadSubnetMask = -6;
constexpr int kTagBadTimeOffset = -7;
constexpr int kTagBadVendorMagic = -8;
constexpr int kTagBadHwType = -9;

constexpr int kEntryBufferSize = 1024; // entry text of at most 1023 characters

// The table file path, fixed at program start from the registry value
// Bootptabfile under HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex\Olvani\BootpSettings:
// empty when the key does not open, "bootptab" when the value cannot be read.
// The backup (".bak") and dump (".dmp") paths follow the registry value.
void LoadTablePaths();
const std::string& TablePath();
const std::string& BackupPath();
const std::string& DumpPath();
// A table file named on the command line replaces the path for reading and
// writing; the two companion paths stay those of the registry value.
void SetTablePath(const std::string& path);

// Rebuilds the three tables when the file changed since the last read.
// 0: read, or unchanged; -1: file not available (the tables stay as they are).
int ReadHostTable();
// Entries kept by the last read.
int HostTableEntryCount();
// Counts the rebuilds, so callers can tell whether the tables were replaced.
unsigned HostTableGeneration();
// Forgets the recorded file state: the next ReadHostTable reads the file.
void ForgetHostTableFile();

// One entry's text (one logical line) into `buffer`, NUL-terminated; returns
// its length, 0 at end of file.
int ReadEntry(FILE* file, char* buffer, int capacity);
// Puts a parsed entry into the three tables by the reader's rules: a
// duplicate hardware address drops it, and it is freed when no table took it.
void IndexEntry(HostEntry* entry);
// 0: keep the entry; -1: drop it.
int ParseEntry(HostEntry* entry, const char* text);
// One field at *cursor (see the kTag codes).
int ParseTag(const char** cursor, HostEntry* entry);
// tc=: fills the entry's unset fields from the named template entry.
void ApplyTemplate(HostEntry* entry, const char** cursor);

// One to four dot-separated numbers; false when the text is no address.
bool ScanAddress(const char** cursor, uint32_t* networkOrder);
// Letters, digits and hyphens in dot-separated labels, as host names need.
bool GoodHostName(const char* name);
