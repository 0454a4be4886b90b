// Variants and safe arrays.
#include "platform/oleauto.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

struct SAFEARRAY {
    VARTYPE vt;
    UINT dims;
    SAFEARRAYBOUND bounds[2];
    size_t count;
    size_t elementSize;
    unsigned char* data; // zero-filled: 0, 0.0, a null BSTR, a null reference, VT_EMPTY
};

namespace {

constexpr size_t kMaxElements = 16u << 20;

size_t ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I4:
        return sizeof(LONG);
    case VT_R8:
        return sizeof(double);
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_UNKNOWN:
        return sizeof(IUnknown*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

bool IsKnownType(VARTYPE vt) {
    if (vt & VT_ARRAY)
        return ElementSize(static_cast<VARTYPE>(vt & ~VT_ARRAY)) != 0;
    return vt == VT_EMPTY || vt == VT_I4 || vt == VT_R8 || vt == VT_BSTR || vt == VT_UNKNOWN;
}

// Releases what one element owns and leaves it zero.
void ClearElement(VARTYPE vt, void* element) {
    if (vt == VT_BSTR)
        SysFreeString(*static_cast<BSTR*>(element));
    else if (vt == VT_UNKNOWN && *static_cast<IUnknown**>(element))
        (*static_cast<IUnknown**>(element))->Release();
    else if (vt == VT_VARIANT)
        VariantClear(static_cast<VARIANT*>(element));
    std::memset(element, 0, ElementSize(vt));
}

// A copy of `src` into the zero-filled or unowned `dest`.
HRESULT CopyElement(VARTYPE vt, void* dest, const void* src) {
    switch (vt) {
    case VT_BSTR: {
        BSTR text = *static_cast<const BSTR*>(src);
        BSTR copy = text ? SysAllocStringLen(text, SysStringLen(text)) : nullptr;
        if (text && !copy)
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(dest) = copy;
        return S_OK;
    }
    case VT_UNKNOWN: {
        IUnknown* object = *static_cast<IUnknown* const*>(src);
        if (object)
            object->AddRef();
        *static_cast<IUnknown**>(dest) = object;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT*>(dest));
        return VariantCopy(static_cast<VARIANT*>(dest), static_cast<const VARIANT*>(src));
    default:
        std::memcpy(dest, src, ElementSize(vt));
        return S_OK;
    }
}

// The element at `indices`, or nullptr outside the bounds.
unsigned char* ElementAt(SAFEARRAY* array, const LONG* indices) {
    size_t offset = 0;
    size_t stride = 1;
    for (UINT d = 0; d < array->dims; ++d) {
        int64_t index = static_cast<int64_t>(indices[d]) - array->bounds[d].lLbound;
        if (index < 0 || index >= static_cast<int64_t>(array->bounds[d].cElements))
            return nullptr;
        offset += static_cast<size_t>(index) * stride;
        stride *= array->bounds[d].cElements;
    }
    return array->data + offset * array->elementSize;
}

HRESULT ParseNumber(BSTR text, double* value) {
    std::string narrow;
    for (UINT i = 0, n = SysStringLen(text); i < n; ++i) {
        if (text[i] > 0x7F)
            return DISP_E_TYPEMISMATCH;
        narrow += static_cast<char>(text[i]);
    }
    size_t first = narrow.find_first_not_of(" \t");
    size_t last = narrow.find_last_not_of(" \t");
    if (first == std::string::npos)
        return DISP_E_TYPEMISMATCH;
    std::string_view number(narrow.data() + first, last - first + 1);
    if (number.front() == '+')
        number.remove_prefix(1);
    // Only plain decimal notation: from_chars would also take "inf" and "nan".
    size_t digit = number.substr(0, 1) == "-" ? 1 : 0;
    if (digit >= number.size() ||
        !(std::isdigit(static_cast<unsigned char>(number[digit])) || number[digit] == '.'))
        return DISP_E_TYPEMISMATCH;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), *value);
    if (error == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    if (error != std::errc() || end != number.data() + number.size())
        return DISP_E_TYPEMISMATCH;
    return S_OK;
}

HRESULT ToDouble(const VARIANT* src, double* value) {
    switch (src->vt) {
    case VT_EMPTY:
        *value = 0;
        return S_OK;
    case VT_I4:
        *value = src->lVal;
        return S_OK;
    case VT_R8:
        *value = src->dblVal;
        return S_OK;
    case VT_BSTR:
        return ParseNumber(src->bstrVal, value);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToInteger(const VARIANT* src, LONG* value) {
    if (src->vt == VT_I4) {
        *value = src->lVal;
        return S_OK;
    }
    double number = 0;
    if (HRESULT hr = ToDouble(src, &number); FAILED(hr))
        return hr;
    double rounded = std::nearbyint(number); // the default mode rounds half to even
    if (!(rounded >= std::numeric_limits<LONG>::min() &&
          rounded <= std::numeric_limits<LONG>::max()))
        return DISP_E_OVERFLOW;
    *value = static_cast<LONG>(rounded);
    return S_OK;
}

HRESULT ToText(const VARIANT* src, BSTR* value) {
    char buffer[64];
    std::to_chars_result written{buffer, {}};
    switch (src->vt) {
    case VT_EMPTY:
        break;
    case VT_I4:
        written = std::to_chars(buffer, buffer + sizeof buffer, src->lVal);
        break;
    case VT_R8:
        written = std::to_chars(buffer, buffer + sizeof buffer, src->dblVal,
                                std::chars_format::general, 15);
        break;
    case VT_BSTR:
        *value = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        return *value ? S_OK : E_OUTOFMEMORY;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    OLECHAR wide[64];
    size_t length = static_cast<size_t>(written.ptr - buffer);
    for (size_t i = 0; i < length; ++i)
        wide[i] = static_cast<OLECHAR>(buffer[i] == 'e' ? 'E' : buffer[i]);
    *value = SysAllocStringLen(wide, static_cast<UINT>(length));
    return *value ? S_OK : E_OUTOFMEMORY;
}

} // namespace

void VariantInit(VARIANT* v) {
    if (!v)
        return;
    std::memset(v, 0, sizeof *v);
}

HRESULT VariantClear(VARIANT* v) {
    if (!v)
        return E_INVALIDARG;
    if (!IsKnownType(v->vt))
        return DISP_E_BADVARTYPE;
    if (v->vt & VT_ARRAY)
        SafeArrayDestroy(v->parray);
    else if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if (v->vt == VT_UNKNOWN && v->punkVal)
        v->punkVal->Release();
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    if (!IsKnownType(src->vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *src;
    if (src->vt & VT_ARRAY) {
        copy.parray = nullptr;
        if (src->parray)
            if (HRESULT hr = SafeArrayCopy(src->parray, &copy.parray); FAILED(hr))
                return hr;
    } else if (HRESULT hr = CopyElement(src->vt, &copy.lVal, &src->lVal); FAILED(hr)) {
        return hr;
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT /*flags*/, VARTYPE vt) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (!IsKnownType(src->vt) || !IsKnownType(vt))
        return DISP_E_BADVARTYPE;
    VARIANT result;
    VariantInit(&result);
    result.vt = vt;
    HRESULT hr = S_OK;
    if (vt == VT_EMPTY) {
        // nothing to keep
    } else if (vt == src->vt) {
        hr = VariantCopy(&result, src);
    } else if (vt == VT_I4) {
        hr = ToInteger(src, &result.lVal);
    } else if (vt == VT_R8) {
        hr = ToDouble(src, &result.dblVal);
    } else if (vt == VT_BSTR) {
        hr = ToText(src, &result.bstrVal);
    } else {
        hr = DISP_E_TYPEMISMATCH;
    }
    if (FAILED(hr))
        return hr;
    VariantClear(dest); // after the conversion: dest may be src
    *dest = result;
    return S_OK;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
    size_t elementSize = ElementSize(vt);
    if (!elementSize || dims < 1 || dims > 2 || !bounds)
        return nullptr;
    size_t count = 1;
    for (UINT d = 0; d < dims; ++d) {
        count *= bounds[d].cElements;
        if (count > kMaxElements)
            return nullptr;
    }
    auto* array = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!array)
        return nullptr;
    array->vt = vt;
    array->dims = dims;
    std::memcpy(array->bounds, bounds, dims * sizeof(SAFEARRAYBOUND));
    array->count = count;
    array->elementSize = elementSize;
    array->data = static_cast<unsigned char*>(std::calloc(count ? count : 1, elementSize));
    if (!array->data) {
        std::free(array);
        return nullptr;
    }
    return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array)
        return S_OK;
    for (size_t i = 0; i < array->count; ++i)
        ClearElement(array->vt, array->data + i * array->elementSize);
    std::free(array->data);
    std::free(array);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
    if (!array || !copy)
        return E_INVALIDARG;
    *copy = nullptr;
    SAFEARRAY* result = SafeArrayCreate(array->vt, array->dims, array->bounds);
    if (!result)
        return E_OUTOFMEMORY;
    for (size_t i = 0; i < array->count; ++i) {
        size_t at = i * array->elementSize;
        if (HRESULT hr = CopyElement(array->vt, result->data + at, array->data + at); FAILED(hr)) {
            SafeArrayDestroy(result);
            return hr;
        }
    }
    *copy = result;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) {
    return array ? array->dims : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
    if (!array || !vt)
        return E_INVALIDARG;
    *vt = array->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    if (!array || !bound)
        return E_INVALIDARG;
    if (dim < 1 || dim > array->dims)
        return DISP_E_BADINDEX;
    *bound = array->bounds[dim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    if (!array || !bound)
        return E_INVALIDARG;
    if (dim < 1 || dim > array->dims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = array->bounds[dim - 1];
    int64_t upper = static_cast<int64_t>(b.lLbound) + b.cElements - 1;
    if (upper > std::numeric_limits<LONG>::max())
        return DISP_E_OVERFLOW;
    *bound = static_cast<LONG>(upper);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value) {
    if (!array || !indices || !value)
        return E_INVALIDARG;
    unsigned char* element = ElementAt(array, indices);
    if (!element)
        return DISP_E_BADINDEX;
    if (array->vt == VT_VARIANT)
        return VariantCopy(static_cast<VARIANT*>(value), reinterpret_cast<VARIANT*>(element));
    return CopyElement(array->vt, value, element);
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, const void* value) {
    if (!array || !indices || (!value && array->vt != VT_BSTR && array->vt != VT_UNKNOWN))
        return E_INVALIDARG;
    unsigned char* element = ElementAt(array, indices);
    if (!element)
        return DISP_E_BADINDEX;
    // Strings and references are given as themselves, other types by address.
    bool direct = array->vt == VT_BSTR || array->vt == VT_UNKNOWN;
    const void* source = direct ? static_cast<const void*>(&value) : value;
    alignas(VARIANT) unsigned char copy[sizeof(VARIANT)] = {};
    if (HRESULT hr = CopyElement(array->vt, copy, source); FAILED(hr))
        return hr;
    ClearElement(array->vt, element);
    std::memcpy(element, copy, array->elementSize);
    return S_OK;
}
