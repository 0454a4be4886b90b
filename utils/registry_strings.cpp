// Read and write one string value under a registry key, and list the
// subkeys of a key into a process-wide list read back by position.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/report.h"

#include <mutex>
#include <vector>

namespace {

constexpr DWORD kValueBufferBytes = 2048;
constexpr DWORD kSubkeyNameUnits = 256;

enum RegistryError : UINT {
    kCannotOpenKey = 1,
    kCannotReadValue = 2,
    kCannotWriteValue = 3,
    kIndexOutOfRange = 9,
};

const char16_t* RootName(HKEY root) {
    static const char16_t* const kNames[] = {
        u"HKEY_CLASSES_ROOT",     u"HKEY_CURRENT_USER",   u"HKEY_LOCAL_MACHINE", u"HKEY_USERS",
        u"HKEY_PERFORMANCE_DATA", u"HKEY_CURRENT_CONFIG", u"HKEY_DYN_DATA",
    };
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(root) - reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT);
    return offset < 7 ? kNames[offset] : u"(unknown root key)";
}

const char16_t* Text(const char16_t* text) {
    return text ? text : u"";
}

// The names of the last enumeration. Callers on several threads get whole
// lists, never half of one.
struct SubkeyCache {
    std::mutex lock;
    std::vector<BSTR> names;

    void Clear() {
        for (BSTR name : names)
            SysFreeString(name);
        names.clear();
    }
    ~SubkeyCache() { Clear(); }
};

SubkeyCache g_subkeys;

// A failed close changes no result; it is only traced.
void CloseKey(const ScopeTrace& scope, HKEY key, HKEY root, const char16_t* subKey) {
    const LONG error = RegCloseKey(key);
    if (error != ERROR_SUCCESS)
        TraceFormat(scope, u"RegCloseKey '%s\\%s' failed, error is: %d.", RootName(root),
                    Text(subKey), error);
}

} // namespace

HRESULT ASVeskGetStringKeyFromRegistry(HKEY root, const char16_t* subKey, const char16_t* valueName,
                                       BSTR* pRetStrValue) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetStringKeyFromRegistry");
    if (!pRetStrValue) {
        TraceFormat(scope, u"Invalid Argument - 'pRetStrValue'");
        return E_INVALIDARG;
    }
    *pRetStrValue = nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        TraceFormat(scope, u"Can't open registry key '%s\\%s'.", RootName(root), Text(subKey));
        dravik::ReportError(kCannotOpenKey, RootName(root), Text(subKey));
        return E_UNEXPECTED;
    }
    // Whatever the value's type, its bytes are taken as UTF-16 text.
    char16_t buffer[kValueBufferBytes / 2 + 1] = {};
    DWORD size = kValueBufferBytes;
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS) {
        TraceFormat(scope, u"Can't read registry key '%s\\%s', '%s'.", RootName(root), Text(subKey),
                    Text(valueName));
        dravik::ReportError(kCannotReadValue, RootName(root), Text(subKey), Text(valueName));
        CloseKey(scope, key, root, subKey);
        return E_UNEXPECTED;
    }
    // Data without a terminating NUL ends with the bytes read.
    size_t length = 0;
    while (length < size / 2 && buffer[length] != 0)
        ++length;
    *pRetStrValue = SysAllocStringLen(buffer, static_cast<UINT>(length));
    TraceFormat(scope, u"The value for '%s\\%s', '%s' is:", RootName(root), Text(subKey),
                Text(valueName));
    TraceFormat(scope, u"'%s'", static_cast<const char16_t*>(*pRetStrValue));
    CloseKey(scope, key, root, subKey);
    return S_OK;
}

HRESULT ASVeskPutStringKeyInRegistry(HKEY root, const char16_t* regKey, const char16_t* strName,
                                     const char16_t* value) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskPutStringKeyInRegistry");
    if (!regKey) {
        TraceFormat(scope, u"Invalid Argument - 'regKey'");
        return E_INVALIDARG;
    }
    if (!strName) {
        TraceFormat(scope, u"Invalid Argument - 'strName'");
        return E_INVALIDARG;
    }
    value = Text(value);
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, regKey, 0, u"", REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        TraceFormat(scope, u"Can't open registry key '%s\\%s'.", RootName(root), regKey);
        dravik::ReportError(kCannotOpenKey, RootName(root), regKey);
        return E_UNEXPECTED;
    }
    // The terminating NUL is stored too.
    const DWORD bytes = static_cast<DWORD>((olvani::U16Length(value) + 1) * sizeof(char16_t));
    if (RegSetValueExW(key, strName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes) !=
        ERROR_SUCCESS) {
        TraceFormat(scope, u"Can't write registry key '%s\\%s', '%s'.", RootName(root), regKey,
                    strName);
        dravik::ReportError(kCannotWriteValue, RootName(root), regKey, strName);
        CloseKey(scope, key, root, regKey);
        return E_UNEXPECTED;
    }
    TraceFormat(scope, u"Set '%s\\%s', '%s': '%s'", RootName(root), regKey, strName, value);
    CloseKey(scope, key, root, regKey);
    return S_OK;
}

HRESULT ASVeskEnumRegKeys(HKEY root, const char16_t* subKey, LONG* pRetSubkeyCount) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskEnumRegKeys");
    if (!pRetSubkeyCount) {
        TraceFormat(scope, u"Invalid Argument - 'pRetSubkeyCount'");
        return E_INVALIDARG;
    }
    *pRetSubkeyCount = 0;
    std::lock_guard<std::mutex> lock(g_subkeys.lock);
    g_subkeys.Clear();
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        TraceFormat(scope, u"Can't open registry key '%s\\%s'.", RootName(root), Text(subKey));
        dravik::ReportError(kCannotOpenKey, RootName(root), Text(subKey));
        return E_UNEXPECTED;
    }
    // Any error ends the list; the names found so far are kept.
    for (DWORD index = 0;; ++index) {
        char16_t name[kSubkeyNameUnits];
        DWORD length = kSubkeyNameUnits;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        BSTR copy = SysAllocStringLen(name, length);
        if (!copy)
            break;
        g_subkeys.names.push_back(copy);
    }
    *pRetSubkeyCount = static_cast<LONG>(g_subkeys.names.size());
    CloseKey(scope, key, root, subKey);
    return S_OK;
}

HRESULT ASVeskGetSubkeyByIndex(LONG index, BSTR* pRetSubkey) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(9, u"ASVeskGetSubkeyByIndex");
    if (!pRetSubkey) {
        TraceFormat(scope, u"Invalid Argument - 'pRetSubkey'");
        return E_INVALIDARG;
    }
    *pRetSubkey = nullptr;
    std::lock_guard<std::mutex> lock(g_subkeys.lock);
    const LONG count = static_cast<LONG>(g_subkeys.names.size());
    if (index < 0 || index >= count) {
        TraceFormat(scope, u"The index %d is out of the range [%d..%d].", index, 0, count);
        dravik::ReportError(kIndexOutOfRange, index, 0, count);
        return E_UNEXPECTED;
    }
    BSTR name = g_subkeys.names[static_cast<size_t>(index)];
    *pRetSubkey = SysAllocStringLen(name, SysStringLen(name));
    return *pRetSubkey ? S_OK : E_OUTOFMEMORY;
}
