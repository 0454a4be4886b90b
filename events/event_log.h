// Handing a message to the event-log component, and the thread's error
// information that the component's object stands as afterwards.
#pragma once

#include "platform/oleauto.h"

#include <cstdarg>

namespace quessa {

// What an event export hands on: the caller's logbook (or none), the ten
// event fields, and the message as a text or as a resource with arguments.
struct EventRecord {
    IUnknown* logbook = nullptr;
    LONG f1 = 0;
    const OLECHAR* f2 = nullptr;
    const OLECHAR* f3 = nullptr;
    LONG f4 = 0;
    const OLECHAR* f5 = nullptr;
    const OLECHAR* f6 = nullptr;
    const OLECHAR* f7 = nullptr;
    LONG f8 = 0;
    LONG f9 = 0;
    LONG f10 = 0;
    const OLECHAR* message = nullptr; // a ready text; takes precedence over resId
    HMODULE module = nullptr;         // where resId is looked up ...
    const OLECHAR* progId = nullptr;  // ... unless a module name is given
    UINT resId = 0;
    va_list* args = nullptr; // arguments of the resource's conversions, or none
};

// Logs the event to the logbook's event interface, or to an event object of
// the thread's (created when there is none), which is then left as the
// thread's error information. Returns the logging call's result, or the
// error of building the message or getting an event object.
HRESULT LogEventHelper(const EventRecord& record);

} // namespace quessa
