// The data the whole engine shares: the BOOTP message on the wire, the
// hardware-type tables, the reference-counted values a template lends to the
// entries that use it, and HostEntry, one host of the table file in memory.
#pragma once

#include <cstddef>
#include <cstdint>

// Fixed RFC 951 layout; all multi-byte fields in network byte order.
namespace bootp_offset {
constexpr size_t op = 0;
constexpr size_t htype = 1;
constexpr size_t hlen = 2;
constexpr size_t hops = 3;
constexpr size_t xid = 4;
constexpr size_t secs = 8;
constexpr size_t ciaddr = 12;
constexpr size_t yiaddr = 16;
constexpr size_t siaddr = 20;
constexpr size_t giaddr = 24;
constexpr size_t chaddr = 28;
constexpr size_t sname = 44;
constexpr size_t file = 108;
constexpr size_t vend = 236;
} // namespace bootp_offset

constexpr size_t kBootpChaddrSize = 16;
constexpr size_t kBootpSnameSize = 64;
constexpr size_t kBootpFileSize = 128;
constexpr size_t kBootpVendSize = 64;
constexpr size_t kBootpPacketSize = 300; // minimum request and exact reply length
constexpr size_t kReceiveBufferSize = 1024;

constexpr uint8_t BOOTREQUEST = 1;
constexpr uint8_t BOOTREPLY = 2;

// The message as laid out on the wire (300 bytes, no padding).
struct BootpPacket {
    uint8_t op;
    uint8_t htype;
    uint8_t hlen;
    uint8_t hops;
    uint8_t xid[4];
    uint8_t secs[2];
    uint8_t unused[2];
    uint8_t ciaddr[4];
    uint8_t yiaddr[4];
    uint8_t siaddr[4];
    uint8_t giaddr[4];
    uint8_t chaddr[kBootpChaddrSize];
    uint8_t sname[kBootpSnameSize];
    uint8_t file[kBootpFileSize];
    uint8_t vend[kBootpVendSize];
};
static_assert(sizeof(BootpPacket) == kBootpPacketSize);

// Hardware types: address lengths for types 0 to 7; every other type has
// none, so hwAddrLength answers 0 for it rather than read past the table.
constexpr int kHwTypeCount = 8;
constexpr int kMaxHwAddrLength = 6;
int hwAddrLength(unsigned type);

// Type number of an `ht=` name (already lower-cased), 0 when unknown.
int HwTypeFromName(const char* name);

// Two upper-case hex digits per byte, hwAddrLength(type) bytes. Returns a
// static buffer that the next call overwrites.
const char* HwAddrText(const uint8_t* bytes, unsigned type);

extern const uint8_t kRfc1048Cookie[4];
extern const uint8_t kCmuCookie[4];

// Every block the engine allocates comes cleared from here; when memory runs
// out it throws std::bad_alloc, so callers never see an empty result. The
// table reader turns that into its kReadNoMemory result; the program's main
// decides what happens then.
void* EngineAlloc(size_t size);

// Reference-counted values. The creator holds 1; each further holder adds 1.
struct SharedString {
    int32_t refCount;
    // NUL-terminated characters follow the header.
    char* text() { return reinterpret_cast<char*>(this + 1); }
    const char* text() const { return reinterpret_cast<const char*>(this + 1); }
};

constexpr int kMaxListAddresses = 16;

struct AddressList {
    int32_t refCount;
    uint32_t count;
    // `count` IPv4 addresses in network order follow the header.
    uint32_t* addresses() { return reinterpret_cast<uint32_t*>(this + 1); }
    const uint32_t* addresses() const { return reinterpret_cast<const uint32_t*>(this + 1); }
};

