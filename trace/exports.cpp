// The process-wide trace object and the C exports over it.
#include "platform/debugout.h"
#include "trace/ctrace.h"
#include "trace/morvale.h"
#include "trace/trace_watch.h"

namespace {

// Constructed at load in this order and destroyed in the reverse one, so the
// watch thread is stopped before the trace object goes away.
morvale::CTrace theTrace;
morvale::TraceWatchData theWatch(theTrace);

// Tracing never changes what the caller does: an exception (out of memory)
// ends the call with false instead of reaching the caller.
template <typename Call> bool Guarded(Call call) noexcept {
    try {
        return call();
    } catch (...) {
        OutputDebugStringW(u"TRACE : Exception in a trace call\n");
        return false;
    }
}

} // namespace

int32_t nCtrace = 0;

int fnCtrace() {
    return 42;
}

bool CTrace_CreateModuleId(LONG* moduleId) {
    return Guarded([&] { return theTrace.CreateModuleId(moduleId); });
}

bool CTrace_SetNameOfModule(LONG moduleId, const char16_t* name) {
    return Guarded([&] { return theTrace.SetNameOfModule(moduleId, name); });
}

bool CTrace_GetNameOfModule(LONG moduleId, BSTR* name) {
    return Guarded([&] {
        if (!name)
            return false;
        std::optional<std::u16string> text = theTrace.NameOfModule(moduleId);
        if (!text)
            return false;
        BSTR copy = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
        if (!copy)
            return false;
        *name = copy;
        return true;
    });
}

bool CTrace_Entry(LONG moduleId, LONG level, const char16_t* text) {
    return Guarded([&] { return theTrace.Entry(moduleId, level, text); });
}

bool CTrace_Exit(LONG moduleId, LONG level, const char16_t* text) {
    return Guarded([&] { return theTrace.Exit(moduleId, level, text); });
}

bool CTrace_TracePrint(LONG moduleId, LONG level, const char16_t* scopeName, const char16_t* text) {
    return Guarded([&] { return theTrace.TracePrint(moduleId, level, scopeName, text); });
}

bool CTrace_GetTraceFlag(LONG* flag) {
    return Guarded([&] { return theTrace.GetTraceFlag(flag); });
}

bool CTrace_GetIndent(LONG* indent) {
    return Guarded([&] { return theTrace.GetIndent(indent); });
}

bool CTrace_IsTraceOn() {
    return Guarded([&] { return theTrace.IsTraceOn(); });
}
