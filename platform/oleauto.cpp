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
