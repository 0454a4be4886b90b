#include "utils/number_text.h"

#include "platform/strings.h"
#include "utils/dravik.h"

#include <vector>

namespace dravik {
namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsExponentLetter(char16_t c) {
    return c == u'e' || c == u'E';
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix, size_t at = 0) {
    return !prefix.empty() && text.substr(at, prefix.size()) == prefix;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.empty() || text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (olvani::AsciiLower(text[i]) != olvani::AsciiLower(prefix[i]))
            return false;
    return true;
}

// What follows the digits and separators: nothing, or an exponent letter,
// an optional sign and at least one digit.
bool ValidExponent(std::u16string_view rest) {
    if (rest.empty())
        return true;
    if (!IsExponentLetter(rest[0]))
        return false;
    size_t i = 1;
    if (i < rest.size() && (rest[i] == u'+' || rest[i] == u'-'))
        ++i;
    if (i == rest.size())
        return false;
    for (; i < rest.size(); ++i)
        if (!IsDigit(rest[i]))
            return false;
    return true;
}

// Groups of the integer part from right to left: the rightmost of the first
// size (digits before an exponent letter), every other of at most the
// second size, and only the leftmost shorter.
bool ValidGroups(std::u16string_view integerPart, const olvani::NumberSymbols& symbols) {
    std::vector<std::u16string_view> groups;
    size_t start = 0;
    for (size_t at; (at = integerPart.find(symbols.group, start)) != std::u16string_view::npos;
         start = at + symbols.group.size())
        groups.push_back(integerPart.substr(start, at - start));
    groups.push_back(integerPart.substr(start));
    const std::u16string_view last = groups.back();
    const size_t firstSize = static_cast<size_t>(symbols.firstGroupSize);
    if (last.size() != firstSize) {
        size_t letter = 0;
        while (letter < last.size() && !IsExponentLetter(last[letter]))
            ++letter;
        if (letter == last.size() || letter != firstSize)
            return false;
    }
    const size_t secondSize = static_cast<size_t>(symbols.secondGroupSize);
    for (size_t i = groups.size() - 1; i-- > 0;) {
        if (groups[i].size() > secondSize || (groups[i].size() < secondSize && i != 0))
            return false;
    }
    return true;
}

} // namespace

const olvani::NumberSymbols& NeutralNumberSymbols() {
    static const olvani::NumberSymbols kNeutral{u".", u",", u"", u"-", 3, 2};
    return kNeutral;
}

HRESULT ValidateNumberText(std::u16string_view text, const olvani::NumberSymbols& symbols,
                           bool localeForm) {
    if (text.empty())
        return E_INVALIDARG;
    std::u16string_view body = text;
    if (StartsWithIgnoringCase(body, symbols.negativeSign))
        body.remove_prefix(symbols.negativeSign.size());
    else if (StartsWith(body, u"+"))
        body.remove_prefix(1);
    else if (StartsWith(body, symbols.positiveSign))
        body.remove_prefix(symbols.positiveSign.size());

    size_t span = 0, decimals = 0, groups = 0;
    size_t firstDecimal = std::u16string_view::npos;
    size_t lastGroup = std::u16string_view::npos;
    bool doubledGroup = false;
    while (span < body.size()) {
        if (IsDigit(body[span])) {
            ++span;
        } else if (StartsWith(body, symbols.decimal, span)) {
            if (decimals++ == 0)
                firstDecimal = span;
            span += symbols.decimal.size();
        } else if (StartsWith(body, symbols.group, span)) {
            doubledGroup |=
                lastGroup != std::u16string_view::npos && lastGroup + symbols.group.size() == span;
            lastGroup = span;
            ++groups;
            span += symbols.group.size();
        } else {
            break;
        }
    }
    if (!ValidExponent(body.substr(span)) || decimals > 1)
        return DRAVIK_E_INVALID_NUMBER;
    if (groups == 0)
        return S_OK;
    if (firstDecimal != std::u16string_view::npos && lastGroup > firstDecimal)
        return DRAVIK_E_INVALID_NUMBER;
    const std::u16string_view integerPart = body.substr(0, firstDecimal);
    if (doubledGroup || StartsWith(integerPart, symbols.group) ||
        (integerPart.size() >= symbols.group.size() &&
         integerPart.substr(integerPart.size() - symbols.group.size()) == symbols.group))
        return DRAVIK_E_INVALID_NUMBER;
    if (localeForm && !ValidGroups(integerPart, symbols))
        return DRAVIK_E_INVALID_NUMBER;
    return S_OK;
}

} // namespace dravik
