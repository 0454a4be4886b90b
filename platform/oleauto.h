// OLE strings (BSTR): length-prefixed, NUL-terminated UTF-16 strings that a
// library hands out and the receiver frees with SysFreeString. The length
// prefix sits just before the characters, as on Windows, so SysStringLen is
// exact even for strings holding NULs.
#pragma once

#include "platform/wintypes.h"

using OLECHAR = char16_t;
using BSTR = OLECHAR*;

// A copy of the NUL-terminated text; nullptr for nullptr or when memory is short.
BSTR SysAllocString(const OLECHAR* text);
// `length` characters copied from `text` (zero-filled when text is nullptr).
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
// Characters, not counting the terminating NUL; 0 for nullptr.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
