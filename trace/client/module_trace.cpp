#include "trace/client/module_trace.h"

#include "platform/debugout.h"
#include "trace/client/wide_format.h"
#include "trace/morvale.h"

#include <cstdarg>

ModuleTraceObject::ModuleTraceObject(const char16_t* moduleName) {
    OutputDebugStringW(u"Entered ctor for module-level trace object\n");
    moduleName_ = moduleName ? moduleName : u"";
    LONG id = 0;
    if (!CTrace_CreateModuleId(&id)) {
        OutputDebugStringW(u"CTrace_CreateModuleId failed\n");
        return;
    }
    moduleId_ = id;
    if (!CTrace_SetNameOfModule(moduleId_, moduleName_.c_str()))
        OutputDebugStringW(u"CTrace_SetNameOfModule failed\n");
}

ModuleTraceObject::~ModuleTraceObject() {
    // The library keeps the module's entry until it is unloaded itself.
    OutputDebugStringW(u"Entered dtor for module-level trace object\n");
}

ScopeTrace::ScopeTrace(const ModuleTraceObject& module, LONG level, const char16_t* scopeName)
    : module_(module), level_(level), scopeName_(scopeName) {
    if (!CTrace_Entry(module_.ModuleId(), level_, scopeName_))
        OutputDebugStringW(u"CTrace_Entry failed\n");
}

ScopeTrace::~ScopeTrace() {
    if (!CTrace_Exit(module_.ModuleId(), level_, scopeName_))
        OutputDebugStringW(u"CTrace_Exit failed\n");
}

void TraceFormatArgs(const ScopeTrace& scope, const char16_t* format, ...) {
    if (!CTrace_IsTraceOn() || !format || !*format)
        return;
    char16_t text[kTraceFormatCapacity];
    va_list args;
    va_start(args, format);
    size_t length = morvale::FormatWide(text, kTraceFormatCapacity, format, args);
    va_end(args);
    if (length >= kTraceFormatCapacity)
        OutputDebugStringW(u"WARNING: string passed to trace is larger than the trace buffer, "
                           u"the string is truncated\n");
    if (!CTrace_TracePrint(scope.Module().ModuleId(), scope.Level(), scope.ScopeName(), text))
        OutputDebugStringW(u"CTrace_TracePrint failed\n");
}
