// Total and free space of the volume holding a path, in KB.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/last_error.h"

#include <cerrno>
#include <climits>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr UINT kDiskSpaceError = 21;
constexpr size_t kCurrentFolderRoom = 1024;

// The outputs are 32-bit: a volume of 4 TB or more shows the largest figure
// rather than a wrapped, much smaller one.
DWORD SaturatingKb(unsigned long long units, unsigned long long unitBytes) {
    const unsigned long long kb =
        static_cast<unsigned long long>((static_cast<unsigned __int128>(units) * unitBytes) >> 10);
    return kb > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(kb);
}

HRESULT Fail(const ScopeTrace& scope, const char16_t* what, const std::u16string& path) {
    const int error = errno;
    BSTR text = nullptr;
    DWORD code = 0;
    ASVeskNTGetLastError(&text, &code);
    TraceFormat(scope, what, path.c_str());
    TraceFormat(scope, u"The error returned by NT is %d: %s.", static_cast<LONG>(code),
                text ? text : u"");
    SysFreeString(text);
    errno = error;
    return dravik::ReportLastError(kDiskSpaceError, path.c_str());
}

} // namespace

HRESULT ASVeskGetDiskSpace(const char16_t* path, DWORD* totalKb, DWORD* freeKb) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(9, u"ASVeskGetDiskSpace");
    if (!totalKb || !freeKb)
        return E_INVALIDARG;
    *totalKb = 0;
    *freeKb = 0;
    std::u16string folder = path ? path : u"";
    if (folder.empty()) {
        char current[kCurrentFolderRoom];
        if (!getcwd(current, sizeof current))
            return Fail(scope, u"Error retrieving the free disk space for the path '%s'.", u"");
        folder = olvani::Utf8ToUtf16(current);
    }
    if (folder.back() != u'/')
        folder += u'/';
    struct statvfs volume {};
    errno = 0;
    if (statvfs(olvani::Utf16ToUtf8(folder).c_str(), &volume) != 0)
        return Fail(scope, u"Error retrieving the free disk space for the path '%s'.", folder);
    *freeKb = SaturatingKb(volume.f_bavail, volume.f_frsize);
    *totalKb = SaturatingKb(volume.f_blocks, volume.f_frsize);
    return S_OK;
}
