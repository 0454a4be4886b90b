// The common-controls version gate in front of every dialog with IP address
// fields. The "library" is our IpAddressEdit widget: its version function
// answers for the IP address control. Loading it goes through a seam so the
// comparison can be checked against versions that never shipped here.
#pragma once

#include "platform/wintypes.h"

#include <functional>

namespace korrind {

struct DLLVERSIONINFO {
    DWORD cbSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformID;
};

using DllGetVersionFunction = std::function<HRESULT(DLLVERSIONINFO*)>;

// What loading the controls library gave: whether it loaded, and its version
// function, empty when the library has none.
struct CommonControlsLibrary {
    bool loaded = false;
    DllGetVersionFunction getVersion;
};

using CommonControlsLoader = std::function<CommonControlsLibrary()>;

// Installs the loader GetComCtlVersion uses; returns the previous one. The
// application installs the IpAddressEdit one at start-up.
CommonControlsLoader SetCommonControlsLoader(CommonControlsLoader loader);

// Major and minor version of the controls library. E_INVALIDARG for a null
// pointer, E_FAIL when the library does not load or its version function
// fails. A library without a version function counts as 4.0.
HRESULT GetComCtlVersion(unsigned* major, unsigned* minor);

// 1 when the IP address control is at least version 4.71, else 0.
int RequireComCtl471();

} // namespace korrind
