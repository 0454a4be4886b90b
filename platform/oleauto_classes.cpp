// In-process class creation over a table of classes, and the ProgIDs that
// name them. Classes outside the table can still be named in the registry,
// as HKEY_CLASSES_ROOT\CLSID\{...}\ProgID and HKEY_CLASSES_ROOT\<ProgID>\CLSID.
#include "platform/eventlog.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/strings.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct ClassEntry {
    CLSID clsid;
    std::u16string progId;
    ClassFactoryFunction create;
};

struct ClassTable {
    std::mutex lock;
    std::vector<ClassEntry> entries{{CLSID_VeskEvents, kVeskEventsProgId, &CreateVeskEvents}};
};

ClassTable& Table() {
    static ClassTable table;
    return table;
}

bool EqualIgnoringCase(const std::u16string& a, LPCOLESTR b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return i == a.size() && !b[i];
}

// The default value of HKEY_CLASSES_ROOT\<path> (or of its value `name`).
bool ReadClassesRoot(const std::u16string& path, const char16_t* name, std::u16string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char16_t buffer[256];
    DWORD type = 0, size = sizeof buffer;
    LONG status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ || size < sizeof(char16_t))
        return false;
    value.assign(buffer, size / sizeof(char16_t));
    value.resize(olvani::U16Length(value.c_str()));
    return !value.empty();
}

} // namespace

HRESULT OlvaniRegisterClass(REFCLSID clsid, LPCOLESTR progId, ClassFactoryFunction create) {
    if (!progId || !*progId || !create)
        return E_INVALIDARG;
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    for (ClassEntry& entry : table.entries) {
        if (entry.clsid == clsid) {
            entry = {clsid, progId, create};
            return S_OK;
        }
    }
    table.entries.push_back({clsid, progId, create});
    return S_OK;
}

HRESULT OlvaniRevokeClass(REFCLSID clsid) {
    ClassTable& table = Table();
    std::lock_guard guard(table.lock);
    std::erase_if(table.entries, [&](const ClassEntry& entry) { return entry.clsid == clsid; });
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    ClassFactoryFunction create = nullptr;
    {
        ClassTable& table = Table();
        std::lock_guard guard(table.lock);
        for (const ClassEntry& entry : table.entries)
            if (entry.clsid == clsid)
                create = entry.create;
    }
    return create ? create(iid, object) : REGDB_E_CLASSNOTREG;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
    if (!progId)
        return E_POINTER;
    *progId = nullptr;
    std::u16string name;
    {
        ClassTable& table = Table();
        std::lock_guard guard(table.lock);
        for (const ClassEntry& entry : table.entries)
            if (entry.clsid == clsid)
                name = entry.progId;
    }
    OLECHAR text[40];
    StringFromGUID2(clsid, text, 40);
    if (name.empty() &&
        !ReadClassesRoot(u"CLSID\\" + std::u16string(text) + u"\\ProgID", u"", name))
        return REGDB_E_CLASSNOTREG;
    size_t bytes = (name.size() + 1) * sizeof(OLECHAR);
    *progId = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*progId)
        return E_OUTOFMEMORY;
    std::memcpy(*progId, name.c_str(), bytes);
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid)
        return E_INVALIDARG;
    {
        ClassTable& table = Table();
        std::lock_guard guard(table.lock);
        for (const ClassEntry& entry : table.entries) {
            if (EqualIgnoringCase(entry.progId, progId)) {
                *clsid = entry.clsid;
                return S_OK;
            }
        }
    }
    std::u16string text;
    if (olvani::U16Length(progId) > 200 ||
        !ReadClassesRoot(std::u16string(progId) + u"\\CLSID", u"", text))
        return CO_E_CLASSSTRING;
    return CLSIDFromString(text.c_str(), clsid);
}
