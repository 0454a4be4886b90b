// The registry every program shares. One UTF-8 text file per root key, laid
// out like a .reg export, in OLVANI_REGISTRY_DIR (default
// /var/lib/olvani/registry). The calls keep their Windows names, arguments,
// semantics and error codes so the calling code reads as designed.
//
// Key and value names ignore ASCII letter case. A change made through these
// calls (by any process) is seen by the next call everywhere; a hive file
// changed by other means (an editor) is seen within 10 ms. A hive file that
// does not parse gives ERROR_BADDB and is never overwritten; so does anything
// but a regular file in a hive's place (a link, a FIFO), which is never
// opened. Opening with a write right (KEY_SET_VALUE, KEY_CREATE_SUB_KEY,
// KEY_WRITE, KEY_ALL_ACCESS) a hive this process may not write gives
// ERROR_ACCESS_DENIED, and so does every change to it by other ways (a
// predefined root, RegDeleteKeyW). Key names longer than 255 characters, keys
// deeper than 512 levels and value names longer than 16,383 characters give
// ERROR_INVALID_PARAMETER.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>

struct RegistryKey;
using HKEY = RegistryKey*;

// The predefined roots are tagged values, never dereferenced.
#define OLVANI_ROOT_KEY(n) (reinterpret_cast<HKEY>(static_cast<uintptr_t>(n)))
#define HKEY_CLASSES_ROOT OLVANI_ROOT_KEY(0x80000000u)
#define HKEY_CURRENT_USER OLVANI_ROOT_KEY(0x80000001u)
#define HKEY_LOCAL_MACHINE OLVANI_ROOT_KEY(0x80000002u)
#define HKEY_USERS OLVANI_ROOT_KEY(0x80000003u)
#define HKEY_PERFORMANCE_DATA OLVANI_ROOT_KEY(0x80000004u)
#define HKEY_CURRENT_CONFIG OLVANI_ROOT_KEY(0x80000005u)
#define HKEY_DYN_DATA OLVANI_ROOT_KEY(0x80000006u)

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Notify filter bits of RegNotifyChangeKeyValue.
constexpr DWORD REG_NOTIFY_CHANGE_NAME = 0x1;
constexpr DWORD REG_NOTIFY_CHANGE_ATTRIBUTES = 0x2;
constexpr DWORD REG_NOTIFY_CHANGE_LAST_SET = 0x4;
constexpr DWORD REG_NOTIFY_CHANGE_SECURITY = 0x8;

LONG RegOpenKeyExW(HKEY key, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExW(HKEY key, const char16_t* subKey, DWORD reserved, const char16_t* keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition);
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* keyClass,
                     DWORD options, REGSAM access, void* security, HKEY* result,
                     DWORD* disposition);
// REG_SZ data crosses the W calls as UTF-16 bytes and the A calls as UTF-8
// bytes, both with the terminating NUL counted in the size.
LONG RegQueryValueExW(HKEY key, const char16_t* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegSetValueExW(HKEY key, const char16_t* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                   char16_t* keyClass, DWORD* classLength, FILETIME* lastWriteTime);
LONG RegDeleteValueW(HKEY key, const char16_t* name);
LONG RegDeleteValueA(HKEY key, const char* name);
LONG RegDeleteKeyW(HKEY key, const char16_t* subKey);
LONG RegDeleteKeyA(HKEY key, const char* subKey);
LONG RegCloseKey(HKEY key);
// Signals `event` (from CreateEventW, see sync.h) once the key or, with
// watchSubtree, anything below it changes, by this or another process. One
// shot, as on Windows: ask again after each signal. Only asynchronous
// notification is supported. REG_NOTIFY_CHANGE_LAST_SET watches values,
// REG_NOTIFY_CHANGE_NAME subkey names; deleting the key signals; rewriting a
// value with what it held does not. Closing the key cancels the request
// without signalling. A registry folder that does not exist yet is created;
// one that is moved away or removed is watched again once it is back.
LONG RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event,
                             BOOL asynchronous);

namespace olvani {

// The folder holding the hive files: OLVANI_REGISTRY_DIR or the default.
// Read afresh by every call that touches a hive.
const char* RegistryDirectory();

// The full name of a predefined root ("HKEY_LOCAL_MACHINE"), or nullptr.
const char* RootKeyName(HKEY root);
// A predefined root from its full or short name ("HKLM"), any letter case;
// nullptr when there is none.
HKEY RootKeyFromName(const char* name);

// What went wrong in the calling thread's last failed registry call, for
// messages to people: e.g. the file name, line and reason of a hive file that
// does not parse (ERROR_BADDB), or the file that could not be written. Such a
// hive file is also reported once through OutputDebugStringA.
const char* RegistryErrorText();

} // namespace olvani
