// Where the table file and its companions live.
#pragma once

#include <string>

struct BootpEngine;

struct TablePaths {
    std::string table;
    std::string backup; // table + ".bak"
    std::string dump;   // table + ".dmp"
};

// The table file path, fixed at program start from the registry value
// Bootptabfile under HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex\Olvani\BootpSettings:
// empty when the key does not open, "bootptab" when the value cannot be read.
// The backup (".bak") and dump (".dmp") paths follow the registry value.
TablePaths LoadTablePaths();

// A table file named on the command line replaces the engine's path for
// reading and writing; the two companion paths stay those of the registry
// value. The next read reads the new file.
void SetTablePath(BootpEngine& engine, const std::string& path);
