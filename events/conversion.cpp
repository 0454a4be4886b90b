#include "events/conversion.h"

#include "events/format_spec.h"
#include "platform/sornet.h"
#include "platform/strings.h"

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

} // namespace

HRESULT RenderConversion(std::u16string_view spec, const VARIANT& value, std::u16string& out) {
    ArgClass kind = spec.empty() ? ArgClass::None : ClassOfLetter(spec.back());
    if (kind == ArgClass::None)
        return E_INVALIDARG;
    TypedValue typed;
    HRESULT hr = typed.Convert(value, TypeOfClass(kind));
    if (FAILED(hr))
        return hr;
    SafeConversion conversion = MakeSafeConversion(spec);
    std::u16string_view safe = conversion.text;
    int written = -1;
    switch (kind) {
    case ArgClass::Integer:
    case ArgClass::Character:
        written = fu_sprintf(out, safe, static_cast<int32_t>((*typed).lVal));
        break;
    case ArgClass::Count: {
        int32_t count = (*typed).lVal;
        written = fu_sprintf(out, safe, &count);
        break;
    }
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
