#include "events/format_spec.h"

#include "trace/client/module_trace.h"

#include <string>

namespace quessa {

ArgClass ClassOfLetter(char16_t letter) {
    switch (letter) {
    case u'C':
    case u'X':
    case u'd':
    case u'i':
    case u'o':
    case u'p':
    case u'u':
    case u'x':
        return ArgClass::Integer;
    case u'c':
        return ArgClass::Character;
    case u'n':
        return ArgClass::Count;
    case u'E':
    case u'G':
    case u'Q':
    case u'Y':
    case u'Z':
    case u'e':
    case u'f':
    case u'g':
    case u'q':
    case u'y':
    case u'z':
        return ArgClass::Floating;
    case u's':
        return ArgClass::WideString;
    case u'S':
        return ArgClass::NarrowString;
    default:
        return ArgClass::None;
    }
}

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// The first conversion letter at or after `from`, or npos.
size_t NextLetter(std::u16string_view text, size_t from, SpecScan& scan) {
    if (scan.letterFrom <= from && from <= scan.letterAt)
        return scan.letterAt;
    size_t at = from;
    while (at < text.size() && ClassOfLetter(text[at]) == ArgClass::None)
        ++at;
    scan.letterFrom = from;
    scan.letterAt = at < text.size() ? at : std::u16string_view::npos;
    return scan.letterAt;
}

// The "#N" or "#NN" just before the '%' at `percent`, counting only the
// characters from `from` on: its value (0 when there is none) and its length.
int PositionBefore(std::u16string_view text, size_t from, size_t percent, size_t& length) {
    size_t before = percent - from;
    length = 0;
    if (before >= 3 && text[percent - 3] == u'#') {
        if (!IsDigit(text[percent - 2]) || !IsDigit(text[percent - 1]))
            return 0;
        length = 3;
        return (text[percent - 2] - u'0') * 10 + (text[percent - 1] - u'0');
    }
    if (before >= 2 && text[percent - 2] == u'#' && IsDigit(text[percent - 1])) {
        length = 2;
        return text[percent - 1] - u'0';
    }
    return 0;
}

} // namespace

bool FindFormatSpec(std::u16string_view text, size_t from, FormatSpec& spec, SpecScan& scan) {
    for (size_t at = from; at < text.size();) {
        size_t percent = text.find(u'%', at);
        if (percent == std::u16string_view::npos)
            return false;
        spec = FormatSpec{};
        spec.percent = percent;
        spec.begin = percent;
        char16_t next = percent + 1 < text.size() ? text[percent + 1] : u'\0';
        if (next == u'%' || next == u' ' || next == u'\0') {
            spec.literal = true;
            spec.end = percent + (next == u'%' ? 2 : 1);
            return true;
        }
        size_t letter = NextLetter(text, percent + 1, scan);
        if (letter == std::u16string_view::npos)
            return false;
        if (letter - percent > kMaxSpecGap) {
            at = percent + 1;
            continue;
        }
        spec.letter = text[letter];
        spec.end = letter + 1;
        size_t prefix = 0;
        spec.position = PositionBefore(text, from, percent, prefix);
        if (spec.position > 0)
            spec.begin = percent - prefix;
        return true;
    }
    return false;
}

namespace {

void TraceInvalid(const ScopeTrace& scope, std::u16string_view format, const char16_t* what) {
    std::u16string text(format);
    TraceFormat(scope, what, text.c_str());
}

} // namespace

HRESULT GetFmtTypeArray(std::u16string_view format, FormatTypes& types) {
    ScopeTrace scope(7, u"GetFmtTypeArray");
    types.letters.clear();
    types.positional = false;
    size_t count = 0;
    int highest = 0;
    bool someWithout = false;
    FormatSpec spec;
    SpecScan scan;
    for (size_t at = 0; FindFormatSpec(format, at, spec, scan); at = spec.end) {
        if (spec.literal)
            continue;
        ++count;
        if (spec.position > highest)
            highest = spec.position;
        someWithout = someWithout || spec.position == 0;
    }
    if (highest > 0 && someWithout) {
        TraceInvalid(scope, format, u"Invalid format string '%s' (mixed use of positions)");
        return E_INVALIDARG;
    }
    if (count < static_cast<size_t>(highest)) {
        TraceInvalid(scope, format, u"Invalid format string '%s' (nonconsecutive positions)");
        return E_INVALIDARG;
    }
    types.letters.assign(count, u'\0');
    size_t next = 0;
    scan = SpecScan{};
    for (size_t at = 0; FindFormatSpec(format, at, spec, scan); at = spec.end) {
        if (!spec.literal)
            types.letters[highest > 0 ? spec.position - 1 : next++] = spec.letter;
    }
    for (char16_t letter : types.letters) {
        if (letter == u'\0') {
            TraceInvalid(scope, format, u"Invalid format string '%s' (nonconsecutive positions)");
            return E_INVALIDARG;
        }
    }
    types.positional = highest > 0;
    return S_OK;
}

} // namespace quessa
