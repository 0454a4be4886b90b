// Turns one entry's text into a HostEntry: the tags and the template step.
#include "bootp/bootptab_parser.h"
#include "bootp/bootptab_scan.h"
#include "bootp/hash_table.h"

#include <cstring>
#include <iterator>

namespace {

using namespace bootptab_scan;

constexpr size_t kGenericStringCapacity = 62; // at most 61 data characters
constexpr int kMaxGenericHexBytes = 62;

enum class Form { Bare, Set, Remove };

enum class Symbol {
    bf,
    cs,
    ds,
    gw,
    ha,
    hd,
    ht,
    im,
    ip,
    lg,
    lp,
    ns,
    rl,
    sm,
    to,
    ts,
    vm,
    tc,
    hn,
    bs
};

constexpr char kSymbolNames[][3] = {"bf", "cs", "ds", "gw", "ha", "hd", "ht", "im", "ip", "lg",
                                    "lp", "ns", "rl", "sm", "to", "ts", "vm", "tc", "hn", "bs"};

bool FindSymbol(const char* p, Symbol* symbol) {
    for (size_t i = 0; i < std::size(kSymbolNames); ++i) {
        if (p[0] == kSymbolNames[i][0] && p[1] == kSymbolNames[i][1]) {
            *symbol = static_cast<Symbol>(i);
            return true;
        }
    }
    return false;
}

const AddressListTag* FindListTag(Symbol symbol) {
    const char* name = kSymbolNames[static_cast<size_t>(symbol)];
    for (const AddressListTag& tag : kAddressListTags) {
        if (tag.name[0] == name[0] && tag.name[1] == name[1]) {
            return &tag;
        }
    }
    return nullptr;
}

void SetFlag(HostEntry* e, uint32_t flag, bool on) {
    e->flags = on ? (e->flags | flag) : (e->flags & ~flag);
}

int ParseList(const char*& p, HostEntry* e, const AddressListTag& tag, Form form) {
    if (form == Form::Bare) {
        return kTagSyntax;
    }
    del_iplist(e->*tag.member);
    e->*tag.member = nullptr;
    if (form == Form::Remove) {
        SetFlag(e, tag.flag, false);
        return kTagDone;
    }
    uint32_t addresses[kMaxListAddresses];
    int count = ScanAddressList(p, addresses);
    if (count > 0) {
        e->*tag.member = NewAddressList(addresses, static_cast<uint32_t>(count));
    }
    SetFlag(e, tag.flag, true);
    return kTagDone;
}

int ParseStringTag(const char*& p, SharedString*& value, uint32_t flag, HostEntry* e, Form form) {
    if (form == Form::Bare) {
        return kTagSyntax;
    }
    ReleaseString(value);
    value = nullptr;
    if (form == Form::Remove) {
        SetFlag(e, flag, false);
        return kTagDone;
    }
    char text[kStringCapacity];
    size_t length = ScanString(p, text, sizeof text);
    value = NewSharedString(text, length);
    SetFlag(e, flag, true);
    return kTagDone;
}

int ParseAddressTag(const char*& p, uint32_t* value, uint32_t flag, HostEntry* e, Form form,
                    int failure) {
    if (form == Form::Bare) {
        return kTagSyntax;
    }
    if (form == Form::Set) {
        if (!ScanAddress(&p, value)) {
            return failure;
        }
    }
    SetFlag(e, flag, form == Form::Set);
    return kTagDone;
}

int ParseHwAddr(const char*& p, HostEntry* e) {
    if (!(e->flags & HF_HWTYPE) || e->hwType == 0) {
        return kTagBadHwAddress;
    }
    uint8_t bytes[kMaxHwAddrLength];
    int length = hwAddrLength(e->hwType);
    for (int i = 0; i < length; ++i) {
        if (*p == '.') {
            ++p;
        }
        if (!ScanHexByte(p, &bytes[i])) {
            return kTagBadHwAddress;
        }
    }
    std::memcpy(e->hwAddr, bytes, static_cast<size_t>(length));
    e->flags |= HF_HWADDR;
    return kTagDone;
}

int ParseHwType(const char*& p, HostEntry* e) {
    SkipSpace(p);
    uint32_t type = 0;
    if (IsDigit(*p)) {
        type = ScanNumber(p);
    } else {
        char name[kStringCapacity];
        ScanString(p, name, sizeof name);
        for (char* c = name; *c != '\0'; ++c) {
            if (*c >= 'A' && *c <= 'Z') {
                *c = static_cast<char>(*c - 'A' + 'a');
            }
        }
        type = static_cast<uint32_t>(HwTypeFromName(name));
    }
    if (type < 1 || type > 6) {
        return kTagBadHwType;
    }
    e->hwType = static_cast<uint8_t>(type);
    e->flags |= HF_HWTYPE;
    return kTagDone;
}

int ParseTimeOffset(const char*& p, HostEntry* e) {
    char text[kStringCapacity];
    ScanString(p, text, sizeof text);
    if (StartsWith(text, "auto")) {
        e->flags |= HF_TIMEOFFSET_AUTO;
    } else {
        if (!ScanTimeOffset(text, &e->timeOffset)) {
            return kTagBadTimeOffset;
        }
        e->flags &= ~HF_TIMEOFFSET_AUTO;
    }
    e->flags |= HF_TIMEOFFSET;
    return kTagDone;
}

int ParseVendorMagic(const char*& p, HostEntry* e) {
    if (StartsWith(p, "auto")) {
        e->flags |= HF_VENDOR_MAGIC_AUTO;
    } else {
        if (StartsWith(p, "rfc1048") || StartsWith(p, "rfc1084")) {
            std::memcpy(e->vendorCookie, kRfc1048Cookie, 4);
        } else if (StartsWith(p, "cmu")) {
            std::memcpy(e->vendorCookie, kCmuCookie, 4);
        } else {
            uint32_t cookie = 0;
            if (!ScanAddress(&p, &cookie)) {
                return kTagBadVendorMagic;
            }
            std::memcpy(e->vendorCookie, &cookie, 4);
        }
        e->flags &= ~HF_VENDOR_MAGIC_AUTO;
    }
    e->flags |= HF_VENDOR_MAGIC;
    return kTagDone;
}

int ParseBootSize(const char*& p, HostEntry* e) {
    if (StartsWith(p, "auto")) {
        e->flags |= HF_BOOTSIZE | HF_BOOTSIZE_AUTO;
    } else {
        e->bootSize = ScanNumber(p);
        e->flags = (e->flags | HF_BOOTSIZE) & ~HF_BOOTSIZE_AUTO;
    }
    return kTagDone;
}

// T<n>=value: appends tag, length and data to the entry's generic options.
int ParseGeneric(const char*& p, HostEntry* e) {
    ++p;
    uint8_t option[2 + kMaxGenericHexBytes];
    option[0] = static_cast<uint8_t>(ScanNumber(p) & 0xFF);
    SkipSpace(p);
    if (*p != '=') {
        return kTagSyntax;
    }
    ++p;
    size_t length = 0;
    if (*p == '"') {
        char text[kGenericStringCapacity];
        length = ScanString(p, text, sizeof text);
        std::memcpy(option + 2, text, length);
    } else {
        while (length < kMaxGenericHexBytes && ScanHexByte(p, &option[2 + length])) {
            ++length;
            if (*p == '.') {
                ++p;
            }
        }
    }
    option[1] = static_cast<uint8_t>(length);
    GenericData* combined = NewGenericData(e->generic, option, static_cast<uint32_t>(length + 2));
    ReleaseGeneric(e->generic);
    e->generic = combined;
    e->flags |= HF_GENERIC;
    return kTagDone;
}

// Tags whose remove form clears one flag and whose bare form sets
// `bareFlags` (0: no bare form).
int ScalarTag(const char*& p, HostEntry* e, Form form, uint32_t removeFlag, uint32_t bareFlags,
              int (*set)(const char*&, HostEntry*)) {
    switch (form) {
    case Form::Remove:
        e->flags &= ~removeFlag;
        return kTagDone;
    case Form::Bare:
        e->flags |= bareFlags;
        return bareFlags != 0 ? kTagDone : kTagSyntax;
    default:
        return set(p, e);
    }
}

int ApplySymbol(const char*& p, HostEntry* e, Symbol symbol, Form form,
                const HostTables& templates) {
    if (const AddressListTag* list = FindListTag(symbol)) {
        return ParseList(p, e, *list, form);
    }
    switch (symbol) {
    case Symbol::bf:
        return ParseStringTag(p, e->bootFile, HF_BOOTFILE, e, form);
    case Symbol::hd:
        return ParseStringTag(p, e->homeDir, HF_HOMEDIR, e, form);
    case Symbol::ip:
        return ParseAddressTag(p, &e->ipAddr, HF_IPADDR, e, form, kTagBadIpAddress);
    case Symbol::sm:
        return ParseAddressTag(p, &e->subnetMask, HF_SUBNET_MASK, e, form, kTagBadSubnetMask);
    case Symbol::ha:
        return ScalarTag(p, e, form, HF_HWADDR, 0, ParseHwAddr);
    case Symbol::ht:
        return ScalarTag(p, e, form, HF_HWTYPE, 0, ParseHwType);
    case Symbol::to:
        return ScalarTag(p, e, form, HF_TIMEOFFSET, 0, ParseTimeOffset);
    case Symbol::vm:
        return ScalarTag(p, e, form, HF_VENDOR_MAGIC, HF_VENDOR_MAGIC | HF_VENDOR_MAGIC_AUTO,
                         ParseVendorMagic);
    case Symbol::bs:
        return ScalarTag(p, e, form, HF_BOOTSIZE, HF_BOOTSIZE | HF_BOOTSIZE_AUTO, ParseBootSize);
    case Symbol::tc:
        if (form != Form::Set) {
            return kTagSyntax;
        }
        ApplyTemplate(e, &p, templates);
        return kTagDone;
    case Symbol::hn:
        if (form == Form::Set) {
            return kTagSyntax;
        }
        SetFlag(e, HF_HOSTNAME_SPECIFIED | HF_SEND_HOSTNAME, form == Form::Bare);
        return kTagDone;
    default:
        return kTagUnknownSymbol; // the list tags are handled above
    }
}

template <typename Value>
void TakeShared(HostEntry* e, const HostEntry* t, uint32_t flag, Value* HostEntry::*member,
                Value* (*hold)(Value*)) {
    if ((e->flags & flag) || !(t->flags & flag)) {
        return;
    }
    e->flags |= flag;
    e->*member = hold(t->*member);
}

// Copies `flags` from the template when `guard` is clear in the entry; true
// when the guard came over set, so the caller copies the value too.
bool TakeFlags(HostEntry* e, const HostEntry* t, uint32_t guard, uint32_t flags) {
    if (e->flags & guard) {
        return false;
    }
    e->flags = (e->flags & ~flags) | (t->flags & flags);
    return (t->flags & guard) != 0;
}

void CopyFromTemplate(HostEntry* e, const HostEntry* t) {
    for (const AddressListTag& tag : kAddressListTags) {
        TakeShared(e, t, tag.flag, tag.member, HoldList);
    }
    TakeShared(e, t, HF_HOMEDIR, &HostEntry::homeDir, HoldString);
    TakeShared(e, t, HF_BOOTFILE, &HostEntry::bootFile, HoldString);
    TakeShared(e, t, HF_GENERIC, &HostEntry::generic, HoldGeneric);
    if (TakeFlags(e, t, HF_VENDOR_MAGIC, HF_VENDOR_MAGIC | HF_VENDOR_MAGIC_AUTO)) {
        std::memcpy(e->vendorCookie, t->vendorCookie, 4);
    }
    TakeFlags(e, t, HF_HOSTNAME_SPECIFIED, HF_HOSTNAME_SPECIFIED | HF_SEND_HOSTNAME);
    if (TakeFlags(e, t, HF_HWTYPE, HF_HWTYPE)) {
        e->hwType = t->hwType;
    }
    if (TakeFlags(e, t, HF_TIMEOFFSET, HF_TIMEOFFSET | HF_TIMEOFFSET_AUTO)) {
        e->timeOffset = t->timeOffset;
    }
    if (TakeFlags(e, t, HF_SUBNET_MASK, HF_SUBNET_MASK)) {
        e->subnetMask = t->subnetMask;
    }
    if (TakeFlags(e, t, HF_BOOTSIZE, HF_BOOTSIZE | HF_BOOTSIZE_AUTO)) {
        e->bootSize = t->bootSize;
    }
}

} // namespace

