// The error reporting exports: the message is built from a resource (or
// given), then logged as an event that stays as the thread's error
// information (the event step's result is not passed on); and the two
// exports that read that error information.
#include "events/error_message.h"
#include "events/event_log.h"
#include "events/quessa.h"
#include "platform/eventlog.h"
#include "trace/client/module_trace.h"

#include <string>

using quessa::ComputeErrorMsg;
using quessa::MessageSource;
using quessa::ResourceMessage;

namespace {

void Report(const std::u16string& text, const OLECHAR* progId) {
    quessa::EventRecord record;
    record.f1 = 1;
    record.f4 = 1;
    record.message = text.c_str();
    record.progId = progId;
    quessa::LogEventHelper(record);
}

HRESULT MessageWithExtra(const ScopeTrace& scope, const MessageSource& source, UINT resId,
                         const OLECHAR* extra, DWORD lastError, std::u16string& text) {
    HRESULT hr = ComputeErrorMsg(source, resId, extra, lastError, text);
    if (FAILED(hr))
        TraceFormat(scope, u"Unable to load error msg");
    return hr;
}

// The resource message of the class's module with the arguments, reported.
HRESULT ReportForClass(const ScopeTrace& scope, const GUID& clsid, UINT resId, DWORD lastError,
                       va_list* args) {
    std::u16string progId;
    std::u16string text;
    HRESULT hr = quessa::GetProgId(clsid, progId);
    if (SUCCEEDED(hr))
        hr = ResourceMessage(scope, {nullptr, progId.c_str()}, resId, lastError, args, text);
    if (SUCCEEDED(hr))
        Report(text, progId.c_str());
    return hr;
}

} // namespace

LONG ASVeskReportError(const GUID& clsid, UINT resId, const GUID&, LONG hr, const OLECHAR* extra,
                       DWORD lastError) {
    ScopeTrace scope(5, u"ASVeskReportError");
    std::u16string progId;
    std::u16string text;
    HRESULT step = quessa::GetProgId(clsid, progId);
    if (SUCCEEDED(step))
        step = MessageWithExtra(scope, {nullptr, progId.c_str()}, resId, extra, lastError, text);
    if (FAILED(step))
        return step;
    Report(text, progId.c_str());
    return hr;
}

LONG ASVeskReportError(const GUID& clsid, const OLECHAR* message, const GUID&, LONG hr) {
    ScopeTrace scope(5, u"ASVeskReportError");
    std::u16string progId;
    HRESULT step = quessa::GetProgId(clsid, progId);
    if (FAILED(step))
        return step;
    Report(message ? message : u"", progId.c_str());
    return hr;
}

LONG ASVeskReportError(const GUID& clsid, UINT resId, DWORD, const OLECHAR*, const GUID&, LONG hr,
                       DWORD lastError, ...) {
    ScopeTrace scope(5, u"ASVeskReportError");
    TraceFormat(scope, u"HRESULT=0x%x", static_cast<unsigned>(hr));
    va_list args;
    va_start(args, lastError);
    HRESULT step = ReportForClass(scope, clsid, resId, lastError, &args);
    va_end(args);
    return FAILED(step) ? step : hr;
}

LONG ASVeskReportError2(HMODULE module, UINT resId, const OLECHAR* extra, DWORD lastError) {
    ScopeTrace scope(5, u"ASVeskReportError2");
    std::u16string text;
    HRESULT hr = MessageWithExtra(scope, {module, nullptr}, resId, extra, lastError, text);
    if (FAILED(hr))
        return hr;
    Report(text, nullptr);
    return S_OK;
}

LONG ASVeskReportError3(const GUID& clsid, DWORD, const OLECHAR*, UINT resId, ...) {
    ScopeTrace scope(5, u"ASVeskReportError3");
    va_list args;
    va_start(args, resId);
    HRESULT hr = ReportForClass(scope, clsid, resId, 0, &args);
    va_end(args);
    return FAILED(hr) ? hr : S_OK;
}

LONG ASVeskReportError4(HMODULE module, DWORD, const OLECHAR*, UINT resId, ...) {
    ScopeTrace scope(5, u"ASVeskReportError4");
    std::u16string text;
    va_list args;
    va_start(args, resId);
    HRESULT hr = ResourceMessage(scope, {module, nullptr}, resId, 0, &args, text);
    va_end(args);
    if (FAILED(hr))
        return hr;
    Report(text, nullptr);
    return S_OK;
}

LONG ASVeskEventExists() {
    ScopeTrace scope(5, u"ASVeskEventExists");
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info)
        return 0;
    ComPtr<IVeskEvents2> events;
    bool exists = SUCCEEDED(info->QueryInterface(IID_IVeskEvents2, events.PutVoid())) && events;
    SetErrorInfo(0, info.Get());
    return exists ? 1 : 0;
}

LONG ASGetErrorMsg(BSTR* out) {
    ScopeTrace scope(5, u"ASGetErrorMsg");
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info)
        return S_FALSE;
    HRESULT hr = info->GetDescription(out);
    SetErrorInfo(0, info.Get());
    return hr;
}
