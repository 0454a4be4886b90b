// The Reg* calls over the hive files. A key handle is a heap object naming
// the root, the key's path and the access it was opened with; every call
// looks the key up afresh in the latest hive, so a handle sees changes made
// by others and a handle to a key deleted since gives ERROR_KEY_DELETED.
#include "platform/registry.h"

#include "platform/registry_notify.h"
#include "platform/registry_store.h"
#include "platform/strings.h"

#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unordered_set>

using olvani::registry::Hive;
using olvani::registry::HiveKey;
using olvani::registry::HivePtr;
using olvani::registry::HiveValue;
using olvani::registry::RootInfo;

struct RegistryKey {
    const RootInfo* root;
    std::string path; // as stored, below the root
    REGSAM access;
};

namespace {

// Access bits that need the hive file to be writable.
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                0x00010000 /* DELETE */ | 0x00040000 /* WRITE_DAC */ |
                                0x00080000 /* WRITE_OWNER */;

// Live handles, so a closed or foreign handle is refused instead of used.
std::mutex handlesMutex;
std::unordered_set<HKEY>& Handles() {
    static auto* handles = new std::unordered_set<HKEY>(); // outlives static destructors
    return *handles;
}

struct KeyRef {
    const RootInfo* root = nullptr;
    std::string path;
    REGSAM access = 0;
};

LONG Resolve(HKEY key, KeyRef& ref) {
    if (const RootInfo* root = olvani::registry::FindRoot(key)) {
        ref.root = root;
        ref.access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(handlesMutex);
    if (!key || !Handles().count(key))
        return ERROR_INVALID_HANDLE;
    ref.root = key->root;
    ref.path = key->path;
    ref.access = key->access;
    return ERROR_SUCCESS;
}

HKEY NewHandle(const RootInfo* root, std::string path, REGSAM access) {
    HKEY key = new RegistryKey{root, std::move(path), access};
    std::lock_guard lock(handlesMutex);
    Handles().insert(key);
    return key;
}

std::string JoinPath(const std::string& base, const std::string& sub) {
    if (base.empty())
        return sub;
    if (sub.empty())
        return base;
    return base + '\\' + sub;
}

// Ill-formed UTF-8 from the A calls is mended so the hive file stays UTF-8.
std::string WellFormedUtf8(std::string_view text) {
    if (olvani::Utf8ToUtf16Strict(text))
        return std::string(text);
    return olvani::Utf16ToUtf8(olvani::Utf8ToUtf16(text));
}

// Names arrive as UTF-8 (A calls) or UTF-16 (W calls); inside they are UTF-8.
std::string Narrow(const char* text) {
    return text ? WellFormedUtf8(text) : std::string();
}
std::string Narrow(const char16_t* text) {
    return text ? olvani::Utf16ToUtf8(text) : std::string();
}

// Why a key path cannot be created; empty when it can.
std::string KeyPathProblem(const std::string& path) {
    if (path.find_first_of("\r\n") != std::string::npos)
        return "a key name holds a line break";
    return olvani::registry::KeyPathProblem(path);
}

LONG Fail(LONG code, const std::string& what) {
    olvani::registry::SetErrorText(what);
    return code;
}

// Resolves a handle that must have been opened with the `needed` right.
LONG ResolveFor(HKEY key, REGSAM needed, const char* purpose, KeyRef& ref) {
    if (LONG r = Resolve(key, ref); r != ERROR_SUCCESS)
        return r;
    if (!(ref.access & needed))
        return Fail(ERROR_ACCESS_DENIED, std::string("the key was not opened for ") + purpose);
    return ERROR_SUCCESS;
}

// Loads the latest hive and finds the key a reference names.
LONG FindKey(const KeyRef& ref, HivePtr& hive, const HiveKey*& key) {
    if (LONG result = olvani::registry::LoadHive(*ref.root, hive); result != ERROR_SUCCESS)
        return result;
    key = hive->Find(ref.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Resolves a handle and loads the key it names.
LONG ResolveAndFind(HKEY handle, KeyRef& ref, HivePtr& hive, const HiveKey*& key) {
    if (LONG r = Resolve(handle, ref); r != ERROR_SUCCESS)
        return r;
    return FindKey(ref, hive, key);
}

LONG OpenKey(HKEY base, const std::string& subKey, REGSAM access, HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HivePtr hive;
    const HiveKey* baseKey = nullptr;
    if (LONG r = ResolveAndFind(base, ref, hive, baseKey); r != ERROR_SUCCESS)
        return r;
    const HiveKey* key = hive->Find(JoinPath(ref.path, olvani::registry::NormalizePath(subKey)));
    if (!key)
        return Fail(ERROR_FILE_NOT_FOUND, "no such key");
    if ((access & kWriteAccess) && !olvani::registry::CanWriteHive(*ref.root))
        return olvani::registry::HiveNotWritable(*ref.root);
    *result = NewHandle(ref.root, key->path, access);
    return ERROR_SUCCESS;
}

LONG CreateKey(HKEY base, const std::string& subKey, REGSAM access, HKEY* result,
               DWORD* disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HivePtr hive;
    const HiveKey* baseKey = nullptr;
    if (LONG r = ResolveAndFind(base, ref, hive, baseKey); r != ERROR_SUCCESS)
        return r;
    const std::string path = JoinPath(ref.path, olvani::registry::NormalizePath(subKey));
    if (std::string problem = KeyPathProblem(path); !problem.empty())
        return Fail(ERROR_INVALID_PARAMETER, problem);
    const bool mayWrite = olvani::registry::CanWriteHive(*ref.root);
    if ((access & kWriteAccess) && !mayWrite)
        return olvani::registry::HiveNotWritable(*ref.root);
    std::string storedPath;
    bool created = false;
    if (const HiveKey* key = hive->Find(path)) {
        storedPath = key->path;
    } else {
        if (!(ref.access & KEY_CREATE_SUB_KEY) || !mayWrite)
            return Fail(ERROR_ACCESS_DENIED, "no right to create keys here");
        LONG r = olvani::registry::UpdateHive(*ref.root, [&](Hive& h, bool& changed) {
            if (!h.Find(ref.path))
                return ERROR_KEY_DELETED;
            storedPath = h.Create(path, &created).path;
            changed = created;
            return ERROR_SUCCESS;
        });
        if (r != ERROR_SUCCESS)
            return r;
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(ref.root, std::move(storedPath), access);
    return ERROR_SUCCESS;
}

LONG QueryValue(HKEY handle, const std::string& name, DWORD* type, BYTE* data, DWORD* dataSize,
                bool wide) {
    if (data && !dataSize)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HivePtr hive;
    const HiveKey* key = nullptr;
    if (LONG r = ResolveFor(handle, KEY_QUERY_VALUE, "reading values", ref); r != ERROR_SUCCESS)
        return r;
    if (LONG r = FindKey(ref, hive, key); r != ERROR_SUCCESS)
        return r;
    const HiveValue* value = Hive::FindValue(*key, name);
    if (!value)
        return Fail(ERROR_FILE_NOT_FOUND, "no such value");
    // Strings leave in the caller's encoding with their terminator.
    std::u16string wideText;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(value->data.data());
    size_t size = value->data.size();
    if (value->type == REG_SZ && wide) {
        wideText = olvani::Utf8ToUtf16(value->data);
        bytes = reinterpret_cast<const BYTE*>(wideText.c_str());
        size = (wideText.size() + 1) * sizeof(char16_t);
    } else if (value->type == REG_SZ) {
        bytes = reinterpret_cast<const BYTE*>(value->data.c_str());
        size = value->data.size() + 1;
    }
    if (type)
        *type = value->type;
    if (!dataSize)
        return ERROR_SUCCESS;
    if (data && *dataSize < size) {
        *dataSize = static_cast<DWORD>(size);
        return ERROR_MORE_DATA;
    }
    if (data && size)
        std::memcpy(data, bytes, size);
    *dataSize = static_cast<DWORD>(size);
    return ERROR_SUCCESS;
}

// The stored form of value data: strings as UTF-8 text without terminator.
std::string StoredData(DWORD type, const BYTE* data, DWORD size, bool wide) {
    if (type != REG_SZ)
        return std::string(reinterpret_cast<const char*>(data), size);
    if (wide) {
        std::u16string text(size / 2, u'\0');
        std::memcpy(text.data(), data, text.size() * 2);
        if (!text.empty() && text.back() == u'\0')
            text.pop_back();
        return olvani::Utf16ToUtf8(text);
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    return WellFormedUtf8(text);
}

LONG SetValue(HKEY handle, const std::string& name, DWORD type, const BYTE* data, DWORD size,
              bool wide) {
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    if (std::string problem = olvani::registry::ValueNameProblem(name); !problem.empty())
        return Fail(ERROR_INVALID_PARAMETER, problem);
    KeyRef ref;
    if (LONG r = ResolveFor(handle, KEY_SET_VALUE, "setting values", ref); r != ERROR_SUCCESS)
        return r;
    HiveValue value{name, type, StoredData(type, data, size, wide)};
    return olvani::registry::UpdateHive(*ref.root, [&](Hive& h, bool& changed) {
        HiveKey* key = h.Find(ref.path);
        if (!key)
            return ERROR_KEY_DELETED;
        const HiveValue* old = Hive::FindValue(*key, name);
        changed = !old || old->type != value.type || old->data != value.data;
        if (changed)
            Hive::SetValue(*key, value);
        return ERROR_SUCCESS;
    });
}

LONG DeleteValue(HKEY handle, const std::string& name) {
    KeyRef ref;
    HivePtr hive;
    const HiveKey* key = nullptr;
    if (LONG r = ResolveFor(handle, KEY_SET_VALUE, "setting values", ref); r != ERROR_SUCCESS)
        return r;
    // Look before locking: a missing value needs no writer.
    if (LONG r = FindKey(ref, hive, key); r != ERROR_SUCCESS)
        return r;
    if (!Hive::FindValue(*key, name))
        return Fail(ERROR_FILE_NOT_FOUND, "no such value");
    return olvani::registry::UpdateHive(*ref.root, [&](Hive& h, bool& changed) {
        HiveKey* current = h.Find(ref.path);
        if (!current)
            return ERROR_KEY_DELETED;
        changed = Hive::DeleteValue(*current, name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG DeleteKey(HKEY handle, const std::string& sub) {
    KeyRef ref;
    HivePtr hive;
    const HiveKey* base = nullptr;
    if (LONG r = ResolveAndFind(handle, ref, hive, base); r != ERROR_SUCCESS)
        return r;
    const std::string path = JoinPath(ref.path, olvani::registry::NormalizePath(sub));
    if (path.empty())
        return Fail(ERROR_ACCESS_DENIED, "a root key cannot be deleted");
    const HiveKey* key = hive->Find(path);
    if (!key)
        return Fail(ERROR_FILE_NOT_FOUND, "no such key");
    if (!key->children.empty())
        return Fail(ERROR_ACCESS_DENIED, "the key has subkeys");
    return olvani::registry::UpdateHive(*ref.root, [&](Hive& h, bool& changed) {
        const HiveKey* current = h.Find(path);
        if (!current)
            return ERROR_FILE_NOT_FOUND;
        if (!current->children.empty())
            return ERROR_ACCESS_DENIED;
        changed = h.Remove(path);
        return ERROR_SUCCESS;
    });
}

// Windows FILETIME: 100 ns units since 1601-01-01.
FILETIME ToFileTime(const timespec& t) {
    constexpr uint64_t kEpochDifference = 11644473600ULL;
    uint64_t ticks = (static_cast<uint64_t>(t.tv_sec) + kEpochDifference) * 10000000ULL +
                     static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD, REGSAM access, HKEY* result) {
    return OpenKey(key, Narrow(subKey), access, result);
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result) {
    return OpenKey(key, Narrow(subKey), access, result);
}

LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD, const char16_t*, DWORD, REGSAM access,
                     void*, HKEY* result, DWORD* disposition) {
    return CreateKey(key, Narrow(subKey), access, result, disposition);
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, const char*, DWORD, REGSAM access, void*,
                     HKEY* result, DWORD* disposition) {
    return CreateKey(key, Narrow(subKey), access, result, disposition);
}

LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    return QueryValue(key, Narrow(name), type, data, dataSize, true);
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    return QueryValue(key, Narrow(name), type, data, dataSize, false);
}

LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    return SetValue(key, Narrow(name), type, data, dataSize, true);
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    return SetValue(key, Narrow(name), type, data, dataSize, false);
}

LONG RegEnumKeyExW(HKEY handle, DWORD index, char16_t* name, DWORD* nameLength, DWORD*,
                   char16_t* keyClass, DWORD* classLength, FILETIME* lastWriteTime) {
    if (!name || !nameLength)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HivePtr hive;
    const HiveKey* key = nullptr;
    if (LONG r = ResolveFor(handle, KEY_ENUMERATE_SUB_KEYS, "enumerating subkeys", ref);
        r != ERROR_SUCCESS)
        return r;
    if (LONG r = FindKey(ref, hive, key); r != ERROR_SUCCESS)
        return r;
    if (index >= key->children.size())
        return ERROR_NO_MORE_ITEMS;
    std::u16string text = olvani::Utf8ToUtf16(hive->At(key->children[index]).name);
    if (text.size() + 1 > *nameLength)
        return ERROR_MORE_DATA;
    std::memcpy(name, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    *nameLength = static_cast<DWORD>(text.size());
    if (keyClass && classLength && *classLength > 0)
        keyClass[0] = u'\0';
    if (classLength)
        *classLength = 0;
    if (lastWriteTime) {
        // Keys carry no time of their own: the hive file's is the nearest.
        struct stat st;
        std::string path = olvani::registry::HivePath(olvani::RegistryDirectory(), *ref.root);
        *lastWriteTime = ::stat(path.c_str(), &st) == 0 ? ToFileTime(st.st_mtim) : FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY key, const char16_t* name) {
    return DeleteValue(key, Narrow(name));
}

LONG RegDeleteValueA(HKEY key, const char* name) {
    return DeleteValue(key, Narrow(name));
}

LONG RegDeleteKeyW(HKEY key, const char16_t* subKey) {
    return subKey ? DeleteKey(key, Narrow(subKey)) : ERROR_INVALID_PARAMETER;
}

LONG RegDeleteKeyA(HKEY key, const char* subKey) {
    return subKey ? DeleteKey(key, Narrow(subKey)) : ERROR_INVALID_PARAMETER;
}

LONG RegCloseKey(HKEY key) {
    if (olvani::registry::FindRoot(key))
        return ERROR_SUCCESS;
    {
        std::lock_guard lock(handlesMutex);
        if (!key || Handles().erase(key) == 0)
            return ERROR_INVALID_HANDLE;
    }
    olvani::registry::CancelChangeWatches(key);
    delete key;
    return ERROR_SUCCESS;
}

LONG RegNotifyChangeKeyValue(HKEY handle, BOOL watchSubtree, DWORD notifyFilter, HANDLE event,
                             BOOL asynchronous) {
    if (!asynchronous || !event)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (LONG r = ResolveFor(handle, KEY_NOTIFY, "notification", ref); r != ERROR_SUCCESS)
        return r;
    return olvani::registry::AddChangeWatch(handle, *ref.root, ref.path, watchSubtree != FALSE,
                                            notifyFilter, event);
}

namespace olvani {

const char* RootKeyName(HKEY root) {
    const RootInfo* info = registry::FindRoot(root);
    return info ? info->name : nullptr;
}

HKEY RootKeyFromName(const char* name) {
    const RootInfo* info = name ? registry::FindRoot(std::string_view(name)) : nullptr;
    return info ? OLVANI_ROOT_KEY(info->tag) : nullptr;
}

const char* RegistryErrorText() {
    return registry::ErrorText().c_str();
}

} // namespace olvani
