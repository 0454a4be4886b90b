// Helpers for reading the trace settings, shared with the tests.
#pragma once

#include "platform/wintypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace morvale {

// Reads one value of the settings key as text (the key is opened afresh);
// nothing when the key or value is missing or the value exceeds 2048 bytes.
std::optional<std::u16string> ReadTraceString(const char16_t* valueName);

// The leading-decimal rule: blanks skipped, optional sign, digits up to the
// first other character; no digits gives 0. Saturates at the LONG range.
LONG LeadingDecimal(std::u16string_view text);

} // namespace morvale
