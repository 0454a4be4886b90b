// The per-thread error information and the plain error object.
#include "platform/oleauto.h"

#include <atomic>
#include <string>

namespace {

std::u16string Text(LPCOLESTR text) {
    return text ? std::u16string(text) : std::u16string();
}

HRESULT Hand(const std::u16string& text, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IErrorInfo)
            *object = static_cast<IErrorInfo*>(this);
        else if (iid == IID_ICreateErrorInfo)
            *object = static_cast<ICreateErrorInfo*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT GetGUID(GUID* guid) override {
        if (!guid)
            return E_POINTER;
        *guid = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return Hand(source_, source); }
    HRESULT GetDescription(BSTR* description) override { return Hand(description_, description); }
    HRESULT GetHelpFile(BSTR* helpFile) override { return Hand(helpFile_, helpFile); }
    HRESULT GetHelpContext(DWORD* helpContext) override {
        if (!helpContext)
            return E_POINTER;
        *helpContext = helpContext_;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID guid) override {
        guid_ = guid;
        return S_OK;
    }
    HRESULT SetSource(LPCOLESTR source) override {
        source_ = Text(source);
        return S_OK;
    }
    HRESULT SetDescription(LPCOLESTR description) override {
        description_ = Text(description);
        return S_OK;
    }
    HRESULT SetHelpFile(LPCOLESTR helpFile) override {
        helpFile_ = Text(helpFile);
        return S_OK;
    }
    HRESULT SetHelpContext(DWORD helpContext) override {
        helpContext_ = helpContext;
        return S_OK;
    }

private:
    ~ErrorObject() = default;

    std::atomic<ULONG> references_{1};
    GUID guid_{};
    std::u16string source_, description_, helpFile_;
    DWORD helpContext_ = 0;
};

// Releases what a thread leaves in its slot when it ends.
struct ErrorSlot {
    IErrorInfo* info = nullptr;
    ~ErrorSlot() {
        if (info)
            info->Release();
    }
};

} // namespace

// Every module of a process that links this layer statically must share one
// slot per thread, so the slot is reached through one exported symbol: the
// dynamic linker binds all copies to the first one loaded.
extern "C" __attribute__((visibility("default"))) IErrorInfo** olvani_thread_error_slot() {
    thread_local ErrorSlot slot;
    return &slot.info;
}

HRESULT CreateErrorInfo(ICreateErrorInfo** errorInfo) {
    if (!errorInfo)
        return E_POINTER;
    *errorInfo = new ErrorObject;
    return S_OK;
}

HRESULT SetErrorInfo(ULONG /*reserved*/, IErrorInfo* errorInfo) {
    IErrorInfo** slot = olvani_thread_error_slot();
    if (errorInfo)
        errorInfo->AddRef();
    IErrorInfo* old = *slot;
    *slot = errorInfo;
    if (old)
        old->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG /*reserved*/, IErrorInfo** errorInfo) {
    if (!errorInfo)
        return E_POINTER;
    IErrorInfo** slot = olvani_thread_error_slot();
    *errorInfo = *slot;
    *slot = nullptr;
    return *errorInfo ? S_OK : S_FALSE;
}
