// Load and unload of the library. A shared library cannot refuse dlopen from
// its constructor, so missing language resources leave it loaded but
// unusable: the operator sees why, and every export fails at once.
#include "utils/frame.h"

#include "platform/messagebox.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "trace/client/module_trace.h"

ModuleTraceObject g_moduleTrace(u"dravik");

namespace {

constexpr LONG kDefaultPingRetries = 5;

struct LibraryFrame {
    LibraryFrame();
    ~LibraryFrame();

    HMODULE ownModule = nullptr;
    HINSTANCE resourceModule = nullptr;
    bool usable = false;
    LONG pingRetries = kDefaultPingRetries;
};

// A missing key or value leaves the default; only a 4-byte value counts.
LONG ReadPingRetries() {
    LONG retries = kDefaultPingRetries;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani\\LNS", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return retries;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, u"PingRetries", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) == ERROR_SUCCESS &&
        size == sizeof value)
        retries = static_cast<LONG>(value);
    RegCloseKey(key);
    return retries;
}

LibraryFrame::LibraryFrame() {
    ownModule = OlvaniThisModule();
    if (ASLoadResourceFile(ownModule, &resourceModule) < 0) {
        MessageBox("NLS DLL not installed !", "Error", MB_OK | MB_ICONERROR);
        return;
    }
    pingRetries = ReadPingRetries();
    usable = true;
}

LibraryFrame::~LibraryFrame() {
    if (resourceModule && resourceModule != ownModule)
        FreeLibrary(resourceModule);
}

// After g_moduleTrace: objects of one file are built in order.
LibraryFrame g_frame;

} // namespace

namespace dravik {

HMODULE OwnModule() {
    return g_frame.ownModule;
}

bool LibraryUsable() {
    return g_frame.usable;
}

LONG PingRetries() {
    return g_frame.pingRetries;
}

} // namespace dravik
