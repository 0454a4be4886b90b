// UTF-8 <-> UTF-16 conversion, the one place the system changes encodings.
// Invalid input never causes undefined behaviour: the lenient forms put
// U+FFFD where a sequence is broken, the strict forms report where.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace olvani {

// Lenient: every ill-formed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Strict: nullopt when the input is not well-formed; `errorOffset` (when
// given) receives the offset of the first bad unit.
std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text,
                                                size_t* errorOffset = nullptr);
std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view text,
                                             size_t* errorOffset = nullptr);

// Length of a NUL-terminated UTF-16 string (nullptr counts as empty).
size_t U16Length(const char16_t* text);

// Only A-Z fold: names and keywords compared the way the system compares them,
// whatever the locale.
inline char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}
bool AsciiEqualIgnoringCase(std::u16string_view a, std::u16string_view b);

} // namespace olvani
