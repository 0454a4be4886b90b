// The message formatting exports.
#include "events/error_message.h"
#include "events/message_builder.h"
#include "events/quessa.h"
#include "trace/client/module_trace.h"

#include <algorithm>
#include <string>

using quessa::LoadMessageString;

namespace {

// The thread's working text: messages are built here and copied out, so a
// busy caller does not allocate a new one for every message.
std::u16string& WorkingText() {
    thread_local std::u16string text;
    constexpr size_t kKeptCapacity = 4096;
    if (text.capacity() > kKeptCapacity)
        std::u16string().swap(text);
    return text;
}

HRESULT CopyOut(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

LONG ASFormatString1(HMODULE module, BSTR* out, UINT id, ...) {
    ScopeTrace scope(5, u"ASFormatString1");
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    std::u16string format;
    HRESULT hr = LoadMessageString(scope, module, id, format);
    if (FAILED(hr))
        return hr;
    std::u16string& text = WorkingText();
    va_list args;
    va_start(args, id);
    hr = quessa::SubstituteCArgs(format, args, text);
    va_end(args);
    if (FAILED(hr)) {
        TraceFormat(scope, u"Unable to compute error msg");
        return hr;
    }
    return CopyOut(text, out);
}

LONG ASFormatString2(HMODULE module, UINT id, VARIANT* args, LONG size, OLECHAR* buffer) {
    ScopeTrace scope(5, u"ASFormatString2");
    if (size <= 0 || !buffer)
        return E_INVALIDARG;
    buffer[0] = u'\0';
    std::u16string format;
    HRESULT hr = LoadMessageString(scope, module, id, format);
    if (FAILED(hr))
        return hr;
    std::u16string& text = WorkingText();
    hr = quessa::SubstituteVBArgs(format, args, text);
    if (FAILED(hr)) {
        TraceFormat(scope, u"Unable to compute error msg");
        return hr;
    }
    size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
    text.copy(buffer, length);
    buffer[length] = u'\0';
    return static_cast<LONG>(length);
}

LONG ASFormatString3(BSTR* out, const OLECHAR* format, ...) {
    ScopeTrace scope(5, u"ASFormatString3");
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!format)
        return S_OK;
    std::u16string& text = WorkingText();
    va_list args;
    va_start(args, format);
    HRESULT hr = quessa::SubstituteCArgs(format, args, text);
    va_end(args);
    if (FAILED(hr)) {
        TraceFormat(scope, u"Unable to compute error msg");
        return hr;
    }
    return CopyOut(text, out);
}

LONG ASFormatString4(const OLECHAR* format, VARIANT* args, BSTR* out) {
    ScopeTrace scope(5, u"ASFormatString4");
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!format)
        return S_OK;
    std::u16string& text = WorkingText();
    HRESULT hr = quessa::SubstituteVBArgs(format, args, text);
    if (FAILED(hr)) {
        TraceFormat(scope, u"Unable to compute error msg");
        return hr;
    }
    return CopyOut(text, out);
}
