// The least of OLE Automation that the libraries need: OLE strings (BSTR),
// GUIDs, IUnknown with reference counting, tagged variants with the
// conversions the libraries use, one- and two-dimensional safe arrays,
// in-process class creation and the per-thread error information.
//
// BSTR: a length-prefixed, NUL-terminated UTF-16 string that a library hands
// out and the receiver frees with SysFreeString. The length prefix sits just
// before the characters, as on Windows, so SysStringLen is exact even for
// strings holding NULs.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <utility>

using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using SHORT = int16_t;
using USHORT = uint16_t;
using SCODE = int32_t;

// A copy of the NUL-terminated text; nullptr for nullptr or when memory is short.
BSTR SysAllocString(const OLECHAR* text);
// `length` characters copied from `text` (zero-filled when text is nullptr).
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
// Characters, not counting the terminating NUL; 0 for nullptr.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// Memory that crosses a call boundary outside a BSTR (ProgIDFromCLSID).
void* CoTaskMemAlloc(size_t bytes);
void CoTaskMemFree(void* block);

// Results of the calls below.
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);

// ---------------------------------------------------------------------------
// GUIDs

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

bool operator==(const GUID& a, const GUID& b);
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
inline constexpr GUID GUID_NULL{};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" into `text` of `size` characters
// (39 needed); the characters written including the NUL, or 0 when too small.
int StringFromGUID2(REFGUID guid, LPOLESTR text, int size);
// The reverse; braces required. CO_E_CLASSSTRING for anything else.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);

// ---------------------------------------------------------------------------
// IUnknown: objects count their references and delete themselves at zero.

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Holds one reference; releases it when it goes.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_)
            p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out parameters: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }

private:
    T* p_ = nullptr;
};

// ---------------------------------------------------------------------------
// Variants and safe arrays

using VARTYPE = uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_VARIANT = 12; // only as a safe array's element type
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_ARRAY = 0x2000;

struct SAFEARRAY;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        double dblVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
    };
};
using VARIANTARG = VARIANT;

// Flags of VariantChangeType; accepted and ignored, the conversions never
// depend on a locale.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;

void VariantInit(VARIANT* v);
// Frees what the variant owns (string, reference, array) and empties it.
HRESULT VariantClear(VARIANT* v);
// Clears `dest`, then a deep copy: strings and arrays copied, references added.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts between VT_EMPTY, VT_I4, VT_R8 and VT_BSTR without any locale:
// "." is the decimal point, numbers are written in the shortest form that
// keeps 15 significant digits ("3.14", "1E+20"); a double becomes an integer by
// rounding half to even; text parses as a number with optional blanks around
// it. DISP_E_TYPEMISMATCH for text that is no number or a type with no
// conversion, DISP_E_OVERFLOW outside the target's range. `dest` may be `src`.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// Element types: VT_I4, VT_R8, VT_BSTR, VT_UNKNOWN, VT_VARIANT; one or two
// dimensions, `bounds[0]` describing the first. nullptr for anything else,
// for more than 16M elements, or when memory is short.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array); // frees the elements too
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
UINT SafeArrayGetDim(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// `dim` counts from 1. DISP_E_BADINDEX for a dimension the array lacks.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
// `indices` holds one index per dimension, first dimension first.
// GetElement writes a copy into `value` (a BSTR copy, an added reference, or
// a VariantCopy into an initialised VARIANT); PutElement stores a copy of
// `value` and frees what the element held: a BSTR or an IUnknown* is given
// as itself (nullptr allowed), other types by address. DISP_E_BADINDEX
// outside the bounds.
HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value);
HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, const void* value);

// ---------------------------------------------------------------------------
// Error information: one reference-counted error object per thread.

struct IErrorInfo : IUnknown {
    virtual HRESULT GetGUID(GUID* guid) = 0;
    virtual HRESULT GetSource(BSTR* source) = 0;
    virtual HRESULT GetDescription(BSTR* description) = 0;
    virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
    virtual HRESULT GetHelpContext(DWORD* helpContext) = 0;

protected:
    ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
    virtual HRESULT SetGUID(REFGUID guid) = 0;
    virtual HRESULT SetSource(LPCOLESTR source) = 0;
    virtual HRESULT SetDescription(LPCOLESTR description) = 0;
    virtual HRESULT SetHelpFile(LPCOLESTR helpFile) = 0;
    virtual HRESULT SetHelpContext(DWORD helpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};

inline constexpr IID IID_IErrorInfo{
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo{
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// A plain error object offering both interfaces.
HRESULT CreateErrorInfo(ICreateErrorInfo** errorInfo);
// Replaces the thread's error information (nullptr clears it); the slot
// holds its own reference.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo);
// Takes the thread's error information and clears the slot: S_OK with the
// reference handed to the caller, or S_FALSE and nullptr when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo);

// ---------------------------------------------------------------------------
// In-process classes

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_ALL = 0x17;

// Creates a new object and asks it for `iid`.
using ClassFactoryFunction = HRESULT (*)(REFIID iid, void** object);

// The built-in classes (the event-log component) plus those registered here.
// A class registered again replaces its entry. Returns E_INVALIDARG for a
// missing factory or ProgID.
HRESULT OlvaniRegisterClass(REFCLSID clsid, LPCOLESTR progId, ClassFactoryFunction create);
HRESULT OlvaniRevokeClass(REFCLSID clsid);

// Creates an instance of a class of the table. REGDB_E_CLASSNOTREG for an
// unknown class, CLASS_E_NOAGGREGATION when an outer object is given.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
// The class's ProgID, allocated with CoTaskMemAlloc. REGDB_E_CLASSNOTREG for
// a class that is neither in the table nor in the registry
// (HKEY_CLASSES_ROOT\CLSID\{...}\ProgID, default value).
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
// The reverse: the table, then HKEY_CLASSES_ROOT\<ProgID>\CLSID.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
