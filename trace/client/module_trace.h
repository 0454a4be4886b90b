// The trace helper every traced module compiles in: the module's trace
// object, registered with the trace library at load; ScopeTrace, which writes
// a function's Enter and Exit records; and TraceFormat for text records.
// Failures of the trace library become debugger lines, never failures of the
// traced code.
//
// Each client module defines its object once, with its registered name:
//     ModuleTraceObject g_moduleTrace(u"dravik");
#pragma once

#include "platform/wintypes.h"

#include <string>
#include <type_traits>

// Hidden: every module that links this helper must use its own copy and its
// own g_moduleTrace, never one resolved from another shared library.
#pragma GCC visibility push(hidden)

class ModuleTraceObject {
public:
    explicit ModuleTraceObject(const char16_t* moduleName);
    ~ModuleTraceObject();
    ModuleTraceObject(const ModuleTraceObject&) = delete;
    ModuleTraceObject& operator=(const ModuleTraceObject&) = delete;

    // 0 until registration succeeded; the library refuses it harmlessly.
    LONG ModuleId() const { return moduleId_; }
    const std::u16string& ModuleName() const { return moduleName_; }

private:
    LONG moduleId_ = 0;
    std::u16string moduleName_;
};

// The trace object of the module this helper is compiled into.
extern ModuleTraceObject g_moduleTrace;

class ScopeTrace {
public:
    ScopeTrace(LONG level, const char16_t* scopeName)
        : ScopeTrace(g_moduleTrace, level, scopeName) {}
    ScopeTrace(const ModuleTraceObject& module, LONG level, const char16_t* scopeName);
    ~ScopeTrace();
    ScopeTrace(const ScopeTrace&) = delete;
    ScopeTrace& operator=(const ScopeTrace&) = delete;

    const ModuleTraceObject& Module() const { return module_; }
    LONG Level() const { return level_; }
    const char16_t* ScopeName() const { return scopeName_; }

private:
    const ModuleTraceObject& module_;
    LONG level_;
    const char16_t* scopeName_; // a constant of the module, not copied
};

// Room for a text record's formatted text, terminator included.
constexpr size_t kTraceFormatCapacity = 4096;

// The C-style variadic core of TraceFormat.
void TraceFormatArgs(const ScopeTrace& scope, const char16_t* format, ...);

// Writes a text record at the scope's level. Does nothing, not even the
// formatting, when tracing is off. See wide_format.h for the conventions.
// Only numbers, characters and string pointers can pass through "...": a
// string object handed to "%s" is refused here rather than read as garbage.
template <class... Args>
void TraceFormat(const ScopeTrace& scope, const char16_t* format, Args... args) {
    static_assert((std::is_scalar_v<Args> && ...),
                  "TraceFormat takes numbers, characters and string pointers");
    TraceFormatArgs(scope, format, args...);
}

#pragma GCC visibility pop
