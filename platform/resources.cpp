#include "platform/resources.h"

#include "platform/strings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <mutex>
#include <nl_types.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

#ifndef OLVANI_BUILD_DIR
#error                                                                                             \
    "the build defines OLVANI_BUILD_DIR, OLVANI_BUILD_RESOURCE_DIR and OLVANI_INSTALL_RESOURCE_DIR"
#endif

namespace {

constexpr size_t kMaxNameLength = 128;

struct ResourceModule {
    nl_catd catalog;
    std::string folder;
    std::string language;
};

struct LoadedModules {
    std::mutex lock;
    std::unordered_set<const ResourceModule*> live;
};

} // namespace

// One set of loaded resource modules per process, whichever module of it
// loaded them; reached through one exported symbol so that every copy of
// this layer that modules link statically uses the first one loaded.
extern "C" __attribute__((visibility("default"))) void* olvani_loaded_resource_modules() {
    static LoadedModules modules;
    return &modules;
}

namespace {

LoadedModules& Loaded() {
    return *static_cast<LoadedModules*>(olvani_loaded_resource_modules());
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The resource module name of a module file or a ProgID; "" when the name
// holds characters that cannot name a folder of ours.
std::string ModuleName(std::string name) {
    if (size_t slash = name.find_last_of("/\\"); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (name.empty() || name.size() > kMaxNameLength)
        return {};
    for (unsigned char c : name)
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.')
            return {};
    size_t so = name.find(".so");
    if (so != std::string::npos && (so + 3 == name.size() || name[so + 3] == '.')) {
        name.erase(so);
        if (name.rfind("lib", 0) == 0 && name.size() > 3)
            name.erase(0, 3);
    }
    name = Lower(name.substr(0, name.find('.')));
    return name;
}

std::string ModuleFilePath(HMODULE module) {
    char path[PATH_MAX];
    Dl_info info{};
    auto entry = reinterpret_cast<const void*>(getauxval(AT_ENTRY));
    bool executable = !module || (dladdr(entry, &info) && info.dli_fbase == module);
    if (executable) {
        ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
    }
    if (!dladdr(module, &info) || info.dli_fbase != module || !info.dli_fname)
        return {};
    return info.dli_fname;
}

// Where resource folders are looked for, in order.
std::vector<std::string> Roots() {
    if (const char* root = secure_getenv("OLVANI_RESOURCE_DIR"); root && *root)
        return {root};
    std::vector<std::string> roots;
    std::string self = ModuleFilePath(OlvaniThisModule());
    if (self.rfind(OLVANI_BUILD_DIR "/", 0) == 0)
        roots.push_back(OLVANI_BUILD_RESOURCE_DIR);
    roots.push_back(OLVANI_INSTALL_RESOURCE_DIR);
    return roots;
}

// The languages to try: the locale's, then its language alone, then English.
std::vector<std::string> Languages() {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    locale = locale.substr(0, locale.find_first_of(".@"));
    bool usable = !locale.empty() && locale.size() <= 16 && locale != "C" && locale != "POSIX" &&
                  std::all_of(locale.begin(), locale.end(),
                              [](unsigned char c) { return std::isalpha(c) || c == '_'; });
    std::vector<std::string> languages;
    if (usable) {
        languages.push_back(locale);
        if (size_t underscore = locale.find('_'); underscore != std::string::npos)
            languages.push_back(locale.substr(0, underscore));
    }
    if (std::find(languages.begin(), languages.end(), "en") == languages.end())
        languages.push_back("en");
    return languages;
}

bool IsRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The first folder <root>/<name>/<language> holding <name><suffix>.
bool FindFolder(const std::string& name, const char* suffix, std::string& folder,
                std::string& language) {
    for (const std::string& root : Roots()) {
        for (const std::string& candidate : Languages()) {
            std::string path = root + "/" + name + "/" + candidate;
            if (IsRegularFile(path + "/" + name + suffix)) {
                folder = path;
                language = candidate;
                return true;
            }
        }
    }
    return false;
}

LONG LoadByName(const std::string& name, HINSTANCE* resourceModule) {
    std::string folder, language;
    if (!FindFolder(name, ".cat", folder, language))
        return E_RESOURCE_MODULE_NOT_FOUND;
    nl_catd catalog = catopen((folder + "/" + name + ".cat").c_str(), 0);
    if (catalog == reinterpret_cast<nl_catd>(-1))
        return E_RESOURCE_MODULE_NOT_FOUND;
    auto* module = new ResourceModule{catalog, folder, language};
    LoadedModules& loaded = Loaded();
    std::lock_guard guard(loaded.lock);
    loaded.live.insert(module);
    *resourceModule = module;
    return S_OK;
}

const ResourceModule* Live(LoadedModules& loaded, HINSTANCE handle) {
    auto* module = static_cast<const ResourceModule*>(handle);
    return loaded.live.count(module) ? module : nullptr;
}

} // namespace

HMODULE OlvaniModuleFromAddress(const void* address) {
    Dl_info info{};
    return address && dladdr(address, &info) ? info.dli_fbase : nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, OLECHAR* buffer, DWORD size) {
    std::string path = ModuleFilePath(module);
    if (path.empty() || !buffer || size == 0)
        return 0;
    std::u16string wide = olvani::Utf8ToUtf16(path);
    size_t copied = std::min<size_t>(wide.size(), size - 1);
    std::copy_n(wide.begin(), copied, buffer);
    buffer[copied] = u'\0';
    return static_cast<DWORD>(copied);
}

LONG ASLoadResourceFile(HINSTANCE module, HINSTANCE* resourceModule) {
    if (!resourceModule)
        return E_INVALIDARG;
    *resourceModule = nullptr;
    std::string name = ModuleName(ModuleFilePath(module));
    if (name.empty())
        return E_MODULE_NAME_UNKNOWN;
    return LoadByName(name, resourceModule);
}

LONG ASLoadResourceFile2(LPCOLESTR moduleName, HINSTANCE* resourceModule) {
    if (!resourceModule)
        return E_INVALIDARG;
    *resourceModule = nullptr;
    if (!moduleName || olvani::U16Length(moduleName) > kMaxNameLength)
        return E_INVALIDARG;
    std::string given = olvani::Utf16ToUtf8(moduleName);
    if (given.find_first_of("/\\") != std::string::npos)
        return E_INVALIDARG;
    std::string name = ModuleName(given);
    if (name.empty())
        return E_INVALIDARG;
    return LoadByName(name, resourceModule);
}

LONG ASGetHelpFile(HINSTANCE module, LONG /*reserved*/, BSTR* helpFile, BSTR* second) {
    if (!helpFile || !second)
        return E_INVALIDARG;
    *helpFile = *second = nullptr;
    std::string name = ModuleName(ModuleFilePath(module));
    if (name.empty())
        return E_MODULE_NAME_UNKNOWN;
    std::string folder, language;
    if (!FindFolder(name, ".html", folder, language))
        return E_RESOURCE_MODULE_NOT_FOUND;
    std::u16string path = olvani::Utf8ToUtf16(folder + "/" + name + ".html");
    std::u16string tag = olvani::Utf8ToUtf16(language);
    *helpFile = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    *second = SysAllocStringLen(tag.data(), static_cast<UINT>(tag.size()));
    return *helpFile && *second ? S_OK : E_OUTOFMEMORY;
}

int LoadStringW(HINSTANCE resourceModule, UINT id, OLECHAR* buffer, int size) {
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = u'\0';
    LoadedModules& loaded = Loaded();
    std::lock_guard guard(loaded.lock);
    const ResourceModule* module = Live(loaded, resourceModule);
    if (!module || id == 0 || id > INT_MAX)
        return 0;
    const char* text = catgets(module->catalog, NL_SETD, static_cast<int>(id), nullptr);
    if (!text)
        return 0;
    std::u16string wide = olvani::Utf8ToUtf16(text);
    size_t copied = std::min<size_t>(wide.size(), static_cast<size_t>(size) - 1);
    std::copy_n(wide.begin(), copied, buffer);
    buffer[copied] = u'\0';
    return static_cast<int>(copied);
}

BOOL FreeLibrary(HMODULE module) {
    LoadedModules& loaded = Loaded();
    std::lock_guard guard(loaded.lock);
    const ResourceModule* resource = Live(loaded, module);
    if (!resource)
        return FALSE;
    loaded.live.erase(resource);
    catclose(resource->catalog);
    delete resource;
    return TRUE;
}

namespace olvani {

std::string ResourceFolder(HINSTANCE resourceModule) {
    LoadedModules& loaded = Loaded();
    std::lock_guard guard(loaded.lock);
    const ResourceModule* module = Live(loaded, resourceModule);
    return module ? module->folder : std::string();
}

std::string ResourceLanguage(HINSTANCE resourceModule) {
    LoadedModules& loaded = Loaded();
    std::lock_guard guard(loaded.lock);
    const ResourceModule* module = Live(loaded, resourceModule);
    return module ? module->language : std::string();
}

} // namespace olvani
