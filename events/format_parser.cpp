#include "events/format_parser.h"

#include "trace/client/module_trace.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace quessa {

namespace {

// The class of every ASCII character, looked up once per character scanned.
constexpr auto kClasses = [] {
    std::array<ArgClass, 128> classes{};
    for (char c : std::string_view("CXdiopux"))
        classes[static_cast<size_t>(c)] = ArgClass::Integer;
    for (char c : std::string_view("EGQYZefgqyz"))
        classes[static_cast<size_t>(c)] = ArgClass::Floating;
    classes['c'] = ArgClass::Character;
    classes['n'] = ArgClass::Count;
    classes['s'] = ArgClass::WideString;
    classes['S'] = ArgClass::NarrowString;
    return classes;
}();

} // namespace

ArgClass ClassOfLetter(char16_t letter) {
    return letter < kClasses.size() ? kClasses[letter] : ArgClass::None;
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
    // Letters in order of appearance, and the position of each.
    std::u16string& letters = types.letters;
    std::basic_string<char> positions;
    letters.clear();
    types.positional = false;
    int highest = 0;
    bool someWithout = false;
    FormatSpec spec;
    SpecScan scan;
    for (size_t at = 0; FindFormatSpec(format, at, spec, scan); at = spec.end) {
        if (spec.literal)
            continue;
        letters.push_back(spec.letter);
        positions.push_back(static_cast<char>(spec.position));
        highest = std::max(highest, spec.position);
        someWithout = someWithout || spec.position == 0;
    }
    if (highest > 0 && someWithout) {
        TraceInvalid(scope, format, u"Invalid format string '%s' (mixed use of positions)");
        return E_INVALIDARG;
    }
    if (letters.size() < static_cast<size_t>(highest)) {
        TraceInvalid(scope, format, u"Invalid format string '%s' (nonconsecutive positions)");
        return E_INVALIDARG;
    }
    if (highest > 0) {
        std::u16string byPosition(letters.size(), u'\0');
        for (size_t i = 0; i < letters.size(); ++i)
            byPosition[static_cast<size_t>(positions[i]) - 1] = letters[i];
        // A repeated position leaves another one empty.
        if (byPosition.find(u'\0') != std::u16string::npos) {
            TraceInvalid(scope, format, u"Invalid format string '%s' (nonconsecutive positions)");
            return E_INVALIDARG;
        }
        letters = byPosition;
    }
    types.positional = highest > 0;
    return S_OK;
}

} // namespace quessa
