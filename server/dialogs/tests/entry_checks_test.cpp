#include "server/dialogs/entry_checks.h"
#include "server/dialogs/host_listing.h"

#include <gtest/gtest.h>

using namespace korrind;

namespace {

AddressInput Address(const char* dotted) {
    AddressInput input;
    if (auto bytes = ParseDottedAddress(dotted)) {
        input.filled = 4;
        input.bytes = *bytes;
    }
    return input;
}

AddressInput Partial(int filled) {
    AddressInput input;
    input.filled = filled;
    input.bytes = {10, 0, 0, 0};
    return input;
}

// A complete, valid add-mode input.
EntryInput Good() {
    EntryInput input;
    input.hardwareAddress = "02004C123456";
    input.hostName = "lab1";
    input.comment = "bench";
    input.ipAddress = Address("10.1.1.5");
    input.subnetMask = Address("255.255.255.0");
    input.gateway = Address("10.1.1.1");
    return input;
}

EntryRowArray Rows() {
    EntryRowArray rows;
    rows.Append(MakeEntryRow({"02004C000001", "alpha", "10.1.1.1", "", "255.255.255.0", ""}));
    rows.Append(MakeEntryRow({"02004C000002", "Beta", "10.1.1.2", "", "255.255.255.0", ""}));
    return rows;
}

void ExpectRefused(const EntryVerdict& verdict, const char* message, int focusId) {
    EXPECT_FALSE(verdict.ok);
    EXPECT_STREQ(message, verdict.message);
    EXPECT_EQ(focusId, verdict.focusId);
}

} // namespace

TEST(EntryCheck, GoodInputGivesTheRowValues) {
    EntryInput input = Good();
    input.hardwareAddress = "02004c123456";
    EntryVerdict verdict = CheckEntry(input, Rows(), -1);
    ASSERT_TRUE(verdict.ok);
    EXPECT_EQ("02004C123456", verdict.values.hardwareAddress);
    EXPECT_EQ("lab1", verdict.values.hostName);
    EXPECT_EQ("10.1.1.5", verdict.values.ipAddress);
    EXPECT_EQ("bench", verdict.values.comment);
    EXPECT_EQ("255.255.255.0", verdict.values.subnetMask);
    EXPECT_EQ("10.1.1.1", verdict.values.gateway);
}

TEST(EntryCheck, HardwareAddressNeedsTwelveHexDigits) {
    for (const char* bad : {"02004C12345", "02004C123456FF", "", "02004C12345G"}) {
        EntryInput input = Good();
        input.hardwareAddress = bad;
        ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidHardwareAddress, kIdAddressBox);
    }
}

TEST(EntryCheck, DuplicateHardwareAddressOnlyInAddModeAndOnlyForLiveRows) {
    EntryRowArray rows = Rows();
    EntryInput input = Good();
    input.hardwareAddress = "02004c000001";
    ExpectRefused(CheckEntry(input, rows, -1), kDuplicateHardwareAddress, kIdAddressBox);
    // Modifying keeps the row's own address.
    input.hostName = "alpha";
    EXPECT_TRUE(CheckEntry(input, rows, 0).ok);
    rows[0].deleted = true;
    input.hostName = "lab1";
    EXPECT_TRUE(CheckEntry(input, rows, -1).ok);
}

TEST(EntryCheck, ChecksRunInOrder) {
    // Everything wrong: the hardware address is reported first, then the
    // mask, the gateway, the IP address and the host name in turn.
    EntryInput input;
    input.hardwareAddress = "bad";
    input.subnetMask = Address("255.0.255.0");
    input.gateway = Partial(2);
    input.ipAddress = Partial(3);
    input.hostName = "1lab";
    ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidHardwareAddress, kIdAddressBox);
    input.hardwareAddress = "02004C123456";
    ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidSubnetMask, kIdSubnetMask);
    input.subnetMask = Address("255.255.0.0");
    ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidGateway, kIdGateway);
    input.gateway = {};
    ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidIp, kIdIpAddress);
    input.ipAddress = Address("10.1.2.3");
    ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidHostName, kIdHostName);
    input.hostName = "BETA";
    ExpectRefused(CheckEntry(input, Rows(), -1), kDuplicateHostName, kIdHostName);
}

