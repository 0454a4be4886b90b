// The editor's line reader for the host table file. Lines are read the way
// the editor always has: at most 79 characters at a time, so a longer line
// arrives in pieces, each counting as a line. Every piece keeps its raw bytes
// (CR LF included), so joining the pieces gives back the file byte for byte
// and a rewrite copies untouched lines exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesslin {

// Characters of a line the reader hands out at most (line feed included).
constexpr size_t kLineLimit = 79;

std::vector<std::string> SplitTableLines(std::string_view text);

// A piece without its CR LF or LF.
std::string_view LineText(std::string_view piece);
// True when the piece holds `what` anywhere.
bool Holds(std::string_view piece, std::string_view what);
// The text after the first `tag` up to the next `end`; empty when `tag` is
// missing, the rest of the line when `end` is.
std::string TextBetween(std::string_view piece, std::string_view tag, std::string_view end);

// The whole file, or false with errno set.
bool ReadTableFile(const std::string& path, std::string& text);

} // namespace tesslin
