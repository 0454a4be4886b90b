#include "server/dialogs/address_rules.h"

#include <gtest/gtest.h>

using namespace korrind;

TEST(DottedAddress, ParsesFourPiecesBelow256) {
    auto bytes = ParseDottedAddress("192.168.1.2");
    ASSERT_TRUE(bytes);
    EXPECT_EQ((AddressBytes{192, 168, 1, 2}), *bytes);
    EXPECT_TRUE(ParseDottedAddress("0.0.0.0"));
    EXPECT_TRUE(ParseDottedAddress("255.255.255.255"));
}

TEST(DottedAddress, RefusesOtherShapes) {
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..2.3", "1.2.3.", "a.b.c.d",
                             "1.2.3.-4", " 1.2.3.4", "1.2.3.4 ", "0001.2.3.4"})
        EXPECT_FALSE(ParseDottedAddress(text)) << text;
}

TEST(DottedAddress, FormatsAndNumbers) {
    EXPECT_EQ("10.0.0.1", FormatDottedAddress({10, 0, 0, 1}));
    EXPECT_EQ(0x0A000001u, DottedAddressNumber("10.0.0.1"));
    EXPECT_EQ(0xC0A80102u, AddressNumber({192, 168, 1, 2}));
    EXPECT_EQ(0u, DottedAddressNumber(""));
    // Numeric order, not text order.
    EXPECT_LT(DottedAddressNumber("9.0.0.1"), DottedAddressNumber("10.0.0.1"));
    EXPECT_LT(DottedAddressNumber("10.0.0.1"), DottedAddressNumber("192.168.1.2"));
}

TEST(SubnetMask, ContiguousMasksPass) {
    for (const char* text :
         {"255.255.255.0", "255.255.0.0", "0.0.0.0", "255.255.255.254", "128.0.0.0"})
        EXPECT_TRUE(IsContiguousMask(DottedAddressNumber(text))) << text;
}

TEST(SubnetMask, AllOnesAndHolesRefused) {
    for (const char* text : {"255.255.255.255", "255.0.255.0", "0.255.255.255", "255.255.255.1"})
        EXPECT_FALSE(IsContiguousMask(DottedAddressNumber(text))) << text;
}

TEST(HardwareAddress, TwelveHexDigits) {
    EXPECT_TRUE(IsHardwareAddressText("02004c123456"));
    EXPECT_TRUE(IsHardwareAddressText("02004C123456"));
    EXPECT_FALSE(IsHardwareAddressText("02004C12345"));
    EXPECT_FALSE(IsHardwareAddressText("02004C123456FF"));
    EXPECT_FALSE(IsHardwareAddressText("02004G123456"));
    EXPECT_FALSE(IsHardwareAddressText(""));
    EXPECT_EQ("02004C123456", UpperCase("02004c123456"));
}

TEST(CaseInsensitive, ComparesAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoringCase("Lab1", "LAB1"));
    EXPECT_FALSE(EqualsIgnoringCase("lab1", "lab"));
    EXPECT_LT(CompareIgnoringCase("alpha", "Beta"), 0);
    EXPECT_GT(CompareIgnoringCase("beta", "ALPHA"), 0);
    EXPECT_LT(CompareIgnoringCase("lab", "LAB1"), 0);
    EXPECT_EQ(0, CompareIgnoringCase("MiXed", "mixed"));
}
