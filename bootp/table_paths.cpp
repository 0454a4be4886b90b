// Where the table file lives, fixed once at program start from the registry.
#include "bootp/table_paths.h"

#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr char kSettingsKey[] = "SOFTWARE\\Tarvex\\Olvani\\BootpSettings";
constexpr DWORD kPathBufferSize = 260;

// The string value, or false when it cannot be read. Longer values than the
// usual buffer are read whole rather than refused.
bool QueryString(HKEY key, const char* name, std::string* value) {
    std::vector<BYTE> data(kPathBufferSize);
    DWORD size = kPathBufferSize;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, data.data(), &size);
    if (status == ERROR_MORE_DATA && size > kPathBufferSize) {
        data.resize(size);
        status = RegQueryValueExA(key, name, nullptr, nullptr, data.data(), &size);
    }
    if (status != ERROR_SUCCESS) {
        return false;
    }
    size = std::min<DWORD>(size, static_cast<DWORD>(data.size()));
    const char* text = reinterpret_cast<const char*>(data.data());
    value->assign(text, strnlen(text, size));
    return true;
}

} // namespace

TablePaths LoadTablePaths() {
    std::string path;
    HKEY key = nullptr;
    // Only reading is needed, so a registry the server may not write still works.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        if (!QueryString(key, "Bootptabfile", &path)) {
            path = "bootptab";
        }
        RegCloseKey(key);
    }
    return TablePaths{path, path + ".bak", path + ".dmp"};
}

void SetTablePath(BootpEngine& engine, const std::string& path) {
    engine.paths.table = path;
    ForgetHostTableFile(engine);
}
