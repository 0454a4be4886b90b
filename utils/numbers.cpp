// Numbers between the locale form a user reads, the neutral form used for
// storage, and the formatting library's forms. Result codes only: nothing
// here traces or reports.
#include "platform/sornet.h"
#include "platform/strings.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/number_text.h"

#include <cmath>
#include <limits>
#include <new>
#include <string>

namespace {

using olvani::NumberSymbols;

HRESULT Validate(const char16_t* text, LCID locale, bool localeForm) {
    if (!text)
        return E_INVALIDARG;
    const NumberSymbols* symbols =
        localeForm ? olvani::LocaleNumberSymbols(locale) : &dravik::NeutralNumberSymbols();
    if (!symbols)
        return E_INVALIDARG;
    return dravik::ValidateNumberText(text, *symbols, localeForm);
}

HRESULT Hand(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

const std::u16string& PositiveSign(const NumberSymbols& symbols) {
    static const std::u16string kPlus = u"+";
    return symbols.positiveSign.empty() ? kPlus : symbols.positiveSign;
}

// The digits regrouped from the right: the first size, then the second.
std::u16string Regroup(std::u16string_view digits, const NumberSymbols& symbols) {
    std::u16string grouped;
    size_t size = static_cast<size_t>(symbols.firstGroupSize);
    size_t end = digits.size();
    while (end > size) {
        grouped.insert(0, symbols.group + std::u16string(digits.substr(end - size, size)));
        end -= size;
        size = static_cast<size_t>(symbols.secondGroupSize);
    }
    return std::u16string(digits.substr(0, end)) + grouped;
}

std::u16string NeutralFromLocale(std::u16string text, const NumberSymbols& symbols) {
    if (text.compare(0, symbols.negativeSign.size(), symbols.negativeSign) == 0)
        text.replace(0, symbols.negativeSign.size(), u"-");
    if (text.find(symbols.group) != std::u16string::npos) {
        const size_t decimal = text.find(symbols.decimal);
        const std::u16string integerPart = text.substr(0, decimal);
        std::u16string result;
        // Every character of the separator splits; runs count as one.
        for (size_t i = 0; i < integerPart.size();) {
            const size_t end = integerPart.find_first_of(symbols.group, i);
            if (end != i) {
                if (!result.empty())
                    result += u',';
                result += integerPart.substr(i, end - i);
            }
            if (end == std::u16string::npos)
                break;
            i = end + 1;
        }
        if (decimal != std::u16string::npos)
            result += u"." + text.substr(decimal + symbols.decimal.size());
        return result;
    }
    const size_t decimal = text.rfind(symbols.decimal);
    if (decimal != std::u16string::npos)
        text.replace(decimal, symbols.decimal.size(), u".");
    return text;
}

std::u16string LocaleFromNeutral(std::u16string_view text, const NumberSymbols& symbols) {
    const bool negative = !text.empty() && text[0] == u'-';
    const bool positive = !text.empty() && text[0] == u'+';
    std::u16string result = negative   ? symbols.negativeSign
                            : positive ? PositiveSign(symbols)
                                       : std::u16string();
    std::u16string body(text.substr(negative || positive ? 1 : 0));
    const bool grouped = body.find(u',') != std::u16string::npos;
    if (grouped)
        std::erase(body, u',');
    const size_t decimal = grouped ? body.find(u'.') : body.rfind(u'.');
    std::u16string integerPart = body.substr(0, decimal);
    if (grouped) {
        // An exponent stays after the regrouped digits.
        const size_t exponent = integerPart.find_first_of(u"eE");
        const std::u16string tail =
            exponent == std::u16string::npos ? u"" : integerPart.substr(exponent);
        integerPart = Regroup(std::u16string_view(integerPart).substr(0, exponent), symbols) + tail;
    }
    result += integerPart;
    if (decimal != std::u16string::npos)
        result += symbols.decimal + body.substr(decimal + 1);
    return result;
}

// The platform's shortest text of the value, with the locale's negative sign.
HRESULT LocaleText(double value, LCID locale, const NumberSymbols& symbols, std::u16string* text) {
    BSTR converted = nullptr;
    const HRESULT hr = VarBstrFromR8(value, locale, 0, &converted);
    if (FAILED(hr))
        return hr;
    text->assign(converted, SysStringLen(converted));
    SysFreeString(converted);
    if (!text->empty() && (*text)[0] == u'-')
        text->replace(0, 1, symbols.negativeSign);
    return hr;
}

} // namespace

HRESULT ASVeskFormatNumber(const char16_t* format, double value, BSTR* out) {
    DRAVIK_REQUIRE_USABLE();
    if (!out)
        return E_INVALIDARG;
    // The formatting library never sees a NaN or an infinity.
    constexpr double kLargest = std::numeric_limits<double>::max();
    if (std::isnan(value))
        value = 0;
    else if (std::isinf(value))
        value = value < 0 ? -kLargest : kLargest;
    std::u16string text;
    fu_sprintf(text, format ? format : u"", value);
    *out = nullptr;
    return Hand(text, out);
}

HRESULT ASVeskGetExcelFormat(LONG first, double value, LONG second, BSTR* out) {
    DRAVIK_REQUIRE_USABLE();
    if (!out)
        return E_INVALIDARG;
    std::u16string text;
    fu_ToExcel(text, first, value, second, 1);
    *out = nullptr;
    return Hand(text, out);
}

HRESULT ASVeskIsValidNumber(const char16_t* text, LCID locale) {
    DRAVIK_REQUIRE_USABLE();
    try {
        return Validate(text, locale ? locale : GetThreadLocale(), true);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT ASVeskGetNonLocaleNumber(const char16_t* text, BSTR* out, LCID locale) {
    DRAVIK_REQUIRE_USABLE();
    if (!text || !out || *out)
        return E_INVALIDARG;
    try {
        locale = locale ? locale : GetThreadLocale();
        const HRESULT hr = Validate(text, locale, true);
        if (FAILED(hr))
            return hr;
        return Hand(NeutralFromLocale(text, *olvani::LocaleNumberSymbols(locale)), out);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT ASVeskGetNonLocaleNumberEx(double value, BSTR* out, LCID locale) {
    DRAVIK_REQUIRE_USABLE();
    if (!out || *out)
        return E_INVALIDARG;
    try {
        const LCID effective = locale ? locale : GetThreadLocale();
        const NumberSymbols* symbols = olvani::LocaleNumberSymbols(effective);
        if (!symbols)
            return E_INVALIDARG;
        std::u16string text;
        const HRESULT hr = LocaleText(value, effective, *symbols, &text);
        if (FAILED(hr))
            return hr;
        return ASVeskGetNonLocaleNumber(text.c_str(), out, locale);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT ASVeskGetLocalizedNumber(const char16_t* text, BSTR* out, LCID locale) {
    DRAVIK_REQUIRE_USABLE();
    if (!text || !out || *out)
        return E_INVALIDARG;
    try {
        locale = locale ? locale : GetThreadLocale();
        const HRESULT hr = Validate(text, locale, false);
        if (FAILED(hr))
            return hr;
        const NumberSymbols* symbols = olvani::LocaleNumberSymbols(locale);
        if (!symbols)
            return E_INVALIDARG;
        return Hand(LocaleFromNeutral(text, *symbols), out);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT ASVeskGetLocalizedNumberEx(double value, BSTR* out, LCID locale) {
    DRAVIK_REQUIRE_USABLE();
    if (!out || *out)
        return E_INVALIDARG;
    try {
        locale = locale ? locale : GetThreadLocale();
        const NumberSymbols* symbols = olvani::LocaleNumberSymbols(locale);
        if (!symbols)
            return E_INVALIDARG;
        std::u16string text;
        const HRESULT hr = LocaleText(value, locale, *symbols, &text);
        if (FAILED(hr))
            return hr;
        const HRESULT handed = Hand(text, out);
        return FAILED(handed) ? handed : hr;
    } catch (...) {
        return E_FAIL;
    }
}
