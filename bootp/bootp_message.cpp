#include "bootp/bootp_message.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {

constexpr int kHwAddrLengths[kHwTypeCount] = {0, 6, 1, 0, 1, 0, 6, 0};

struct HwTypeName {
    const char* name;
    int type;
};

// Searched in this order; "arcnet" is known but its type is refused later.
constexpr HwTypeName kHwTypeNames[] = {
    {"ethernet", 1},   {"ethernet3", 2}, {"ether", 1}, {"ether3", 2}, {"ieee802", 6}, {"tr", 6},
    {"token-ring", 6}, {"pronet", 4},    {"chaos", 5}, {"arcnet", 7}, {"ax.25", 3},
};

} // namespace

const uint8_t kRfc1048Cookie[4] = {99, 130, 83, 99};
const uint8_t kCmuCookie[4] = {'C', 'M', 'U', 0};

int hwAddrLength(unsigned type) {
    return type < kHwTypeCount ? kHwAddrLengths[type] : 0;
}

int HwTypeFromName(const char* name) {
    for (const HwTypeName& row : kHwTypeNames) {
        if (std::strcmp(row.name, name) == 0) {
            return row.type;
        }
    }
    return 0;
}

const char* HwAddrText(const uint8_t* bytes, unsigned type) {
    static char text[2 * kMaxHwAddrLength + 1];
    static const char digits[] = "0123456789ABCDEF";
    int length = hwAddrLength(type);
    for (int i = 0; i < length; ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    text[2 * length] = '\0';
    return text;
}

const char* IpAddrText(uint32_t networkOrderAddress) {
    in_addr address{};
    address.s_addr = networkOrderAddress;
    return inet_ntoa(address);
}

void* EngineAlloc(size_t size) {
    void* block = std::calloc(1, size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

SharedString* NewSharedString(const char* text, size_t length) {
    auto* s = static_cast<SharedString*>(EngineAlloc(sizeof(SharedString) + length + 1));
    s->refCount = 1;
    std::memcpy(s->text(), text, length);
    return s;
}

AddressList* NewAddressList(const uint32_t* addresses, uint32_t count) {
    auto* list =
        static_cast<AddressList*>(EngineAlloc(sizeof(AddressList) + count * sizeof(uint32_t)));
    list->refCount = 1;
    list->count = count;
    std::memcpy(list->addresses(), addresses, count * sizeof(uint32_t));
    return list;
}

GenericData* NewGenericData(const GenericData* previous, const uint8_t* extra,
                            uint32_t extraLength) {
    uint32_t oldLength = previous != nullptr ? previous->length : 0;
    auto* data =
        static_cast<GenericData*>(EngineAlloc(sizeof(GenericData) + oldLength + extraLength));
    data->refCount = 1;
    data->length = oldLength + extraLength;
    if (oldLength != 0) {
        std::memcpy(data->bytes(), previous->bytes(), oldLength);
    }
    if (extraLength != 0) {
        std::memcpy(data->bytes() + oldLength, extra, extraLength);
    }
    return data;
}

SharedString* HoldString(SharedString* s) {
    if (s != nullptr) {
        ++s->refCount;
    }
    return s;
}

AddressList* HoldList(AddressList* list) {
    if (list != nullptr) {
        ++list->refCount;
    }
    return list;
}

GenericData* HoldGeneric(GenericData* data) {
    if (data != nullptr) {
        ++data->refCount;
    }
    return data;
}

void ReleaseString(SharedString* s) {
    if (s != nullptr && --s->refCount <= 0) {
        std::free(s);
    }
}

void del_iplist(AddressList* list) {
    if (list != nullptr && --list->refCount <= 0) {
        std::free(list);
    }
}

void ReleaseGeneric(GenericData* data) {
    if (data != nullptr && --data->refCount <= 0) {
        std::free(data);
    }
}

HostEntry* NewHostEntry() {
    auto* entry = static_cast<HostEntry*>(EngineAlloc(sizeof(HostEntry)));
    entry->flags = HF_VENDOR_MAGIC_AUTO;
    std::memcpy(entry->vendorCookie, kRfc1048Cookie, sizeof kRfc1048Cookie);
    return entry;
}

void ReleaseHost(HostEntry* entry) {
    if (entry == nullptr || --entry->linkCount > 0) {
        return;
    }
    for (const AddressListTag& tag : kAddressListTags) {
        del_iplist(entry->*tag.member);
    }
    ReleaseString(entry->hostName);
    ReleaseString(entry->homeDir);
    ReleaseString(entry->bootFile);
    ReleaseGeneric(entry->generic);
    std::free(entry);
}
