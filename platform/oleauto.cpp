#include "platform/oleauto.h"

#include <cstdlib>
#include <cstring>

namespace {

// The byte count is stored in the 4 bytes before the first character.
UINT* Prefix(BSTR text) {
    return reinterpret_cast<UINT*>(reinterpret_cast<char*>(text) - sizeof(UINT));
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (0x7FFFFFFFu - sizeof(UINT) - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(sizeof(UINT) + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    UINT byteCount = static_cast<UINT>(bytes);
    std::memcpy(block, &byteCount, sizeof byteCount);
    BSTR result = reinterpret_cast<BSTR>(block + sizeof(UINT));
    if (text)
        std::memcpy(result, text, bytes);
    else
        std::memset(result, 0, bytes);
    result[length] = u'\0';
    return result;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text)
        return nullptr;
    UINT length = 0;
    while (text[length])
        ++length;
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
    if (text)
        std::free(Prefix(text));
}

UINT SysStringByteLen(BSTR text) {
    if (!text)
        return 0;
    UINT bytes;
    std::memcpy(&bytes, Prefix(text), sizeof bytes);
    return bytes;
}

UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

void* CoTaskMemAlloc(size_t bytes) {
    return std::malloc(bytes ? bytes : 1);
}

void CoTaskMemFree(void* block) {
    std::free(block);
}

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The positions of the 16 bytes' hex pairs in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
constexpr int kPairAt[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
constexpr int kGuidTextLength = 38;

void GuidBytes(REFGUID guid, uint8_t bytes[16]) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(guid.Data1 >> (24 - 8 * i));
    bytes[4] = static_cast<uint8_t>(guid.Data2 >> 8);
    bytes[5] = static_cast<uint8_t>(guid.Data2);
    bytes[6] = static_cast<uint8_t>(guid.Data3 >> 8);
    bytes[7] = static_cast<uint8_t>(guid.Data3);
    std::memcpy(bytes + 8, guid.Data4, 8);
}

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

} // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR text, int size) {
    if (!text || size < kGuidTextLength + 1)
        return 0;
    uint8_t bytes[16];
    GuidBytes(guid, bytes);
    const char* frame = "{00000000-0000-0000-0000-000000000000}";
    for (int i = 0; i < kGuidTextLength; ++i)
        text[i] = static_cast<OLECHAR>(frame[i]);
    for (int i = 0; i < 16; ++i) {
        text[kPairAt[i]] = static_cast<OLECHAR>(kHexDigits[bytes[i] >> 4]);
        text[kPairAt[i] + 1] = static_cast<OLECHAR>(kHexDigits[bytes[i] & 0xF]);
    }
    text[kGuidTextLength] = u'\0';
    return kGuidTextLength + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!text || !clsid)
        return E_INVALIDARG;
    const char* frame = "{00000000-0000-0000-0000-000000000000}";
    uint8_t bytes[16] = {};
    for (int i = 0; i < kGuidTextLength; ++i) {
        if (frame[i] != '0' && text[i] != static_cast<OLECHAR>(frame[i]))
            return CO_E_CLASSSTRING;
        if (frame[i] == '0' && HexValue(text[i]) < 0)
            return CO_E_CLASSSTRING;
    }
    if (text[kGuidTextLength] != u'\0')
        return CO_E_CLASSSTRING;
    for (int i = 0; i < 16; ++i)
        bytes[i] =
            static_cast<uint8_t>(HexValue(text[kPairAt[i]]) << 4 | HexValue(text[kPairAt[i] + 1]));
    clsid->Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                   static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    clsid->Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    clsid->Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(clsid->Data4, bytes + 8, 8);
    return S_OK;
}
