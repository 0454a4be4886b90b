// Where the table file and its companions live.
#pragma once

#include <string>

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