int ParseTag(const char** cursor, HostEntry* entry, const HostTables& templates) {
    const char*& p = *cursor;
    if (*p == '\0') {
        return kTagEnd;
    }
    if (*p == ':') {
        return kTagDone;
    }
    if (*p == 'T') {
        return ParseGeneric(p, entry);
    }
    SkipSpace(p);
    // The character after the two-letter tag decides the form.
    char third = (p[0] != '\0' && p[1] != '\0') ? p[2] : '\0';
    Form form = Form::Bare;
    if (third == '=') {
        form = Form::Set;
    } else if (third == '@') {
        form = Form::Remove;
    } else if (third != '\0' && third != ':') {
        return kTagSyntax;
    }
    Symbol symbol;
    if (!FindSymbol(p, &symbol)) {
        return kTagUnknownSymbol;
    }
    p += form == Form::Bare ? 2 : 3;
    return ApplySymbol(p, entry, symbol, form, templates);
}

int ParseEntry(HostEntry* entry, const char* text, const HostTables& templates) {
    if (*text == '\0') {
        return -1;
    }
    const char* p = text;
    char name[kStringCapacity];
    size_t length = ScanString(p, name, sizeof name);
    if (!GoodHostName(name)) {
        return -1;
    }
    ReleaseString(entry->hostName);
    entry->hostName = NewSharedString(name, length);
    SkipPastColon(p);
    for (;;) {
        int result = ParseTag(&p, entry, templates);
        if (result == kTagDone) {
            SkipPastColon(p);
        } else if (result == kTagEnd || result == kTagBadHwType) {
            // A bad hardware type keeps what was parsed before it.
            return 0;
        } else {
            return -1;
        }
    }
}

void ApplyTemplate(HostEntry* entry, const char** cursor, const HostTables& templates) {
    char reference[kStringCapacity];
    size_t length = ScanString(*cursor, reference, sizeof reference);
    const HostEntry* found = nullptr;
    if (GoodHostName(reference)) {
        if (templates.nameTable != nullptr) {
            found =
                hash_Find(templates.nameTable, hash_Code(reference, static_cast<uint32_t>(length)),
                          nameLookupMatch, reference);
        }
    } else {
        const char* p = reference;
        HostEntry key{};
        if (templates.ipTable != nullptr && ScanAddress(&p, &key.ipAddr)) {
            found = hash_Find(templates.ipTable, hash_Code(&key.ipAddr, 4), ipLookupMatch, &key);
        }
    }
    if (found != nullptr) {
        CopyFromTemplate(entry, found);
    }
}
