#include "events/event_log.h"

#include "events/error_message.h"
#include "platform/eventlog.h"
#include "trace/client/module_trace.h"

#include <string>

namespace quessa {

namespace {

// The thread's event object if its error information is one, else a new
// event object. Taking the error information clears it from the thread.
HRESULT GetVeskEvents(ComPtr<IVeskEvents>& events) {
    ScopeTrace scope(6, u"GetVeskEvents");
    ComPtr<IErrorInfo> current;
    if (GetErrorInfo(0, current.Put()) == S_OK && current &&
        SUCCEEDED(current->QueryInterface(IID_IVeskEvents, events.PutVoid())) && events)
        return S_OK;
    return CoCreateInstance(CLSID_VeskEvents, nullptr, CLSCTX_INPROC_SERVER, IID_IVeskEvents,
                            events.PutVoid());
}

const OLECHAR* OrEmpty(const OLECHAR* text) {
    return text ? text : u"";
}

} // namespace

HRESULT LogEventHelper(const EventRecord& record) {
    ScopeTrace scope(6, u"LogEventHelper");
    bool hasMessage = record.message && *record.message;
    if (!hasMessage && record.resId == 0)
        return E_INVALIDARG;
    std::u16string text;
    if (record.message) {
        text = record.message;
    } else {
        MessageSource source{record.module, record.progId};
        HRESULT hr = ResourceMessage(scope, source, record.resId, 0, record.args, text);
        if (FAILED(hr))
            return hr;
    }
    {
        ScopeTrace debugOutput(7, u"DEBUG_OUTPUT");
        TraceFormat(debugOutput, u"%s", text.c_str());
    }
    ComPtr<IVeskEvents> events;
    bool created = false;
    if (record.logbook)
        record.logbook->QueryInterface(IID_IVeskEvents, events.PutVoid());
    if (!events) {
        HRESULT hr = GetVeskEvents(events);
        if (FAILED(hr) || !events) {
            TraceFormat(scope, u"Invalid Logbook, cannot create VeskEvents");
            return FAILED(hr) ? hr : E_UNEXPECTED;
        }
        created = true;
    }
    HRESULT result =
        events->LogEvent(text.c_str(), record.f1, OrEmpty(record.f2), OrEmpty(record.f3), record.f4,
                         OrEmpty(record.f5), OrEmpty(record.f6), OrEmpty(record.f7), record.f8,
                         record.f9, record.f10);
    if (created) {
        ComPtr<IErrorInfo> info;
        if (FAILED(events->QueryInterface(IID_IErrorInfo, info.PutVoid())) || !info) {
            TraceFormat(scope, u"Failed to get IErrorInfo");
            return E_UNEXPECTED;
        }
        SetErrorInfo(0, info.Get());
    }
    return result;
}

} // namespace quessa
