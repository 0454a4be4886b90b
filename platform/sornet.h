// The product's number and text formatting: one printf conversion at a time,
// rendered by the C library in the "C" locale (whatever locale the program
// chose) and handed out as UTF-16, plus the spreadsheet number layouts.
//
// The output is sized from the formatted length: a width or precision is
// rendered in full, never cut to a buffer.
#pragma once

#include "platform/wintypes.h"

#include <string>
#include <string_view>

// fu_sprintf appends to `out` the rendering of `format`, a text with at most
// one conversion: "%", flags out of "-+ #0", a width, a "." and a precision,
// then the conversion letter, which is the first character after the "%" out
// of "cCdiouxXeEfgGnpsSyYzZqQ". Other characters before the letter (length
// modifiers such as l, h, I64, or a "*") are dropped, so the C library only
// ever sees the value it is given. Around the conversion the text is kept as
// it stands; "%%", and a "%" before a blank or at the end, give one "%".
//
//   d i o u x X  the value as a 32-bit integer
//   p            the same, as 8 upper-case hex digits
//   c            the character of the low 16 bits; C of the low 8 bits
//   e E f g G    the value as a double; q Q are f F, y Y are e E, z Z are g G
//   s S          the text (the wide or the 8-bit UTF-8 overload)
//   n            nothing: no count is ever written through a pointer
//
// A number given for an integer letter is rounded, an integer given for a
// floating letter widened; a number for a text letter or a text for a number
// letter is refused. Returns the UTF-16 units appended, or -1 (out
// unchanged) for a second conversion, a "%" without a letter, a mismatched
// value, or a width or precision above 1,048,576.
int fu_sprintf(std::u16string& out, std::u16string_view format, int32_t value);
int fu_sprintf(std::u16string& out, std::u16string_view format, double value);
int fu_sprintf(std::u16string& out, std::u16string_view format, const int32_t* count);
int fu_sprintf(std::u16string& out, std::u16string_view format, const char16_t* text);
int fu_sprintf(std::u16string& out, std::u16string_view format, const char* text);

// fu_ToExcel appends `value` laid out as a spreadsheet cell shows it.
//   decimals  places after the decimal point, 0 to 15; negative: the general
//             layout (up to 15 significant digits, no trailing zeros)
//   layout    bit 0: thousands grouped with ","; bit 1: negative numbers in
//             parentheses instead of a "-"; bit 2: a percentage (the value
//             times 100, followed by "%")
//   style     1: the value as text, with "." as the decimal point
//             ("-1,234.50"); a value that is not a finite number gives
//             "#NUM!"; 0: the number format code that shows such a value
//             ("#,##0.00;(#,##0.00)")
// Returns the UTF-16 units appended, or -1 for another style.
int fu_ToExcel(std::u16string& out, int32_t decimals, double value, int32_t layout, int32_t style);

// Number-format code letters of fu_ToExcel's layout argument.
constexpr int32_t kExcelGrouped = 1;
constexpr int32_t kExcelParentheses = 2;
constexpr int32_t kExcelPercent = 4;
