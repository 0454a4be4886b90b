#include "bootp/vendor_area.h"
#include "table_fixture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace bootp_test;

namespace {

using Bytes = std::vector<uint8_t>;

// The vendor area for the entry text, padded with zeros to 64 bytes.
Bytes Area(const std::string& entryText, uint32_t fileSize = 1) {
    int result = -1;
    HostPtr entry = Parse(entryText, &result);
    EXPECT_EQ(result, 0) << entryText;
    uint8_t packet[kBootpPacketSize] = {};
    FillVendorArea(packet, entry.get(), fileSize, 0);
    return Bytes(packet + bootp_offset::vend, packet + kBootpPacketSize);
}

Bytes Padded(Bytes bytes) {
    bytes.resize(kBootpVendSize, 0);
    return bytes;
}

std::string Addresses(int count) {
    std::string list;
    for (int i = 1; i <= count; ++i) {
        list += "10.0.0." + std::to_string(i) + " ";
    }
    return list;
}

} // namespace

TEST(VendorArea, MaskOnlyAndGatewaysOnlyWithTheMask) {
    EXPECT_EQ(Area("h:sm=255.255.255.0"),
              Padded({0x63, 0x82, 0x53, 0x63, 1, 4, 0xFF, 0xFF, 0xFF, 0, 0xFF}));
    EXPECT_EQ(Area("h:gw=10.0.0.1"), Padded({0x63, 0x82, 0x53, 0x63, 0xFF}));
    EXPECT_EQ(Area("h:gw=:sm=255.0.0.0"),
              Padded({0x63, 0x82, 0x53, 0x63, 1, 4, 0xFF, 0, 0, 0, 0xFF}));
    // The entry's cookie setting does not change the reply's format.
    EXPECT_EQ(Area("h:vm=cmu"), Padded({0x63, 0x82, 0x53, 0x63, 0xFF}));
}

TEST(VendorArea, TimeOffsetAndBootSizeValues) {
    EXPECT_EQ(Area("h:to=-18000"), Padded({99, 130, 83, 99, 2, 4, 0xFF, 0xFF, 0xB9, 0xB0, 0xFF}));
    EXPECT_EQ(Area("h:to=auto"), Padded({99, 130, 83, 99, 2, 4, 0, 0, 0, 0, 0xFF}));
    EXPECT_EQ(Area("h:bs=auto", 1024), Padded({99, 130, 83, 99, 13, 2, 0, 3, 0xFF}));
    EXPECT_EQ(Area("h:bs=auto", 1), Padded({99, 130, 83, 99, 13, 2, 0, 1, 0xFF}));
    EXPECT_EQ(Area("h:bs=70000"), Padded({99, 130, 83, 99, 13, 2, 0x11, 0x70, 0xFF}));
    // Fixed order whatever the order in the entry.
    EXPECT_EQ(Area("h:bs=2:sm=255.0.0.0:to=1"),
              Padded({99, 130, 83, 99, 2, 4, 0, 0, 0, 1, 1, 4, 255, 0, 0, 0, 13, 2, 0, 2, 0xFF}));
}

TEST(VendorArea, LongListsAreCutAtTheAddressThatNoLongerFits) {
    Bytes area = Area("h:sm=255.255.255.0:to=0:gw=" + Addresses(16));
    Bytes expected = {99, 130, 83, 99, 2, 4, 0, 0, 0, 0, 1, 4, 255, 255, 255, 0, 3, 44};
    for (int i = 1; i <= 11; ++i) {
        expected.insert(expected.end(), {10, 0, 0, static_cast<uint8_t>(i)});
    }
    expected.push_back(0xFF);
    EXPECT_EQ(area, Padded(expected));
    // With a boot size the gateways leave room for it inside the area.
    area = Area("h:sm=255.255.255.0:to=0:bs=5:gw=" + Addresses(16));
    EXPECT_EQ(area[17], 40);
    EXPECT_EQ(Bytes(area.begin() + 58, area.end()), (Bytes{13, 2, 0, 5, 0xFF, 0}));
}

TEST(VendorArea, HostNameIsCutToItsFirstLabelWhenItMustBe) {
    // 60 - 6 - 6 - 38 = 10 bytes left: "lab12.bench" needs 13, "lab12" 7.
    Bytes area = Area("lab12.bench:hn:sm=255.0.0.0:to=0:ds=" + Addresses(9));
    EXPECT_EQ(Bytes(area.begin() + 54, area.end()),
              (Bytes{12, 5, 'l', 'a', 'b', '1', '2', 0xFF, 0, 0}));
    EXPECT_EQ(Area("lab12.bench:hn"), Padded({99, 130, 83, 99, 12, 11, 'l', 'a', 'b', '1', '2', '.',
                                              'b', 'e', 'n', 'c', 'h', 0xFF}));
    EXPECT_EQ(Area("lab12.bench:hn:hn@"), Padded({99, 130, 83, 99, 0xFF}));
}

TEST(VendorArea, GenericOptionsThatDoNotFitAreSkippedWhole) {
    std::string big = std::string(104, 'a'); // 52 bytes of data
    Bytes area = Area("h:sm=255.0.0.0:T150=" + std::string(110, 'b') + ":T151=0102");
    EXPECT_EQ(Bytes(area.begin() + 10, area.begin() + 15), (Bytes{151, 2, 1, 2, 0xFF}));
    // Exactly full: no room for the end option.
    area = Area("h:sm=255.0.0.0:T150=" + big);
    EXPECT_EQ(area[10], 150);
    EXPECT_EQ(area[11], 52);
    EXPECT_EQ(area[63], 0xAA);
    // Pad bytes are copied; an end tag stops the walk.
    EXPECT_EQ(Area("h:T0=:T255=:T1=01"), Padded({99, 130, 83, 99, 0, 0, 0xFF}));
}

TEST(VendorArea, TheLastBytesAreUsedExactlyAndNeverOverrun) {
    auto tail = [](const Bytes& area, size_t from) {
        return Bytes(area.begin() + from, area.end());
    };
    // 6 bytes left: tag, length and one address fill the area; no end option.
    EXPECT_EQ(tail(Area("h:to=0:sm=255.0.0.0:bs=1:ds=" + Addresses(9) + ":ns=" + Addresses(2)), 58),
              (Bytes{5, 4, 10, 0, 0, 1}));
    // 4 bytes left: no room for an address, so no option at all.
    EXPECT_EQ(tail(Area("h:to=0:ds=" + Addresses(12) + ":ns=" + Addresses(1)), 60),
              (Bytes{0xFF, 0, 0, 0}));
    // 8 bytes left: one address, then the 2 bytes left hold no second one.
    EXPECT_EQ(tail(Area("h:to=0:ds=" + Addresses(11) + ":ns=" + Addresses(3)), 56),
              (Bytes{5, 4, 10, 0, 0, 1, 0xFF, 0}));
    // A host name that fits exactly is sent whole; a first label that fits
    // exactly is sent when the whole name does not.
    EXPECT_EQ(tail(Area("ab12.bench:hn:to=0:ds=" + Addresses(10)), 52),
              (Bytes{12, 10, 'a', 'b', '1', '2', '.', 'b', 'e', 'n', 'c', 'h'}));
    EXPECT_EQ(tail(Area("ab12.bench:hn:to=0:sm=255.0.0.0:ds=" + Addresses(10)), 58),
              (Bytes{12, 4, 'a', 'b', '1', '2'}));
}
