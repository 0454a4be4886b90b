// Message texts from resource strings: the module's resource module is
// found, the string loaded, and the caller's extra text and last system
// error appended.
#pragma once

#include "platform/oleauto.h"
#include "trace/client/module_trace.h"

#include <cstdarg>
#include <string>

namespace quessa {

// Resource strings are read into this many characters, terminator included.
constexpr size_t kResourceStringCapacity = 1025;

// Where a message's resource string lives: a module named by its ProgID or
// module name, else a module handle.
struct MessageSource {
    HMODULE module = nullptr;
    const OLECHAR* name = nullptr;
};

// The class's ProgID; E_INVALIDARG (traced) when it has none.
HRESULT GetProgId(const GUID& clsid, std::u16string& progId);

// String `id` of a resource module, or of the resource module of a code
// module; QUESSA_E_STRING_NOT_FOUND, traced in `scope`, when it is not there.
HRESULT LoadMessageString(const ScopeTrace& scope, HMODULE module, UINT id, std::u16string& text);

// The resource string `resId` of the source's resource module, then a blank
// and `extra` when given, then " (GetLastError= n)" when `lastError` is not 0.
HRESULT ComputeErrorMsg(const MessageSource& source, UINT resId, const OLECHAR* extra,
                        DWORD lastError, std::u16string& text);

// The message step of the exports that take arguments: ComputeErrorMsg
// without extra text, then the arguments substituted (none when `args` is
// nullptr). Failures are traced in `scope`.
HRESULT ResourceMessage(const ScopeTrace& scope, const MessageSource& source, UINT resId,
                        DWORD lastError, va_list* args, std::u16string& text);

} // namespace quessa