TEST(EntryCheck, SubnetMasks) {
    for (const char* good : {"255.255.255.0", "255.255.0.0", "0.0.0.0"}) {
        EntryInput input = Good();
        input.subnetMask = Address(good);
        EXPECT_TRUE(CheckEntry(input, Rows(), -1).ok) << good;
    }
    for (const char* bad : {"255.0.255.0", "255.255.255.255"}) {
        EntryInput input = Good();
        input.subnetMask = Address(bad);
        ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidSubnetMask, kIdSubnetMask);
    }
    EntryInput input = Good();
    input.subnetMask = Partial(3);
    ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidSubnetMask, kIdSubnetMask);
}

TEST(EntryCheck, BlankGatewayGivesNoGateway) {
    EntryInput input = Good();
    input.gateway = {};
    EntryVerdict verdict = CheckEntry(input, Rows(), -1);
    ASSERT_TRUE(verdict.ok);
    EXPECT_EQ("", verdict.values.gateway);
}

TEST(EntryCheck, HostNames) {
    for (const char* good : {"lab1", "a", "lab-1.example"}) {
        EntryInput input = Good();
        input.hostName = good;
        EXPECT_TRUE(CheckEntry(input, Rows(), -1).ok) << good;
    }
    for (const char* bad : {"", "1lab", "lab-", "lab.", "la_b", ".lab", "lab..x"}) {
        EntryInput input = Good();
        input.hostName = bad;
        ExpectRefused(CheckEntry(input, Rows(), -1), kInvalidHostName, kIdHostName);
    }
}

TEST(EntryCheck, DuplicateHostNameIgnoresCaseOwnRowAndDeletedRows) {
    EntryRowArray rows = Rows();
    EntryInput input = Good();
    input.hostName = "ALPHA";
    ExpectRefused(CheckEntry(input, rows, -1), kDuplicateHostName, kIdHostName);
    ExpectRefused(CheckEntry(input, rows, 1), kDuplicateHostName, kIdHostName);
    input.hardwareAddress = "02004C000001";
    EXPECT_TRUE(CheckEntry(input, rows, 0).ok);
    rows[0].deleted = true;
    input.hardwareAddress = "02004C123456";
    EXPECT_TRUE(CheckEntry(input, rows, -1).ok);
}

TEST(DefaultsCheck, MaskRequiredGatewayOptional) {
    DefaultsVerdict verdict = CheckDefaults({}, Address("255.255.255.0"));
    ASSERT_TRUE(verdict.ok);
    EXPECT_EQ("", verdict.gateway);
    EXPECT_EQ("255.255.255.0", verdict.subnetMask);

    verdict = CheckDefaults(Address("10.0.0.1"), {});
    EXPECT_FALSE(verdict.ok);
    EXPECT_STREQ(kDefaultsInvalidMask, verdict.message);
    EXPECT_EQ(kIdSubnetMask, verdict.focusId);

    // The gateway is checked first.
    verdict = CheckDefaults(Partial(1), {});
    EXPECT_STREQ(kDefaultsInvalidGateway, verdict.message);
    EXPECT_EQ(kIdGateway, verdict.focusId);

    verdict = CheckDefaults(Address("10.0.0.1"), Address("255.255.255.255"));
    EXPECT_STREQ(kDefaultsInvalidMask, verdict.message);
}

TEST(ListOrder, IpAddressesNumericallyNamesIgnoringCase) {
    EntryRow a = MakeEntryRow({"0A", "beta", "10.0.0.1", "", "", ""});
    EntryRow b = MakeEntryRow({"0b", "Alpha", "9.0.0.1", "", "", ""});
    EntryRow c = MakeEntryRow({"0C", "gamma", "192.168.1.2", "", "", ""});
    EXPECT_GT(CompareListItems(a, b, FieldIpAddress), 0);
    EXPECT_LT(CompareListItems(a, c, FieldIpAddress), 0);
    EXPECT_EQ(0, CompareListItems(a, a, FieldIpAddress));
    EXPECT_GT(CompareListItems(a, b, FieldHostName), 0);
    EXPECT_LT(CompareListItems(a, b, FieldHardwareAddress), 0);
    EXPECT_EQ(0, CompareListItems(a, b, FieldComment));
}
