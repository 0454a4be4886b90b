// The last system error and the thread's error information as text.
#include "utils/last_error.h"

#include "platform/strings.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/report.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>

namespace {

// The system's text for an error in the C locale, whatever the user's locale:
// the insert goes into a message that is already translated.
std::u16string ErrorText(int error) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const char* text = cLocale ? strerror_l(error, cLocale) : "Unknown error";
    return olvani::Utf8ToUtf16(text ? text : "Unknown error");
}

} // namespace

namespace dravik {

HRESULT LastErrorResult() {
    return HRESULT_FROM_WIN32(errno);
}

HRESULT ReportLastError(UINT number, const char16_t* subject) {
    const int error = errno;
    const std::u16string text = ErrorText(error);
    ReportError(number, subject ? subject : u"", static_cast<LONG>(error), text.c_str());
    errno = error;
    return LastErrorResult();
}

} // namespace dravik

HRESULT ASVeskNTGetLastError(BSTR* text, DWORD* code) {
    const int error = errno;
    DRAVIK_REQUIRE_USABLE();
    if (!text || !code)
        return E_INVALIDARG;
    *code = static_cast<DWORD>(error);
    *text = SysAllocString(ErrorText(error).c_str());
    errno = error;
    return S_OK;
}

HRESULT ASVeskGetErrorInfo(BSTR* description) {
    DRAVIK_REQUIRE_USABLE();
    if (!description)
        return E_INVALIDARG;
    IErrorInfo* info = nullptr;
    const HRESULT hr = GetErrorInfo(0, &info);
    if (hr != S_OK)
        return hr;
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    *description = text;
    return S_OK;
}
