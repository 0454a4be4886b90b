// The event-log component: an in-process class that logs events and then
// stands as the thread's error information describing the last one.
//
// Each event is appended as one JSON line (the time, the process, the text
// and the ten fields) to the file named by OLVANI_EVENT_LOG, and sent to the
// journal as a structured entry (MESSAGE, OLVANI_F1 ... OLVANI_F10) where a
// journal runs, else to the system log. The file is opened for appending
// only, never through a symbolic link, and only when it is a regular file, so
// a fifo or a device cannot stall the caller. What the ten fields mean
// belongs to the callers; they are passed through unchanged.
#pragma once

#include "platform/oleauto.h"

struct IVeskEvents : IUnknown {
    // Logs one event. S_OK, or the failure to write the event file as an
    // HRESULT (for example 0x80070005 for a file this process may not write);
    // the text becomes the object's error description either way.
    virtual HRESULT LogEvent(LPCOLESTR text, LONG f1, LPCOLESTR f2, LPCOLESTR f3, LONG f4,
                             LPCOLESTR f5, LPCOLESTR f6, LPCOLESTR f7, LONG f8, LONG f9,
                             LONG f10) = 0;

protected:
    ~IVeskEvents() = default;
};

// The second event interface: the first plus where the events go.
struct IVeskEvents2 : IVeskEvents {
    // The event file's path as this object uses it; empty when none is set.
    virtual HRESULT GetLogFile(BSTR* path) = 0;

protected:
    ~IVeskEvents2() = default;
};

inline constexpr CLSID CLSID_VeskEvents{
    0x5A3E8750, 0x2C1D, 0x4B7A, {0x9E, 0x04, 0x6D, 0x1F, 0x3B, 0x82, 0xC5, 0x90}};
inline constexpr IID IID_IVeskEvents{
    0x5A3E8752, 0x2C1D, 0x4B7A, {0x9E, 0x04, 0x6D, 0x1F, 0x3B, 0x82, 0xC5, 0x90}};
inline constexpr IID IID_IVeskEvents2{
    0x5A3E8751, 0x2C1D, 0x4B7A, {0x9E, 0x04, 0x6D, 0x1F, 0x3B, 0x82, 0xC5, 0x90}};
inline constexpr OLECHAR kVeskEventsProgId[] = u"VeskEvents.Logbook";

// The class's factory, as CoCreateInstance calls it.
HRESULT CreateVeskEvents(REFIID iid, void** object);
