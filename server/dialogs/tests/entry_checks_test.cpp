#include "server/dialogs/doc_messages.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/host_listing.h"
#include "tests/support/message_boxes.h"

#include <functional>
#include <gtest/gtest.h>

using namespace korrind;

namespace {

AddressInput Address(const char* dotted) {
    auto bytes = ParseDottedAddress(dotted);
    return bytes ? AddressInput{4, *bytes} : AddressInput{};
}

EntryInput Good() {
    return {"02004C123456",     "lab1", "bench", Address("10.1.1.5"), Address("255.255.255.0"),
            Address("10.1.1.1")};
}

EntryRowArray Rows() {
    EntryRowArray rows;
    rows.Append(MakeEntryRow({"02004C000001", "alpha", "10.1.1.1", "", "255.255.255.0", ""}));
    rows.Append(MakeEntryRow({"02004C000002", "Beta", "10.1.1.2", "", "255.255.255.0", ""}));
    return rows;
}

const char* Refusal(const EntryInput& input, const EntryRowArray& rows = Rows(), int row = -1) {
    EntryVerdict verdict = CheckEntry(input, rows, row);
    return verdict.ok ? "" : verdict.message;
}

} // namespace

TEST(AddressRules, DottedTextMasksAndNumbers) {
    EXPECT_EQ((AddressBytes{192, 168, 1, 2}), ParseDottedAddress("192.168.1.2"));
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..2.3", "1.2.3.", " 1.2.3.4"})
        EXPECT_FALSE(ParseDottedAddress(text)) << text;
    for (const char* mask : {"255.255.255.0", "255.255.0.0", "0.0.0.0", "255.255.255.254"})
        EXPECT_TRUE(IsContiguousMask(DottedAddressNumber(mask))) << mask;
    for (const char* mask : {"255.255.255.255", "255.0.255.0", "0.255.255.255"})
        EXPECT_FALSE(IsContiguousMask(DottedAddressNumber(mask))) << mask;
    EXPECT_EQ(0x0A000001u, DottedAddressNumber("10.0.0.1"));
}

TEST(EntryCheck, GoodInputGivesTheRowValuesInUpperCase) {
    EntryInput input = Good();
    input.hardwareAddress = "02004c123456";
    input.gateway = {};
    EntryVerdict verdict = CheckEntry(input, Rows(), -1);
    ASSERT_TRUE(verdict.ok);
    EXPECT_EQ("02004C123456", verdict.values.hardwareAddress);
    EXPECT_EQ("10.1.1.5", verdict.values.ipAddress);
    EXPECT_EQ("255.255.255.0", verdict.values.subnetMask);
    EXPECT_EQ("", verdict.values.gateway); // left blank
}

TEST(EntryCheck, ChecksRunInOrderEachWithItsFocus) {
    // Everything wrong: each fix uncovers the next check's complaint.
    EntryInput input{
        "bad", "1lab", "", AddressInput{3, {}}, Address("255.0.255.0"), AddressInput{2, {}}};
    const std::pair<const char*, int> expected[] = {{kInvalidHardwareAddress, kIdAddressBox},
                                                    {kInvalidSubnetMask, kIdSubnetMask},
                                                    {kInvalidGateway, kIdGateway},
                                                    {kInvalidIp, kIdIpAddress},
                                                    {kInvalidHostName, kIdHostName},
                                                    {kDuplicateHostName, kIdHostName}};
    auto fixes = std::vector<std::function<void()>>{
        [&] { input.hardwareAddress = "02004C123456"; },
        [&] { input.subnetMask = Address("0.0.0.0"); }, [&] { input.gateway = {}; },
        [&] { input.ipAddress = Address("10.1.2.3"); }, [&] { input.hostName = "BETA"; }};
    for (size_t i = 0; i < std::size(expected); ++i) {
        EntryVerdict verdict = CheckEntry(input, Rows(), -1);
        EXPECT_STREQ(expected[i].first, verdict.message) << i;
        EXPECT_EQ(expected[i].second, verdict.focusId) << i;
        if (i < fixes.size())
            fixes[i]();
    }
}

TEST(EntryCheck, HostNames) {
    for (const char* good : {"lab1", "a", "lab-1.example"}) {
        EntryInput input = Good();
        input.hostName = good;
        EXPECT_STREQ("", Refusal(input)) << good;
    }
    // As long as the engine keeps a name (79 characters), and no longer.
    std::string longest = "a" + std::string(77, 'b') + "c";
    EntryInput input = Good();
    input.hostName = longest;
    EXPECT_STREQ("", Refusal(input));
    input.hostName = longest + "d";
    EXPECT_STREQ(kInvalidHostName, Refusal(input));
    for (const char* bad : {"", "1lab", "lab-", "lab.", "la_b", ".lab", "lab..x"}) {
        EntryInput input = Good();
        input.hostName = bad;
        EXPECT_STREQ(kInvalidHostName, Refusal(input)) << bad;
    }
}

TEST(EntryCheck, DuplicatesIgnoreCaseTheModifiedRowAndDeletedRows) {
    EntryRowArray rows = Rows();
    EntryInput input = Good();
    input.hardwareAddress = "02004c000001";
    EXPECT_STREQ(kDuplicateHardwareAddress, Refusal(input, rows));
    input.hostName = "ALPHA";
    EXPECT_STREQ("", Refusal(input, rows, 0)); // modifying row 0 itself
    EXPECT_STREQ(kDuplicateHostName, Refusal(input, rows, 1));
    rows[0].deleted = true;
    EXPECT_STREQ("", Refusal(input, rows));
}

TEST(DefaultsCheck, GatewayOptionalMaskRequired) {
    DefaultsVerdict verdict = CheckDefaults({}, Address("255.255.255.0"));
    ASSERT_TRUE(verdict.ok);
    EXPECT_EQ("", verdict.gateway);
    EXPECT_EQ("255.255.255.0", verdict.subnetMask);
    verdict = CheckDefaults(Address("10.0.0.1"), {});
    EXPECT_STREQ(kDefaultsInvalidMask, verdict.message);
    EXPECT_EQ(kIdSubnetMask, verdict.focusId);
    verdict = CheckDefaults(AddressInput{1, {}}, {}); // the gateway is checked first
    EXPECT_STREQ(kDefaultsInvalidGateway, verdict.message);
    EXPECT_EQ(kIdGateway, verdict.focusId);
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

TEST(DocMessages, EachIsShownInItsOwnBoxInOrder) {
    DocResult said;
    said.result = 0;
    said.Add(DocMessageId::readFailed, "Problem reading bootptab file");
    said.Add(DocMessageId::writeFailed, "Exception while writing bootptab file");
    olvani_test::MessageBoxRecorder shown;
    EXPECT_EQ(ShowDocResult(said), 0);
    EXPECT_EQ(ShowDocResult(DocResult{}), 1);
    EXPECT_EQ(
        shown.CaptionsAndTexts(),
        (std::vector<std::string>{"Korrind Application|Problem reading bootptab file",
                                  "Korrind Application|Exception while writing bootptab file"}));
    EXPECT_EQ(shown.types, (std::vector<UINT>(2, MB_OK | MB_ICONEXCLAMATION)));
}
