// Printf-like message formats with an optional position prefix "#N" (one or
// two digits) just before a conversion's '%', so that a translated text can
// take its inserts in another order: "#2%s copied to #1%s".
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quessa {

// What a conversion letter takes from the caller and keeps as its value.
enum class ArgClass : uint8_t {
    None,         // not a conversion letter
    Integer,      // C X d i o p u x: a 32-bit integer
    Character,    // c: a 32-bit slot, low 16 bits used
    Count,        // n: a pointer to a 32-bit integer, which is taken
    Floating,     // E G Q Y Z e f g q y z: a double
    WideString,   // s: a UTF-16 string
    NarrowString, // S: an 8-bit (UTF-8) string
};

ArgClass ClassOfLetter(char16_t letter);

// A conversion can have at most this many characters between its '%' and its
// letter; a '%' whose letter is further away is plain text.
constexpr size_t kMaxSpecGap = 11;

struct FormatSpec {
    size_t begin = 0;    // first character: the '#' of a position, else the '%'
    size_t percent = 0;  // the '%'
    size_t end = 0;      // one past the conversion's last character
    char16_t letter = 0; // the conversion letter; 0 for a literal percent
    int position = 0;    // 1 to 99; 0 when the conversion has none
    bool literal = false;
};

// Remembers the last conversion letter found, so that walking a whole text
// stays linear however many stray '%' it holds.
struct SpecScan {
    size_t letterFrom = 1; // letterAt is the first letter at or after this index
    size_t letterAt = 0;   // (empty while letterFrom > letterAt)
};

// Finds the next spec (a conversion, "%%", or a '%' before a blank or the
// end) at or after `from`; a position prefix is only looked for after `from`.
bool FindFormatSpec(std::u16string_view text, size_t from, FormatSpec& spec, SpecScan& scan);

// The conversion letters of a format in the order the format takes its
// arguments: by position when it uses positions, else by appearance.
struct FormatTypes {
    std::u16string letters;
    bool positional = false;
};

// Refuses (E_INVALIDARG, with a trace line) a format that mixes specs with
// and without positions, or whose positions are not exactly 1 to n.
HRESULT GetFmtTypeArray(std::u16string_view format, FormatTypes& types);

} // namespace quessa
