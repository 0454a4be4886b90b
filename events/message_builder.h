// Message texts from positional formats: the arguments are collected and
// typed by the format's conversion letters, then each conversion is rendered
// on its own and the text assembled.
#pragma once

#include "platform/oleauto.h"

#include <cstdarg>
#include <string>
#include <string_view>

namespace quessa {

// Assembles the text: literal text as it stands, "%" for each literal
// percent, and each conversion rendered from value number `position` (or the
// k-th value without positions), converted to the letter's class first.
// `values` holds `count` variants. A value that cannot be converted gives the
// conversion's error.
HRESULT BuildMessage(std::u16string_view format, const VARIANT* values, size_t count,
                     bool positional, std::u16string& out);

// Reads one C argument per conversion, in position order, typed by the
// conversion's letter. The caller must pass at least that many arguments of
// those types: a C argument list carries no count, so too few cannot be
// detected and are undefined behaviour.
HRESULT SubstituteCArgs(std::u16string_view format, va_list args, std::u16string& out);

// Takes the values from `arguments`, a one-dimensional safe array of
// variants; it must hold at least as many elements as the format has
// conversions (extra ones are ignored).
HRESULT SubstituteVBArgs(std::u16string_view format, const VARIANT* arguments, std::u16string& out);

} // namespace quessa
