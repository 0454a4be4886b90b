// printf-style formatting into UTF-16, following the wide printf conventions
// the traced code was written for: "%s" takes a wide (char16_t) string, "%S"
// and "%hs" a narrow UTF-8 one, "%c" a wide character, and "l" on an integer
// means the 32-bit LONG, not the 64-bit C++ long. "ll" and "I64" mean 64
// bits; "z", "I" and "t" the pointer width.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace morvale {

// Formats into `out` (capacity units, terminator included), cutting what does
// not fit. Returns the length the whole text has, so a result >= capacity
// means the text was cut to capacity - 1 units.
size_t FormatWide(char16_t* out, size_t capacity, const char16_t* format, va_list args);

} // namespace morvale