struct GenericData {
    int32_t refCount;
    uint32_t length;
    // `length` bytes of vendor options (tag, length, data) follow.
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

SharedString* NewSharedString(const char* text, size_t length);
AddressList* NewAddressList(const uint32_t* addresses, uint32_t count);
// A block holding `previous` (may be empty) followed by `extraLength` bytes.
GenericData* NewGenericData(const GenericData* previous, const uint8_t* extra,
                            uint32_t extraLength);

// Take one more reference; each accepts an empty reference.
SharedString* HoldString(SharedString* s);
AddressList* HoldList(AddressList* list);
GenericData* HoldGeneric(GenericData* data);

// Drop one reference; the block is freed when the count reaches 0 or below.
// Each accepts an empty reference and does nothing with it.
void ReleaseString(SharedString* s);
void del_iplist(AddressList* list);
void ReleaseGeneric(GenericData* data);

// Which fields of a HostEntry are present.
enum HostFlag : uint32_t {
    HF_BOOTFILE = 1u << 0,
    HF_BOOTSIZE = 1u << 1,
    HF_BOOTSIZE_AUTO = 1u << 2,
    HF_COOKIE_SERVERS = 1u << 3,
    HF_DOMAIN_SERVERS = 1u << 4,
    HF_GATEWAYS = 1u << 5,
    HF_GENERIC = 1u << 6,
    HF_HWADDR = 1u << 7,
    HF_HOMEDIR = 1u << 8,
    HF_HWTYPE = 1u << 9,
    HF_IMPRESS_SERVERS = 1u << 10,
    HF_IPADDR = 1u << 11,
    HF_LOG_SERVERS = 1u << 12,
    HF_LPR_SERVERS = 1u << 13,
    HF_NAME_SERVERS = 1u << 14,
    HF_HOSTNAME_SPECIFIED = 1u << 15,
    HF_RLP_SERVERS = 1u << 16,
    HF_SEND_HOSTNAME = 1u << 17,
    HF_SUBNET_MASK = 1u << 18,
    HF_TIMEOFFSET = 1u << 19,
    HF_TIMEOFFSET_AUTO = 1u << 20,
    HF_TIME_SERVERS = 1u << 21,
    HF_VENDOR_MAGIC = 1u << 22,
    HF_VENDOR_MAGIC_AUTO = 1u << 23,
};

// One host of the table file. A list flag may be set with an empty list
// reference: that is a list with nothing in it.
struct HostEntry {
    uint32_t flags;
    AddressList* cookieServers;
    AddressList* domainServers;
    AddressList* gateways;
    AddressList* impressServers;
    AddressList* logServers;
    AddressList* lprServers;
    AddressList* nameServers;
    AddressList* rlpServers;
    AddressList* timeServers;
    SharedString* hostName;
    SharedString* homeDir;
    SharedString* bootFile;
    GenericData* generic;
    uint8_t vendorCookie[4];
    uint8_t hwType;
    uint8_t hwAddr[kMaxHwAddrLength];
    int32_t timeOffset;  // seconds
    uint32_t bootSize;   // 512-octet blocks
    uint32_t ipAddr;     // network order
    uint32_t subnetMask; // network order
    int32_t linkCount;   // hash tables holding this entry
};

// The nine address-list fields: their two-letter tag in the table file,
// their flag, their option code in the vendor area and their member. In tag
// order, the order the dump writes them in.
struct AddressListTag {
    char name[3];
    uint32_t flag;
    uint8_t option;
    AddressList* HostEntry::*member;
};

inline constexpr AddressListTag kAddressListTags[] = {
    {"cs", HF_COOKIE_SERVERS, 8, &HostEntry::cookieServers},
    {"ds", HF_DOMAIN_SERVERS, 6, &HostEntry::domainServers},
    {"gw", HF_GATEWAYS, 3, &HostEntry::gateways},
    {"im", HF_IMPRESS_SERVERS, 10, &HostEntry::impressServers},
    {"lg", HF_LOG_SERVERS, 7, &HostEntry::logServers},
    {"lp", HF_LPR_SERVERS, 9, &HostEntry::lprServers},
    {"ns", HF_NAME_SERVERS, 5, &HostEntry::nameServers},
    {"rl", HF_RLP_SERVERS, 11, &HostEntry::rlpServers},
    {"ts", HF_TIME_SERVERS, 4, &HostEntry::timeServers},
};

// The list field with this vendor option code, or nullptr.
inline const AddressListTag* AddressListByOption(uint8_t option) {
    for (const AddressListTag& tag : kAddressListTags) {
        if (tag.option == option) {
            return &tag;
        }
    }
    return nullptr;
}

// A cleared entry with the RFC 1048 cookie and vendorMagicAuto set.
HostEntry* NewHostEntry();
// Takes back one table membership; at 0 or below frees the entry with its
// lists, strings and generic data.
void ReleaseHost(HostEntry* entry);

// The entry's host name, or "" when it has none.
inline const char* HostNameText(const HostEntry* e) {
    return e->hostName != nullptr ? e->hostName->text() : "";
}

// Dotted decimal text of an address in network order (inet_ntoa form).
const char* IpAddrText(uint32_t networkOrderAddress);
