#include "events/conversion.h"

#include "events/format_parser.h"
#include "platform/sornet.h"
#include "platform/strings.h"

#include <charconv>
#include <cstdint>

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
    out.text[length++] = letter;
    return out;
}

namespace {

// A value converted for one conversion, freed however the call ends.
class TypedValue {
public:
    TypedValue() { VariantInit(&converted_); }
    ~TypedValue() { VariantClear(&converted_); }
    TypedValue(const TypedValue&) = delete;
    TypedValue& operator=(const TypedValue&) = delete;

    HRESULT Convert(const VARIANT& value, VARTYPE type) {
        if (value.vt == type) {
            typed_ = &value;
            return S_OK;
        }
        HRESULT hr = VariantChangeType(&converted_, &value, 0, type);
        typed_ = &converted_;
        return hr;
    }
    const VARIANT& operator*() const { return *typed_; }

private:
    VARIANT converted_;
    const VARIANT* typed_ = &converted_;
};

VARTYPE TypeOfClass(ArgClass kind) {
    switch (kind) {
    case ArgClass::Floating:
        return VT_R8;
    case ArgClass::WideString:
    case ArgClass::NarrowString:
        return VT_BSTR;
    default:
        return VT_I4;
    }
}

// The plain "%s", "%d", "%i", "%u", "%x" and "%X" (nothing between '%' and
// the letter) need no formatter: they are the text or the number's digits.
// Most message inserts are these, so they skip the C library's set-up.
bool RenderPlain(std::u16string_view spec, const VARIANT& value, std::u16string& out) {
    if (spec.size() != 2)
        return false;
    char16_t letter = spec[1];
    if (letter == u's' && value.vt == VT_BSTR) {
        out.append(value.bstrVal ? value.bstrVal : u""); // up to a NUL, as printf
        return true;
    }
    if (value.vt != VT_I4)
        return false;
    int base = letter == u'x' || letter == u'X' ? 16 : 10;
    if (base == 10 && letter != u'd' && letter != u'i' && letter != u'u')
        return false;
    char digits[16];
    auto number = static_cast<int64_t>(value.lVal);
    if (letter != u'd' && letter != u'i')
        number = static_cast<uint32_t>(value.lVal);
    char* end = std::to_chars(digits, digits + sizeof digits, number, base).ptr;
    for (char* at = digits; at < end; ++at)
        out.push_back(static_cast<char16_t>(letter == u'X' && *at >= 'a' ? *at - 'a' + 'A' : *at));
    return true;
}

} // namespace

HRESULT RenderConversion(std::u16string_view spec, const VARIANT& value, std::u16string& out) {
    ArgClass kind = spec.empty() ? ArgClass::None : ClassOfLetter(spec.back());
    if (kind == ArgClass::None)
        return E_INVALIDARG;
    TypedValue typed;
    HRESULT hr = typed.Convert(value, TypeOfClass(kind));
    if (FAILED(hr))
        return hr;
    if (RenderPlain(spec, *typed, out))
        return S_OK;
    SafeConversion conversion = MakeSafeConversion(spec);
    std::u16string_view safe = conversion.text;
    int written = -1;
    switch (kind) {
    case ArgClass::Integer:
    case ArgClass::Character:
        written = fu_sprintf(out, safe, static_cast<int32_t>((*typed).lVal));
        break;
    case ArgClass::Count:
        // Takes its integer and renders nothing: a "%n" never reaches a
        // formatter that could write through a pointer.
        return S_OK;
    case ArgClass::Floating:
        written = fu_sprintf(out, safe, (*typed).dblVal);
        break;
    case ArgClass::WideString:
        written = fu_sprintf(out, safe, (*typed).bstrVal ? (*typed).bstrVal : u"");
        break;
    case ArgClass::NarrowString: {
        BSTR text = (*typed).bstrVal;
        std::string narrow = olvani::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
        written = fu_sprintf(out, safe, narrow.c_str());
        break;
    }
    case ArgClass::None:
        break;
    }
    return written < 0 ? E_INVALIDARG : S_OK;
}

} // namespace quessa
