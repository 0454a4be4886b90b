// The two text jobs of the date functions, kept apart from the exports so
// that they can be exercised on any input: splitting a date-and-time format
// into its date and time pictures, and reading calendar fields from a text
// laid out like a format.
#pragma once

#include "platform/datetime.h"

#include <string_view>

namespace dravik {

struct DateFormatParts {
    bool hasLetters = false; // false: the format is plain text
    bool timeFirst = false;
    std::u16string_view datePart;
    std::u16string_view separator;
    std::u16string_view timePart;
};

// Date letters are D M Y d y, time letters H S T h m s t. The date part runs
// to the end of its last letter, the time part from its first; what lies
// between them separates them.
DateFormatParts SplitDateFormat(std::u16string_view format);

// Fields for "yyyy", "MM", "dd", "HH", "mm" and "ss" taken from `text` at the
// positions where the patterns first stand in `format`; a pattern that is
// absent, or text that ends before it, leaves the field 0.
SYSTEMTIME ReadDateFields(std::u16string_view format, std::u16string_view text);

} // namespace dravik
