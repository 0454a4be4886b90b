#include "utils/date_format.h"

namespace dravik {
namespace {

bool IsDateLetter(char16_t c) {
    return c == u'D' || c == u'M' || c == u'Y' || c == u'd' || c == u'y';
}

bool IsTimeLetter(char16_t c) {
    return c == u'H' || c == u'S' || c == u'T' || c == u'h' || c == u'm' || c == u's' || c == u't';
}

// First letter of a kind, and the index just after its last one; both the
// length when there is none.
template <class IsLetter>
void LetterSpan(std::u16string_view format, IsLetter isLetter, size_t* first, size_t* end) {
    *first = *end = format.size();
    for (size_t i = 0; i < format.size(); ++i) {
        if (!isLetter(format[i]))
            continue;
        if (*first == format.size())
            *first = i;
        *end = i + 1;
    }
}

WORD ReadNumber(std::u16string_view digits) {
    size_t i = 0;
    while (i < digits.size() && (digits[i] == u' ' || digits[i] == u'\t'))
        ++i;
    unsigned value = 0;
    for (; i < digits.size() && digits[i] >= u'0' && digits[i] <= u'9'; ++i)
        value = value * 10 + static_cast<unsigned>(digits[i] - u'0');
    return static_cast<WORD>(value);
}

} // namespace

DateFormatParts SplitDateFormat(std::u16string_view format) {
    size_t b, c, d, e;
    LetterSpan(format, IsDateLetter, &b, &c);
    LetterSpan(format, IsTimeLetter, &d, &e);
    DateFormatParts parts;
    if (b == d)
        return parts;
    parts.hasLetters = true;
    if (b < d) {
        // A time letter inside the date section leaves no separator.
        const size_t timeStart = d >= c ? d : c;
        parts.datePart = format.substr(0, c);
        parts.separator = format.substr(c, timeStart - c);
        parts.timePart = format.substr(timeStart);
    } else {
        parts.timeFirst = true;
        const size_t dateStart = b >= e ? b : e;
        parts.timePart = format.substr(0, e);
        parts.separator = format.substr(e, dateStart - e);
        parts.datePart = format.substr(dateStart);
    }
    return parts;
}

SYSTEMTIME ReadDateFields(std::u16string_view format, std::u16string_view text) {
    SYSTEMTIME fields{};
    const struct {
        std::u16string_view pattern;
        WORD* field;
    } kPatterns[] = {
        {u"yyyy", &fields.wYear}, {u"MM", &fields.wMonth},  {u"dd", &fields.wDay},
        {u"HH", &fields.wHour},   {u"mm", &fields.wMinute}, {u"ss", &fields.wSecond},
    };
    for (const auto& [pattern, field] : kPatterns) {
        const size_t at = format.find(pattern);
        if (at != std::u16string_view::npos && at < text.size())
            *field = ReadNumber(text.substr(at, pattern.size()));
    }
    return fields;
}

} // namespace dravik
