// The one conversion the C library's printf is trusted with.
#pragma once

#include <cstddef>
#include <string_view>

namespace quessa {

// Widths and precisions above this are taken as this: a message text never
// needs more, and a resource must not make us allocate without bound.
constexpr int kMaxFieldWidth = 1024;

struct SafeConversion {
    char16_t text[24]; // NUL-terminated: '%', flags, width, precision, 'h'/"hh", letter
};

// Rewrites the spec text from '%' to its letter into flags (each once),
// width and precision, capped, plus 'h' or "hh" on the integer letters, then
// the letter. Whatever else stood between '%' and the letter (length
// modifiers, '*', '$', stray characters) is dropped: the value is already
// typed, and the C library must never be asked to read an argument we did
// not pass.
SafeConversion MakeSafeConversion(std::u16string_view spec);

} // namespace quessa
