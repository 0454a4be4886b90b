#include "server/dialogs/host_listing.h"

#include "bootp/host_directory.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/address_rules.h"

#include <unordered_map>

namespace korrind {

std::vector<EntryValues> ListHostTable(const CKorrindDoc& doc) {
    std::vector<EntryValues> listed;
    // Every record the engine holds is listed, one without an IP address
    // too: a hidden entry's hardware address would be taken as new.
    std::unordered_map<std::string_view, std::string_view> comments = doc.EntryComments();
    ForEachHost([&](const HostEntry& e) {
        EntryValues values;
        values.hardwareAddress = UpperCase(HwAddrText(e.hwAddr, e.hwType));
        values.hostName = HostNameText(&e);
        if (e.flags & HF_IPADDR)
            values.ipAddress = IpAddrText(e.ipAddr);
        if (auto comment = comments.find(values.hostName); comment != comments.end())
            values.comment.assign(comment->second);
        if (e.flags & HF_SUBNET_MASK)
            values.subnetMask = IpAddrText(e.subnetMask);
        if (e.gateways && e.gateways->count > 0)
            values.gateway = IpAddrText(e.gateways->addresses()[0]);
        listed.push_back(std::move(values));
    });
    return listed;
}

void RebuildEntryRows(CKorrindDoc& doc) {
    doc.EntryRows().Rebuild(ListHostTable(doc));
}

bool HasMarkedRows(const EntryRowArray& rows) {
    for (int i = 0; i < rows.Count(); ++i)
        if (rows[i].isNew || rows[i].modified || rows[i].deleted)
            return true;
    return false;
}

} // namespace korrind

namespace korrind {

int CompareListItems(const EntryRow& a, const EntryRow& b, int column) {
    switch (column) {
    case FieldHardwareAddress:
    case FieldHostName:
        return CompareIgnoringCase(a.Field(column), b.Field(column));
    case FieldIpAddress: {
        uint32_t x = DottedAddressNumber(a.Field(column));
        uint32_t y = DottedAddressNumber(b.Field(column));
        return x == y ? 0 : (y < x ? 1 : -1);
    }
    default:
        return 0;
    }
}

} // namespace korrind
