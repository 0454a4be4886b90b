// The event exports: each fills an event record with the fields it takes and
// hands it to LogEventHelper.
#include "events/event_log.h"
#include "events/quessa.h"
#include "trace/client/module_trace.h"

using quessa::EventRecord;
using quessa::LogEventHelper;

namespace {

// The audit events carry this in field 1.
constexpr LONG kAuditEvent = 128;

EventRecord Fields(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                   const OLECHAR* f5, const OLECHAR* f6) {
    EventRecord record;
    record.logbook = logbook;
    record.f1 = f1;
    record.f2 = f2;
    record.f3 = f3;
    record.f4 = f4;
    record.f5 = f5;
    record.f6 = f6;
    return record;
}

EventRecord FromModule(EventRecord record, HMODULE module, UINT resId) {
    record.module = module;
    record.resId = resId;
    return record;
}

EventRecord FromProgId(EventRecord record, const OLECHAR* progId, UINT resId) {
    record.progId = progId;
    record.resId = resId;
    return record;
}

EventRecord WithText(EventRecord record, BSTR message) {
    record.message = message;
    return record;
}

EventRecord Full(EventRecord record, const OLECHAR* f7, LONG f8, LONG f9, LONG f10) {
    record.f7 = f7;
    record.f8 = f8;
    record.f9 = f9;
    record.f10 = f10;
    return record;
}

} // namespace

// The forms with C arguments point the record at their argument list.
#define LOG_WITH_ARGS(record, last)                                                                \
    do {                                                                                           \
        va_list args;                                                                              \
        va_start(args, last);                                                                      \
        EventRecord withArgs = (record);                                                           \
        withArgs.args = &args;                                                                     \
        LONG result = LogEventHelper(withArgs);                                                    \
        va_end(args);                                                                              \
        return result;                                                                             \
    } while (false)

LONG ASLogEvent1(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                 const OLECHAR* f5, const OLECHAR* f6, HMODULE module, UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogEvent1");
    LOG_WITH_ARGS(FromModule(Fields(logbook, f1, f2, f3, f4, f5, f6), module, resId), resId);
}

LONG ASLogEvent2(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                 const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* progId, UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogEvent2");
    LOG_WITH_ARGS(FromProgId(Fields(logbook, f1, f2, f3, f4, f5, f6), progId, resId), resId);
}

LONG ASLogEvent3(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                 const OLECHAR* f5, const OLECHAR* f6, BSTR message) {
    ScopeTrace scope(5, u"ASLogEvent3");
    return LogEventHelper(WithText(Fields(logbook, f1, f2, f3, f4, f5, f6), message));
}

LONG ASLogEvent4(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                 const OLECHAR* f5, const OLECHAR* f6, HMODULE module, UINT resId, va_list* args) {
    ScopeTrace scope(5, u"ASLogEvent4");
    EventRecord record = FromModule(Fields(logbook, f1, f2, f3, f4, f5, f6), module, resId);
    record.args = args;
    return LogEventHelper(record);
}

LONG ASLogAuditEvent1(IUnknown* logbook, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                      const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f10,
                      HMODULE module, UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogAuditEvent1");
    EventRecord record = Full(Fields(logbook, kAuditEvent, f2, f3, f4, f5, f6), f7, 0, 0, f10);
    LOG_WITH_ARGS(FromModule(record, module, resId), resId);
}

LONG ASLogAuditEvent2(IUnknown* logbook, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                      const OLECHAR* f5, const OLECHAR* f6, int16_t f10, const OLECHAR* f7,
                      const OLECHAR* progId, UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogAuditEvent2");
    EventRecord record = Full(Fields(logbook, kAuditEvent, f2, f3, f4, f5, f6), f7, 0, 0, f10);
    LOG_WITH_ARGS(FromProgId(record, progId, resId), resId);
}

LONG ASLogAuditEvent3(IUnknown* logbook, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                      const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f10,
                      BSTR message) {
    ScopeTrace scope(5, u"ASLogAuditEvent3");
    EventRecord record = Full(Fields(logbook, kAuditEvent, f2, f3, f4, f5, f6), f7, 0, 0, f10);
    return LogEventHelper(WithText(record, message));
}

LONG ASLogErrorEvent1(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                      const OLECHAR* f5, const OLECHAR* f6, LONG f8, LONG f9, HMODULE module,
                      UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogErrorEvent1");
    EventRecord record = Full(Fields(logbook, f1, f2, f3, f4, f5, f6), nullptr, f8, f9, 0);
    LOG_WITH_ARGS(FromModule(record, module, resId), resId);
}

LONG ASLogErrorEvent2(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                      const OLECHAR* f5, const OLECHAR* f6, LONG f8, LONG f9, const OLECHAR* progId,
                      UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogErrorEvent2");
    EventRecord record = Full(Fields(logbook, f1, f2, f3, f4, f5, f6), nullptr, f8, f9, 0);
    LOG_WITH_ARGS(FromProgId(record, progId, resId), resId);
}

LONG ASLogErrorEvent3(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                      const OLECHAR* f5, const OLECHAR* f6, LONG f8, LONG f9, BSTR message) {
    ScopeTrace scope(5, u"ASLogErrorEvent3");
    EventRecord record = Full(Fields(logbook, f1, f2, f3, f4, f5, f6), nullptr, f8, f9, 0);
    return LogEventHelper(WithText(record, message));
}

LONG ASLogFullEvent1(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                     const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f8, LONG f9,
                     LONG f10, HMODULE module, UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogFullEvent1");
    EventRecord record = Full(Fields(logbook, f1, f2, f3, f4, f5, f6), f7, f8, f9, f10);
    LOG_WITH_ARGS(FromModule(record, module, resId), resId);
}

LONG ASLogFullEvent2(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                     const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f8, LONG f9,
                     LONG f10, const OLECHAR* progId, UINT resId, ...) {
    ScopeTrace scope(5, u"ASLogFullEvent2");
    EventRecord record = Full(Fields(logbook, f1, f2, f3, f4, f5, f6), f7, f8, f9, f10);
    LOG_WITH_ARGS(FromProgId(record, progId, resId), resId);
}

LONG ASLogFullEvent3(IUnknown* logbook, LONG f1, const OLECHAR* f2, const OLECHAR* f3, LONG f4,
                     const OLECHAR* f5, const OLECHAR* f6, const OLECHAR* f7, LONG f8, LONG f9,
                     LONG f10, BSTR message) {
    ScopeTrace scope(5, u"ASLogFullEvent3");
    EventRecord record = Full(Fields(logbook, f1, f2, f3, f4, f5, f6), f7, f8, f9, f10);
    return LogEventHelper(WithText(record, message));
}
