// The process-wide trace object and the C exports over it.
#include "trace/ctrace.h"
#include "trace/morvale.h"
#include "trace/trace_watch.h"

namespace {

// Constructed at load in this order and destroyed in the reverse one, so the
// watch thread is stopped before the trace object goes away.
morvale::CTrace theTrace;
morvale::TraceWatchData theWatch(theTrace);

} // namespace

int32_t nCtrace = 0;

int fnCtrace() {
    return 42;
}

bool CTrace_CreateModuleId(LONG* moduleId) {
    return theTrace.CreateModuleId(moduleId);
}

bool CTrace_SetNameOfModule(LONG moduleId, const char16_t* name) {
    return theTrace.SetNameOfModule(moduleId, name);
}

bool CTrace_GetNameOfModule(LONG moduleId, BSTR* name) {
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
}

bool CTrace_Entry(LONG moduleId, LONG level, const char16_t* text) {
    return theTrace.Entry(moduleId, level, text);
}

bool CTrace_Exit(LONG moduleId, LONG level, const char16_t* text) {
    return theTrace.Exit(moduleId, level, text);
}

bool CTrace_TracePrint(LONG moduleId, LONG level, const char16_t* scopeName, const char16_t* text) {
    return theTrace.TracePrint(moduleId, level, scopeName, text);
}

bool CTrace_GetTraceFlag(LONG* flag) {
    return theTrace.GetTraceFlag(flag);
}

bool CTrace_GetIndent(LONG* indent) {
    return theTrace.GetIndent(indent);
}

bool CTrace_IsTraceOn() {
    return theTrace.IsTraceOn();
}
