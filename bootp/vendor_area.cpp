#include "bootp/vendor_area.h"

#include <cstring>

namespace {

constexpr uint8_t kTagSubnetMask = 1;
constexpr uint8_t kOptionGateways = 3;
// The list options sent after the boot size, in the order they go out;
// gateways go with the mask and impress servers are never sent.
constexpr uint8_t kListOrder[] = {6, 5, 11, 4, 7, 9, 8};
constexpr uint8_t kTagTimeOffset = 2;
constexpr uint8_t kTagHostName = 12;
constexpr uint8_t kTagBootSize = 13;
constexpr uint8_t kTagPad = 0;
constexpr uint8_t kTagEnd = 255;

// Write position in the area and the bytes left behind it.
struct VendorWriter {
    uint8_t* at;
    int left;

    void Byte(uint8_t b) {
        *at++ = b;
        --left;
    }
    void Bytes(const void* data, size_t length) {
        std::memcpy(at, data, length);
        at += length;
        left -= static_cast<int>(length);
    }
    void Long(uint32_t value) {
        const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24),
                                  static_cast<uint8_t>(value >> 16),
                                  static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        Bytes(bytes, 4);
    }

    // As many of the addresses as fit, keeping `reserve` bytes free; the
    // ones that do not fit are dropped.
    void AddressOption(uint8_t tag, const AddressList* list, int reserve = 0) {
        if (list == nullptr || list->count == 0 || left - reserve < 6) {
            return;
        }
        Byte(tag);
        uint8_t* length = at;
        Byte(0);
        uint32_t written = 0;
        while (left - reserve >= 4 && written < list->count) {
            Bytes(&list->addresses()[written++], 4); // already in network order
        }
        *length = static_cast<uint8_t>(4 * written);
    }

    // The whole name, or its first label when only that fits.
    void HostName(const char* name) {
        size_t length = std::strlen(name);
        if (static_cast<int>(length) + 2 > left) {
            length = std::strcspn(name, ".");
        }
        if (static_cast<int>(length) + 2 > left) {
            return;
        }
        Byte(kTagHostName);
        Byte(static_cast<uint8_t>(length));
        Bytes(name, length);
    }

    // Stored options in order; one that does not fit is skipped whole.
    void Generic(const GenericData* data) {
        const uint8_t* bytes = data->bytes();
        uint32_t length = data->length;
        for (uint32_t i = 0; i < length && left >= 1;) {
            uint8_t tag = bytes[i];
            if (tag == kTagPad) {
                Byte(tag);
                ++i;
                continue;
            }
            if (tag == kTagEnd || i + 1 >= length) {
                return;
            }
            uint32_t size = bytes[i + 1] + 2u;
            if (static_cast<int>(size) <= left && i + size <= length) {
                Bytes(bytes + i, size);
            }
            i += size;
        }
    }
};

} // namespace

void FillVendorArea(uint8_t* packet, const HostEntry* e, uint32_t fileSize,
                    int32_t autoTimeOffset) {
    VendorWriter area{packet + bootp_offset::vend, static_cast<int>(kBootpVendSize)};
    area.Bytes(kRfc1048Cookie, 4);
    uint32_t flags = e->flags;
    // The three fixed-size options always fit behind the cookie.
    if (flags & HF_TIMEOFFSET) {
        int32_t offset = (flags & HF_TIMEOFFSET_AUTO) ? autoTimeOffset : e->timeOffset;
        area.Byte(kTagTimeOffset);
        area.Byte(4);
        area.Long(static_cast<uint32_t>(offset));
    }
    if (flags & HF_SUBNET_MASK) {
        area.Byte(kTagSubnetMask);
        area.Byte(4);
        area.Bytes(&e->subnetMask, 4);
        // Gateways mean nothing to a client without its mask. They leave room
        // for the boot size that follows, which is written unchecked.
        if (flags & HF_GATEWAYS) {
            area.AddressOption(kOptionGateways, e->gateways, (flags & HF_BOOTSIZE) ? 4 : 0);
        }
    }
    if (flags & HF_BOOTSIZE) {
        uint32_t blocks = (flags & HF_BOOTSIZE_AUTO) ? fileSize / 512 + 1 : e->bootSize;
        area.Byte(kTagBootSize);
        area.Byte(2);
        area.Byte(static_cast<uint8_t>(blocks >> 8));
        area.Byte(static_cast<uint8_t>(blocks));
    }
    for (uint8_t option : kListOrder) {
        const AddressListTag* tag = AddressListByOption(option);
        if (flags & tag->flag) {
            area.AddressOption(option, e->*tag->member);
        }
    }
    uint32_t sendName = HF_HOSTNAME_SPECIFIED | HF_SEND_HOSTNAME;
    if ((flags & sendName) == sendName && e->hostName != nullptr) {
        area.HostName(e->hostName->text());
    }
    if ((flags & HF_GENERIC) && e->generic != nullptr) {
        area.Generic(e->generic);
    }
    if (area.left >= 1) {
        area.Byte(kTagEnd);
    }
}
