// The one conversion the C library's printf is trusted with.
#pragma once

#include "platform/oleauto.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quessa {

// Widths and precisions above this are taken as this: a message text never
// needs more, and a resource must not make us allocate without bound.
constexpr int kMaxFieldWidth = 1024;

struct SafeConversion {
    char16_t text[20]; // NUL-terminated: '%', flags, width, precision, letter
};

// Rewrites the conversion's text from '%' to its letter into flags (each once),
// width and precision, capped, then the letter. Whatever else stood between '%' and the letter
// (length modifiers, '*', '$', stray characters) is dropped: the value is already typed, and the C
// library must never be asked to read an argument we did not pass.
SafeConversion MakeSafeConversion(std::u16string_view spec);

// Appends the rendering of one conversion (the conversion's text from '%' to its
// letter) of `value`, converted to the letter's class first. The variant
// conversion's error when it cannot be converted; E_INVALIDARG when the
// formatter refuses it.
HRESULT RenderConversion(std::u16string_view spec, const VARIANT& value, std::u16string& out);

} // namespace quessa
