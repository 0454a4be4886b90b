// The checks the entry and default-settings dialogs make when OK is
// pressed, in their order, with the message and the control that gets the
// focus on failure. Plain C++ over the working list, so every rule can be
// tested without a dialog.
#pragma once

#include "server/core/entry_rows.h"
#include "server/dialogs/address_rules.h"

#include <optional>
#include <string>

namespace korrind {

// Control ids the focus goes back to.
constexpr int kIdAddressBox = 1006;
constexpr int kIdHostName = 1013;
constexpr int kIdIpAddress = 1012;
constexpr int kIdComment = 1017;
constexpr int kIdSubnetMask = 1021;
constexpr int kIdGateway = 1020;

inline constexpr const char* kInvalidHardwareAddress = "Invalid hardware address specification";
inline constexpr const char* kDuplicateHardwareAddress = "Duplicate hardware address specification";
inline constexpr const char* kInvalidSubnetMask = "Invalid subnet mask specification";
inline constexpr const char* kInvalidGateway = "Invalid gateway specification";
inline constexpr const char* kInvalidIp = "Invalid IP specification";
inline constexpr const char* kInvalidHostName = "Invalid hostname specification";
inline constexpr const char* kDuplicateHostName = "Duplicate host name specification";
inline constexpr const char* kDefaultsInvalidGateway = "Invalid IP Address";
inline constexpr const char* kDefaultsInvalidMask = "Invalid IP or Subnet Address";

// The entry dialog's controls when OK is pressed.
struct EntryInput {
    std::string hardwareAddress; // the address box's text, already upper case
    std::string hostName;
    std::string comment;
    AddressInput ipAddress;
    AddressInput subnetMask;
    AddressInput gateway;
};

// Failure: the message to show and the control to focus. Success: the
// values that go into the row.
struct EntryVerdict {
    bool ok = false;
    const char* message = nullptr;
    int focusId = 0;
    EntryValues values;
};

// rowIndex: -1 in add mode, else the row being modified (not a duplicate of
// itself). Rows marked deleted never count as duplicates.
EntryVerdict CheckEntry(const EntryInput& input, const EntryRowArray& rows, int rowIndex);

// Default settings: the gateway may be blank, the mask is required.
struct DefaultsVerdict {
    bool ok = false;
    const char* message = nullptr;
    int focusId = 0;
    std::string gateway;
    std::string subnetMask;
};
DefaultsVerdict CheckDefaults(const AddressInput& gateway, const AddressInput& subnetMask);

// Index of the first row not marked deleted, other than `except`, whose
// field equals text ignoring case; -1 when there is none.
int FindLiveRow(const EntryRowArray& rows, int selector, const std::string& text, int except);

} // namespace korrind
