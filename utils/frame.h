// What every export of the library shares: its own module handle (the first
// argument of every error report), whether it loaded usable, and the ping
// retry count read at load.
#pragma once

#include "platform/wintypes.h"

namespace dravik {

// This library as the resource layer knows it.
HMODULE OwnModule();
// False when the language resources could not be loaded: every export then
// returns E_UNEXPECTED at once.
bool LibraryUsable();
LONG PingRetries();

} // namespace dravik

// The first statement of every export.
#define DRAVIK_REQUIRE_USABLE()                                                                    \
    do {                                                                                           \
        if (!dravik::LibraryUsable())                                                              \
            return E_UNEXPECTED;                                                                   \
    } while (0)
