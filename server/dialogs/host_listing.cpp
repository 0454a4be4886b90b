#include "server/dialogs/host_listing.h"

#include "bootp/bootptab_reader.h"
#include "bootp/hash_table.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/address_rules.h"

namespace korrind {

std::vector<EntryValues> ListHostTable(const CKorrindDoc& doc) {
    std::vector<EntryValues> listed;
    if (!hwTable)
        return listed;
    for (HostEntry* e = hash_First(hwTable); e; e = hash_Next(hwTable)) {
        bool complete = e->hostName && *HostNameText(e) && (e->flags & HF_HWTYPE) &&
                        (e->flags & HF_HWADDR) && (e->flags & HF_IPADDR);
        if (!complete) {
            // Leave the walk reset for the next user of the table.
            while (hash_Next(hwTable)) {
            }
            break;
        }
        EntryValues values;
        values.hardwareAddress = UpperCase(HwAddrText(e->hwAddr, e->hwType));
        values.hostName = HostNameText(e);
        values.ipAddress = IpAddrText(e->ipAddr);
        values.comment = doc.GetEntryComment(values.hostName);
        if (e->flags & HF_SUBNET_MASK)
            values.subnetMask = IpAddrText(e->subnetMask);
        if (e->gateways && e->gateways->count > 0)
            values.gateway = IpAddrText(e->gateways->addresses()[0]);
        listed.push_back(std::move(values));
    }
    return listed;
}

void RebuildEntryRows(const CKorrindDoc& doc) {
    EntryRows.Rebuild(ListHostTable(doc));
}

bool HasMarkedRows(const EntryRowArray& rows) {
    for (int i = 0; i < rows.Count(); ++i)
        if (rows[i].isNew || rows[i].modified || rows[i].deleted)
            return true;
    return false;
}

void ReloadAfterApply(CKorrindDoc& doc) {
    ReadHostTable();
    doc.ReadTableLines();
    RebuildEntryRows(doc);
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
