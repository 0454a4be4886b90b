#include "events/message_builder.h"

#include "events/conversion.h"
#include "events/format_parser.h"
#include "platform/strings.h"
#include "trace/client/module_trace.h"

#include <vector>

namespace quessa {

namespace {

// The values of one message, cleared however the call ends. Most messages
// have a handful of inserts, so those live on the stack.
class VariantList {
public:
    explicit VariantList(size_t count) : count_(count) {
        if (count > kInline) {
            heap_.resize(count);
            data_ = heap_.data();
        }
        for (size_t i = 0; i < count_; ++i)
            VariantInit(&data_[i]);
    }
    ~VariantList() {
        for (size_t i = 0; i < count_; ++i)
            VariantClear(&data_[i]);
    }
    VariantList(const VariantList&) = delete;
    VariantList& operator=(const VariantList&) = delete;

    VARIANT& operator[](size_t i) { return data_[i]; }
    const VARIANT* data() const { return data_; }
    size_t size() const { return count_; }

private:
    static constexpr size_t kInline = 8;
    VARIANT inline_[kInline];
    std::vector<VARIANT> heap_;
    VARIANT* data_ = inline_;
    size_t count_;
};

HRESULT StoreString(VARIANT& value, std::u16string_view text) {
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value.bstrVal)
        return E_OUTOFMEMORY;
    value.vt = VT_BSTR;
    return S_OK;
}

// Reads the next C argument as the letter's class says; E_INVALIDARG for a
// letter that takes none.
HRESULT ReadCArg(char16_t letter, va_list* args, VARIANT& value) {
    switch (ClassOfLetter(letter)) {
    case ArgClass::Integer:
        value.vt = VT_I4;
        value.lVal = va_arg(*args, int32_t);
        return S_OK;
    case ArgClass::Character:
        value.vt = VT_I4;
        value.lVal = static_cast<uint16_t>(va_arg(*args, int32_t));
        return S_OK;
    case ArgClass::Count: {
        // The integer pointed to is the value; nothing is ever written back.
        const int32_t* count = va_arg(*args, const int32_t*);
        value.vt = VT_I4;
        value.lVal = count ? *count : 0;
        return S_OK;
    }
    case ArgClass::Floating:
        value.vt = VT_R8;
        value.dblVal = va_arg(*args, double);
        return S_OK;
    case ArgClass::WideString: {
        const char16_t* text = va_arg(*args, const char16_t*);
        return StoreString(value, text ? std::u16string_view(text) : u"(null)");
    }
    case ArgClass::NarrowString: {
        const char* text = va_arg(*args, const char*);
        return StoreString(value, text ? olvani::Utf8ToUtf16(text) : u"(null)");
    }
    case ArgClass::None:
        break;
    }
    return E_INVALIDARG;
}

} // namespace

HRESULT BuildMessage(std::u16string_view format, const VARIANT* values, size_t count,
                     bool positional, std::u16string& out) {
    ScopeTrace scope(7, u"BuildMessage");
    out.clear();
    out.reserve(format.size() + 16 * count);
    size_t done = 0;
    size_t k = 0;
    FormatSpec spec;
    SpecScan scan;
    for (size_t at = 0; FindFormatSpec(format, at, spec, scan); at = spec.end) {
        out.append(format.substr(done, spec.begin - done));
        done = spec.end;
        if (spec.literal) {
            out.push_back(u'%');
            continue;
        }
        size_t number = positional ? static_cast<size_t>(spec.position) : ++k;
        if (number == 0 || number > count)
            return E_INVALIDARG;
        std::u16string_view text = format.substr(spec.percent, spec.end - spec.percent);
        HRESULT hr = RenderConversion(text, values[number - 1], out);
        if (FAILED(hr)) {
            std::u16string copy(format);
            TraceFormat(scope, u"Unable to render argument %d of '%s' (0x%x)",
                        static_cast<int>(number), copy.c_str(), static_cast<unsigned>(hr));
            return hr;
        }
    }
    out.append(format.substr(done));
    return S_OK;
}

HRESULT SubstituteCArgs(std::u16string_view format, va_list args, std::u16string& out) {
    ScopeTrace scope(6, u"SubstituteCArgs");
    FormatTypes types;
    HRESULT hr = GetFmtTypeArray(format, types);
    if (FAILED(hr))
        return hr;
    VariantList values(types.letters.size());
    va_list list;
    va_copy(list, args);
    size_t i = 0;
    for (; i < values.size() && SUCCEEDED(hr); ++i)
        hr = ReadCArg(types.letters[i], &list, values[i]);
    va_end(list);
    if (FAILED(hr)) {
        // Unreachable with today's letters, each of which takes an argument.
        if (ClassOfLetter(types.letters[i - 1]) == ArgClass::None) {
            std::u16string copy(format);
            TraceFormat(scope, u"Invalid char '%c' in format string '%s'", types.letters[i - 1],
                        copy.c_str());
        }
        return hr;
    }
    return BuildMessage(format, values.data(), values.size(), types.positional, out);
}

namespace {

// Elements of a one-dimensional variant array, or -1 when `arguments` is none.
int64_t ElementCount(const VARIANT* arguments, LONG& lower) {
    if (!arguments || arguments->vt != (VT_ARRAY | VT_VARIANT) || !arguments->parray ||
        SafeArrayGetDim(arguments->parray) != 1)
        return -1;
    LONG upper = 0;
    if (FAILED(SafeArrayGetLBound(arguments->parray, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(arguments->parray, 1, &upper)))
        return -1;
    return static_cast<int64_t>(upper) - lower + 1;
}

} // namespace

HRESULT SubstituteVBArgs(std::u16string_view format, const VARIANT* arguments,
                         std::u16string& out) {
    ScopeTrace scope(6, u"SubstituteVBArgs");
    FormatTypes types;
    HRESULT hr = GetFmtTypeArray(format, types);
    if (FAILED(hr))
        return hr;
    size_t needed = types.letters.size();
    LONG lower = 0;
    int64_t available = needed == 0 ? 0 : ElementCount(arguments, lower);
    if (available < static_cast<int64_t>(needed)) {
        std::u16string copy(format);
        TraceFormat(scope, u"Invalid number of args (%d) for '%s'",
                    static_cast<int>(available < 0 ? 0 : available), copy.c_str());
        return E_INVALIDARG;
    }
    VariantList values(needed);
    for (size_t i = 0; i < needed; ++i) {
        LONG index = lower + static_cast<LONG>(i);
        hr = SafeArrayGetElement(arguments->parray, &index, &values[i]);
        if (FAILED(hr)) {
            TraceFormat(scope, u"SafeArrayGetElement returned 0x%x", static_cast<unsigned>(hr));
            return hr;
        }
    }
    return BuildMessage(format, values.data(), values.size(), types.positional, out);
}

} // namespace quessa
