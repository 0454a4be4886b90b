#include "server/dialogs/entry_checks.h"

#include "bootp/bootptab_scan.h"

namespace korrind {
namespace {

EntryVerdict Refuse(const char* message, int focusId) {
    EntryVerdict verdict;
    verdict.message = message;
    verdict.focusId = focusId;
    return verdict;
}

} // namespace

int FindLiveRow(const EntryRowArray& rows, int selector, const std::string& text, int except) {
    for (int i = 0; i < rows.Count(); ++i) {
        const EntryRow& row = rows[i];
        if (i != except && !row.deleted && EqualsIgnoringCase(row.Field(selector), text))
            return i;
    }
    return -1;
}

EntryVerdict CheckEntry(const EntryInput& input, const EntryRowArray& rows, int rowIndex) {
    EntryVerdict verdict;
    EntryValues& values = verdict.values;
    values.hardwareAddress = UpperCase(input.hardwareAddress);
    if (!IsHardwareAddressText(values.hardwareAddress))
        return Refuse(kInvalidHardwareAddress, kIdAddressBox);
    if (rowIndex < 0 && FindLiveRow(rows, FieldHardwareAddress, values.hardwareAddress, -1) >= 0)
        return Refuse(kDuplicateHardwareAddress, kIdAddressBox);

    auto mask = AcceptAddress(input.subnetMask, true);
    if (!mask)
        return Refuse(kInvalidSubnetMask, kIdSubnetMask);
    values.subnetMask = *mask;

    if (input.gateway.filled > 0) {
        auto gateway = AcceptAddress(input.gateway, false);
        if (!gateway)
            return Refuse(kInvalidGateway, kIdGateway);
        values.gateway = *gateway;
    }

    auto ip = AcceptAddress(input.ipAddress, false);
    if (!ip)
        return Refuse(kInvalidIp, kIdIpAddress);
    values.ipAddress = *ip;

    // Longer names the engine would cut, and the row could not hold.
    if (input.hostName.empty() || input.hostName.size() >= EntryRow::FieldCapacity(FieldHostName) ||
        !GoodHostName(input.hostName.c_str()) || input.hostName.find('\0') != std::string::npos)
        return Refuse(kInvalidHostName, kIdHostName);
    if (FindLiveRow(rows, FieldHostName, input.hostName, rowIndex) >= 0)
        return Refuse(kDuplicateHostName, kIdHostName);
    values.hostName = input.hostName;
    values.comment = input.comment;
    verdict.ok = true;
    return verdict;
}

DefaultsVerdict CheckDefaults(const AddressInput& gateway, const AddressInput& subnetMask) {
    DefaultsVerdict verdict;
    if (gateway.filled > 0) {
        auto text = AcceptAddress(gateway, false);
        if (!text) {
            verdict.message = kDefaultsInvalidGateway;
            verdict.focusId = kIdGateway;
            return verdict;
        }
        verdict.gateway = *text;
    }
    auto mask = AcceptAddress(subnetMask, true);
    if (!mask) {
        verdict.message = kDefaultsInvalidMask;
        verdict.focusId = kIdSubnetMask;
        return verdict;
    }
    verdict.subnetMask = *mask;
    verdict.ok = true;
    return verdict;
}

} // namespace korrind
