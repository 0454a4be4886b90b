#include "events/conversion.h"

#include "events/format_spec.h"

namespace quessa {

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Reads a run of digits at `at`, capped at kMaxFieldWidth; -1 when none.
int ReadNumber(std::u16string_view body, size_t& at) {
    if (at >= body.size() || !IsDigit(body[at]))
        return -1;
    int value = 0;
    for (; at < body.size() && IsDigit(body[at]); ++at) {
        value = value * 10 + (body[at] - u'0');
        if (value > kMaxFieldWidth)
            value = kMaxFieldWidth;
    }
    return value;
}

void AppendNumber(SafeConversion& out, size_t& length, int value) {
    char16_t digits[8];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0)
        out.text[length++] = digits[--count];
}

} // namespace

SafeConversion MakeSafeConversion(std::u16string_view spec) {
    SafeConversion out{};
    size_t length = 0;
    out.text[length++] = u'%';
    if (spec.size() < 2) {
        out.text[length++] = u's';
        return out;
    }
    char16_t letter = spec.back();
    std::u16string_view body = spec.substr(1, spec.size() - 2);
    size_t at = 0;
    constexpr std::u16string_view kFlags = u"-+ #0";
    bool seen[kFlags.size()] = {};
    for (; at < body.size(); ++at) {
        size_t flag = kFlags.find(body[at]);
        if (flag == std::u16string_view::npos)
            break;
        if (!seen[flag])
            out.text[length++] = body[at];
        seen[flag] = true;
    }
    int width = ReadNumber(body, at);
    if (width >= 0)
        AppendNumber(out, length, width);
    if (at < body.size() && body[at] == u'.') {
        ++at;
        int precision = ReadNumber(body, at);
        out.text[length++] = u'.';
        AppendNumber(out, length, precision < 0 ? 0 : precision);
    }
    if (ClassOfLetter(letter) == ArgClass::Integer && at < body.size() && body[at] == u'h') {
        out.text[length++] = u'h';
        if (at + 1 < body.size() && body[at + 1] == u'h')
            out.text[length++] = u'h';
    }
    out.text[length++] = letter;
    return out;
}

} // namespace quessa
