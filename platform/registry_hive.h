// One root key's tree in memory, and its text form: the layout of a .reg
// export, UTF-8.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex\Olvani\Trace]
//   @="default value"
//   "TraceFile"="C:\\temp\\trace.csv"
//   "DisableTrace"=dword:00000000
//   "Blob"=hex:01,02,ff
//   "Other"=hex(7):41,00,00,00
//
// Strings escape \\ and \" as regedit does, and also \n, \r and \0 so a value
// always stays on one line. Other types than REG_SZ, REG_DWORD (4 bytes) and
// REG_BINARY are kept as raw bytes in hex(N) form. Lines may end in CR LF or
// LF; blank lines and lines starting with ';' are ignored; a hex list may go
// on over several lines, each but the last ending in a backslash.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace olvani::registry {

// Key and value names compare without regard to ASCII letter case, as on
// Windows; other characters compare exactly. Names keep the case they were
// created with.
std::string FoldCase(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

// The predefined roots: the tag value of the HKEY, the full name (which is
// also the hive file's name) and the short form.
struct RootInfo {
    uint32_t tag;
    const char* name;
    const char* shortName;
};
const RootInfo* FindRoot(std::string_view fullOrShortName);
const RootInfo* FindRoot(uint32_t tag);
// The root a predefined HKEY stands for; nullptr for any other handle.
const RootInfo* FindRoot(HKEY key);
std::span<const RootInfo> AllRoots();

struct HiveValue {
    std::string name; // "" is the key's default value
    DWORD type = REG_NONE;
    std::string data; // REG_SZ: UTF-8 text without terminator; else raw bytes
};

struct HiveKey {
    std::string name;              // last component as created; "" for the root
    std::string path;              // below the root, components joined by '\'
    std::vector<size_t> children;  // indexes into the hive, in stored order
    std::vector<HiveValue> values; // in stored order
    size_t parent = 0;
    bool removed = false;
};

class Hive {
public:
    static constexpr size_t kRoot = 0;

    Hive();

    // Path below the root, '\' separated, case-insensitive; "" is the root.
    // Empty components (leading, trailing or doubled backslashes) are skipped.
    const HiveKey* Find(std::string_view path) const;
    HiveKey* Find(std::string_view path);
    // Creates the key and every missing key above it. `created` tells
    // whether the key itself is new.
    HiveKey& Create(std::string_view path, bool* created = nullptr);
    // Removes a key without subkeys (not the root); false otherwise.
    bool Remove(std::string_view path);

    const HiveKey& Root() const { return keys_[kRoot]; }
    const HiveKey& At(size_t index) const { return keys_[index]; }
    // Number of keys, the root included.
    size_t KeyCount() const { return index_.size(); }

    static const HiveValue* FindValue(const HiveKey& key, std::string_view name);
    // Adds or replaces a value, keeping its place and name case if it exists.
    static void SetValue(HiveKey& key, HiveValue value);
    static bool DeleteValue(HiveKey& key, std::string_view name);

private:
    std::vector<HiveKey> keys_;                     // removed keys stay as tombstones
    std::unordered_map<std::string, size_t> index_; // folded path -> index
};

// Splits a path at backslashes, skipping empty components, and joins it again.
std::string NormalizePath(std::string_view path);

// The platform's limits, counted in UTF-16 units as Windows counts them. They
// hold for every key and value, however it arrives (calls, hive file, import):
// a hive's text grows with depth times path length, and deep paths cost every
// reader of the hive.
constexpr size_t kMaxKeyNameLength = 255; // one component of a key path
constexpr size_t kMaxKeyDepth = 512;      // components below the root
constexpr size_t kMaxValueNameLength = 16383;
// Empty when the name keeps within the limits, else the reason for people.
std::string KeyPathProblem(std::string_view path);
std::string ValueNameProblem(std::string_view name);

// One [section] of a .reg text with the values listed under it.
struct RegSection {
    std::string root; // as written: full or short root name
    std::string path; // normalized, below the root
    std::vector<HiveValue> values;
    size_t line = 0;
};

struct ParseError {
    size_t line = 0;
    std::string message;
};

// Reads .reg text into its sections; false with `error` set when it does not
// parse.
bool ParseRegText(std::string_view text, std::vector<RegSection>& sections, ParseError& error);
// Builds the hive of root `rootName` from .reg text; every section must
// belong to that root.
bool ParseHive(std::string_view text, std::string_view rootName, Hive& hive, ParseError& error);
// Merges parsed sections into a hive (keys created as needed, values set).
void MergeSections(Hive& hive, const std::vector<RegSection>& sections);

// One value as its .reg line, with the line feed.
void AppendValue(std::string& out, const HiveValue& value);

// The hive as .reg text. With `header` the text starts with the regedit
// version line; keys follow depth first in stored order.
std::string SerializeHive(const Hive& hive, std::string_view rootName, bool header = true);

} // namespace olvani::registry
