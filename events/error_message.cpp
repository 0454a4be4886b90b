#include "events/error_message.h"

#include "events/message_builder.h"
#include "events/quessa.h"
#include "platform/resources.h"

#include <cerrno>
#include <string>

namespace quessa {

HRESULT GetProgId(const GUID& clsid, std::u16string& progId) {
    ScopeTrace scope(7, u"GetProgId");
    LPOLESTR name = nullptr;
    if (FAILED(ProgIDFromCLSID(clsid, &name)) || !name) {
        TraceFormat(scope, u"Failed to compute ProgID");
        return E_INVALIDARG;
    }
    progId = name;
    CoTaskMemFree(name);
    return S_OK;
}

HRESULT LoadMessageString(const ScopeTrace& scope, HMODULE module, UINT id, std::u16string& text) {
    // A code module's strings live in its resource module.
    HMODULE loaded = nullptr;
    if (olvani::ResourceFolder(module).empty() && FAILED(ASLoadResourceFile(module, &loaded)))
        loaded = nullptr;
    OLECHAR buffer[kResourceStringCapacity];
    int length =
        LoadString(loaded ? loaded : module, id, buffer, static_cast<int>(kResourceStringCapacity));
    if (loaded)
        FreeLibrary(loaded);
    if (length <= 0) {
        TraceFormat(scope, u"Failed to load string %d", static_cast<int>(id));
        return QUESSA_E_STRING_NOT_FOUND;
    }
    text.assign(buffer, static_cast<size_t>(length));
    return S_OK;
}

namespace {

// Loads the resource module of the source, tracing why when there is none.
HRESULT LoadResources(const ScopeTrace& scope, const MessageSource& source, HMODULE& resources) {
    if (source.name) {
        HRESULT hr = ASLoadResourceFile2(source.name, &resources);
        if (FAILED(hr))
            TraceFormat(scope, u"Unable to find a resource file for '%s'", source.name);
        return hr;
    }
    HRESULT hr = ASLoadResourceFile(source.module, &resources);
    if (SUCCEEDED(hr))
        return hr;
    int lastError = errno;
    OLECHAR path[4096];
    DWORD length = GetModuleFileNameW(source.module, path, sizeof path / sizeof path[0]);
    if (length == 0) {
        TraceFormat(scope, u"Unable to find a resource file (LastErr %d)", lastError);
        return hr;
    }
    std::u16string_view file(path, length);
    size_t slash = file.find_last_of(u'/');
    std::u16string name(slash == file.npos ? file : file.substr(slash + 1));
    TraceFormat(scope, u"Unable to find a resource file for '%s'", name.c_str());
    return hr;
}

} // namespace

HRESULT ComputeErrorMsg(const MessageSource& source, UINT resId, const OLECHAR* extra,
                        DWORD lastError, std::u16string& text) {
    ScopeTrace scope(6, u"ComputeErrorMsg");
    text.clear();
    if (resId == 0) {
        TraceFormat(scope, u"NULL resourceID specified");
        return E_INVALIDARG;
    }
    HMODULE resources = nullptr;
    HRESULT hr = LoadResources(scope, source, resources);
    if (FAILED(hr))
        return hr;
    hr = LoadMessageString(scope, resources, resId, text);
    FreeLibrary(resources);
    if (FAILED(hr))
        return hr;
    if (extra) {
        text += u' ';
        text += extra;
    }
    if (lastError != 0) {
        TraceFormat(scope, u"Last error = %d", static_cast<int>(lastError));
        text += u" (GetLastError= ";
        for (char c : std::to_string(lastError))
            text += static_cast<char16_t>(c);
        text += u')';
    }
    return S_OK;
}

HRESULT ResourceMessage(const ScopeTrace& scope, const MessageSource& source, UINT resId,
                        DWORD lastError, va_list* args, std::u16string& text) {
    std::u16string format;
    HRESULT hr = ComputeErrorMsg(source, resId, nullptr, lastError, format);
    if (FAILED(hr)) {
        TraceFormat(scope, u"Unable to load error msg");
        return hr;
    }
    // Without an argument list, only a message without conversions can be built.
    hr = args ? SubstituteCArgs(format, *args, text) : SubstituteVBArgs(format, nullptr, text);
    if (FAILED(hr))
        TraceFormat(scope, u"Unable to compute error msg");
    return hr;
}

} // namespace quessa
