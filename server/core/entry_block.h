// One entry's block among the document's lines: where it begins and ends,
// and the fields the engine's reader takes from it. The writer uses this to
// remove exactly the entry the operator chose and to keep, on Modify, the
// settings the entry dialog does not edit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct EntryBlock {
    size_t first = 0; // the empty line opening the block, or its first line
    size_t end = 0;   // one past its last line
};

// The block around the line at index `at` (the entry's hardware-address
// line): back over the entry's own lines and comments to the empty line
// that opens it, forward to its last line and any comments up to the next
// empty line. The next entry's empty line is not part of it, and an entry
// written without an empty line before it is never taken along.
EntryBlock EntryBlockAround(const std::vector<std::string>& lines, size_t at);

// The fields of the block's entry in file order, as the reader splits them:
// comment lines skipped, continuation lines joined, split at colons outside
// double quotes (a backslash keeps the next character), blanks around a
// field removed, empty fields dropped. The first field is the host name.
std::vector<std::string> EntryFields(const std::vector<std::string>& lines, EntryBlock block);

// The tag a field sets: "ht" of "ht=6", "hn" of "hn" and "hn@", "T145" of
// "T145=64".
std::string_view FieldTag(std::string_view field);

// The value of the last field with this tag set by "tag=value"; false when
// the entry has none.
bool LastFieldValue(const std::vector<std::string>& fields, std::string_view tag,
                    std::string& value);

// True when the block's own "ip=" value is the address `dotted` (both read
// by the engine's address rules); a block without one matches an empty
// `dotted`.
bool BlockHasAddress(const std::vector<std::string>& fields, const std::string& dotted);
