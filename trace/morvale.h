// The exports of the trace library Morvale (libmorvale.so). Plain C linkage;
// strings are NUL-terminated UTF-16. Every call is safe from any thread and
// never changes what the caller does: failures come back as false and are
// described on the debugger output.
#pragma once

#include "platform/oleauto.h"
#include "platform/wintypes.h"

#if defined(MORVALE_BUILDING)
#define MORVALE_API __attribute__((visibility("default")))
#else
#define MORVALE_API
#endif

extern "C" {

// Registers a module under the next free id (named "Default" until named).
MORVALE_API bool CTrace_CreateModuleId(LONG* moduleId);
MORVALE_API bool CTrace_SetNameOfModule(LONG moduleId, const char16_t* name);
// A fresh copy of the module's name in *name, which the caller frees with
// SysFreeString; false (and *name untouched) for an unknown id.
MORVALE_API bool CTrace_GetNameOfModule(LONG moduleId, BSTR* name);
// Writes the Enter record of a scope and deepens the calling thread's depth.
MORVALE_API bool CTrace_Entry(LONG moduleId, LONG level, const char16_t* text);
// Lowers the calling thread's depth and writes the Exit record.
MORVALE_API bool CTrace_Exit(LONG moduleId, LONG level, const char16_t* text);
// Writes a text record; false when it could not be formatted or written.
MORVALE_API bool CTrace_TracePrint(LONG moduleId, LONG level, const char16_t* scopeName,
                                   const char16_t* text);
// 1 unless tracing is disabled for the process.
MORVALE_API bool CTrace_GetTraceFlag(LONG* flag);
// The calling thread's current depth.
MORVALE_API bool CTrace_GetIndent(LONG* indent);
MORVALE_API bool CTrace_IsTraceOn();

MORVALE_API int fnCtrace();
MORVALE_API extern int32_t nCtrace;

} // extern "C"
