// Language resources of the product's modules: message strings, dialog
// layouts and the help file, kept apart from the code, one folder per module
// and language:
//
//   <root>/<module>/<language>/<module>.cat   message catalog (gencat), set 1,
//                                              message number = string id
//   <root>/<module>/<language>/*.ui           dialog layouts, where the module has any
//   <root>/<module>/<language>/<module>.html  the help file; context ids are anchors
//
// <root> is OLVANI_RESOURCE_DIR when set (ignored in secure-execution mode);
// otherwise the build tree's resource folder for a program run from the
// build tree, else the installed share folder. The language comes from the
// locale (LC_ALL, LC_MESSAGES, LANG: "de_DE.UTF-8" tries de_DE, then de) and
// falls back to "en".
//
// A module's name is its file name without a "lib" prefix and the ".so"
// suffix (libdravik.so -> dravik, tesslin -> tesslin), or the first part of a
// ProgID (Dravik.Registry.1 -> dravik), in lower case.
#pragma once

#include "platform/oleauto.h"

#include <string>

// The module (executable or shared library) holding `address`; nullptr when
// no loaded module does.
HMODULE OlvaniModuleFromAddress(const void* address);

// The handle of the module that includes this header: each module compiles
// its own copy, so the address is its own.
[[maybe_unused]] static HMODULE OlvaniThisModule() {
    return OlvaniModuleFromAddress(reinterpret_cast<const void*>(&OlvaniThisModule));
}

// The full path of a loaded module, or of the executable for nullptr. As on
// Windows: the characters copied without the NUL, cut to size - 1 and
// terminated when the buffer is short; 0 for an unknown module.
DWORD GetModuleFileNameW(HMODULE module, OLECHAR* buffer, DWORD size);

// Results of the resource calls.
constexpr HRESULT E_RESOURCE_MODULE_NOT_FOUND =
    HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND); // no folder for module or language
constexpr HRESULT E_MODULE_NAME_UNKNOWN = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);

// Loads the resources of the module `module` (a module handle); the handle
// received is released with FreeLibrary. E_INVALIDARG without an out
// pointer, E_MODULE_NAME_UNKNOWN when the module's file is not known,
// E_RESOURCE_MODULE_NOT_FOUND when neither the language's nor the English
// catalog exists.
LONG ASLoadResourceFile(HINSTANCE module, HINSTANCE* resourceModule);
// The same for a module named by its name or a ProgID. E_INVALIDARG for a
// name holding anything but letters, digits, "_", "-" and ".".
LONG ASLoadResourceFile2(LPCOLESTR moduleName, HINSTANCE* resourceModule);
// The help file of `module`'s resources: its full path in `helpFile`, the
// language of the folder it was found in in `second` ("en"). Both are new
// BSTRs the caller frees. `reserved` is 0.
LONG ASGetHelpFile(HINSTANCE module, LONG reserved, BSTR* helpFile, BSTR* second);

// String `id` of a resource module into `buffer` of `size` characters, cut to
// size - 1 and always terminated; the characters copied, 0 when the string or
// the module is unknown (`buffer` then holds "").
int LoadStringW(HINSTANCE resourceModule, UINT id, OLECHAR* buffer, int size);
inline int LoadString(HINSTANCE resourceModule, UINT id, OLECHAR* buffer, int size) {
    return LoadStringW(resourceModule, id, buffer, size);
}
// Releases a resource module. FALSE, and nothing happens, for a handle that
// no resource call handed out (such as a module's own handle).
BOOL FreeLibrary(HMODULE module);

namespace olvani {

// The folder of a loaded resource module ("" for an unknown handle), where a
// dialog finds its layout as <folder>/<dialog>.ui.
std::string ResourceFolder(HINSTANCE resourceModule);
// The language of a loaded resource module ("en"), "" for an unknown handle.
std::string ResourceLanguage(HINSTANCE resourceModule);

} // namespace olvani
