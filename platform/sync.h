// Event objects and waits with their Windows names, over eventfd and poll.
#pragma once

#include "platform/wintypes.h"

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Returns nullptr on failure. `name` is accepted for symmetry and ignored:
// events are process-local here.
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, const char16_t* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

namespace olvani {
// The file descriptor that becomes readable while the event is signalled,
// for callers that poll it beside other descriptors; -1 for a bad handle.
int EventDescriptor(HANDLE event);
} // namespace olvani
