// Value scanners of the table file reader: each reads one value at the
// cursor and moves the cursor past what it used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bootptab_scan {

constexpr size_t kStringCapacity = 80; // at most 79 characters kept

inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline int HexDigit(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline void SkipSpace(const char*& p) {
    while (IsSpace(*p)) {
        ++p;
    }
}

// Past the next colon, or to the end; quotes play no part here.
inline void SkipPastColon(const char*& p) {
    while (*p != '\0' && *p != ':') {
        ++p;
    }
    if (*p == ':') {
        ++p;
    }
}

inline bool StartsWith(const char* p, const char* word) {
    return std::strncmp(p, word, std::strlen(word)) == 0;
}

// Characters up to the end or the first colon outside double quotes; quotes
// toggle and are dropped, characters beyond the capacity are read and lost,

// Characters up to the end or the first colon outside double quotes; quotes
// toggle and are dropped, characters beyond the capacity are read and lost,
// trailing white space is removed.
size_t ScanString(const char*& p, char* out, size_t capacity);
// A leading 0 selects octal, a following x or X hexadecimal; decimal digits
// count in every base. Unsigned 32-bit, wrapping.
uint32_t ScanNumber(const char*& p);
// Up to 16 addresses, each after optional white space; stops at the first
// text that is no address.
int ScanAddressList(const char*& p, uint32_t* out);
// An optional 0x or 0X, then exactly two hexadecimal digits.
bool ScanHexByte(const char*& p, uint8_t* out);
// Signed decimal as "%ld" reads it; false without digits or outside 32 bits.
bool ScanTimeOffset(const char* p, int32_t* out);

} // namespace bootptab_scan

// One to four dot-separated numbers; false when the text is no address.
bool ScanAddress(const char** cursor, uint32_t* networkOrder);
// Letters, digits and hyphens in dot-separated labels, as host names need.
bool GoodHostName(const char* name);
