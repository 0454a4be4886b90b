#include "server/core/entry_rows.h"

#include <algorithm>
#include <cstring>

namespace {

// The field buffer of a selector, or nullptr.
template <typename Row> auto* FieldBuffer(Row& row, int selector) {
    switch (selector) {
    case FieldHardwareAddress:
        return row.hardwareAddress;
    case FieldHostName:
        return row.hostName;
    case FieldIpAddress:
        return row.ipAddress;
    case FieldComment:
        return row.comment;
    case FieldSubnetMask:
        return row.subnetMask;
    case FieldGateway:
        return row.gateway;
    default:
        return static_cast<decltype(+row.hostName)>(nullptr);
    }
}

// Longest prefix of text that fits limit bytes without splitting a UTF-8
// sequence.
size_t FittingLength(std::string_view text, size_t limit) {
    if (text.size() <= limit)
        return text.size();
    size_t length = limit;
    // Back off over continuation bytes to the lead byte of the cut sequence.
    for (int step = 0; step < 3 && length > 0; ++step) {
        if ((static_cast<unsigned char>(text[length]) & 0xC0) != 0x80)
            break;
        --length;
    }
    if ((static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        return limit; // not UTF-8 at all: a plain byte cut
    return length;
}

} // namespace

size_t EntryRow::FieldCapacity(int selector) {
    switch (selector) {
    case FieldHardwareAddress:
        return sizeof(hardwareAddress);
    case FieldHostName:
        return sizeof(hostName);
    case FieldIpAddress:
        return sizeof(ipAddress);
    case FieldComment:
        return sizeof(comment);
    case FieldSubnetMask:
        return sizeof(subnetMask);
    case FieldGateway:
        return sizeof(gateway);
    default:
        return 0;
    }
}

std::string_view EntryRow::Field(int selector) const {
    const char* buffer = FieldBuffer(*this, selector);
    if (buffer == nullptr)
        return {};
    return std::string_view(buffer, strnlen(buffer, FieldCapacity(selector)));
}

void EntryRow::SetField(int selector, std::string_view text) {
    char* buffer = FieldBuffer(*this, selector);
    if (buffer == nullptr)
        return;
    size_t capacity = FieldCapacity(selector);
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    size_t length = FittingLength(text, capacity - 1);
    std::memcpy(buffer, text.data(), length);
    std::memset(buffer + length, 0, capacity - length);
}

void EntryRow::SetValues(const EntryValues& values) {
    SetField(FieldHardwareAddress, values.hardwareAddress);
    SetField(FieldHostName, values.hostName);
    SetField(FieldIpAddress, values.ipAddress);
    SetField(FieldComment, values.comment);
    SetField(FieldSubnetMask, values.subnetMask);
    SetField(FieldGateway, values.gateway);
}

EntryRow MakeEntryRow(const EntryValues& values) {
    EntryRow row;
    row.SetValues(values);
    std::string_view ip = row.Field(FieldIpAddress);
    std::memcpy(row.listedIpAddress, ip.data(), ip.size());
    return row;
}

std::string DescribeEdit(const EntryRow& row) {
    std::string what = row.isNew ? "add " : row.deleted ? "delete " : "change ";
    what +=
        std::string(row.Field(FieldHostName)) + " (" + std::string(row.Field(FieldHardwareAddress));
    std::string_view ip =
        row.isNew ? row.Field(FieldIpAddress)
                  : std::string_view(row.listedIpAddress,
                                     strnlen(row.listedIpAddress, sizeof(row.listedIpAddress)));
    if (!ip.empty())
        what += ", " + std::string(ip);
    return what + ")";
}

int EntryRowArray::Append(const EntryRow& row) {
    rows_.push_back(row);
    return Count() - 1;
}

void EntryRowArray::StoreAt(int index, const EntryRow& row) {
    if (index < 0)
        return;
    if (static_cast<size_t>(index) >= rows_.size())
        rows_.resize(static_cast<size_t>(index) + 1);
    rows_[static_cast<size_t>(index)] = row;
}

void EntryRowArray::Rebuild(const std::vector<EntryValues>& values) {
    rows_.clear();
    rows_.reserve(values.size());
    for (const EntryValues& v : values)
        rows_.push_back(MakeEntryRow(v));
}
