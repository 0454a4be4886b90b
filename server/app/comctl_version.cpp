#include "comctl_version.h"

#include <utility>

namespace korrind {
namespace {

CommonControlsLoader& Loader() {
    static CommonControlsLoader loader;
    return loader;
}

} // namespace

CommonControlsLoader SetCommonControlsLoader(CommonControlsLoader loader) {
    return std::exchange(Loader(), std::move(loader));
}

HRESULT GetComCtlVersion(unsigned* major, unsigned* minor) {
    if (major == nullptr || minor == nullptr)
        return E_INVALIDARG;
    CommonControlsLibrary library = Loader() ? Loader()() : CommonControlsLibrary{};
    if (!library.loaded)
        return E_FAIL;
    if (!library.getVersion) {
        *major = 4;
        *minor = 0;
        return 0;
    }
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    HRESULT result = library.getVersion(&info);
    if (FAILED(result))
        return E_FAIL;
    *major = info.dwMajorVersion;
    *minor = info.dwMinorVersion;
    return result;
}

int RequireComCtl471() {
    unsigned major = 0;
    unsigned minor = 0;
    if (FAILED(GetComCtlVersion(&major, &minor)))
        return 0;
    if (major < 4 || (major == 4 && minor < 71))
        return 0;
    // The IP address control needs no registration here: it is our own widget.
    return 1;
}

} // namespace korrind
