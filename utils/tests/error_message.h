// The message the library left as the calling thread's error information.
#pragma once

#include "events/quessa.h"

#include <string>

namespace dravik::testing {

inline std::u16string ErrorMessage() {
    BSTR text = nullptr;
    if (ASGetErrorMsg(&text) != S_OK)
        return u"(no error information)";
    std::u16string message(text, SysStringLen(text));
    SysFreeString(text);
    return message;
}

} // namespace dravik::testing
