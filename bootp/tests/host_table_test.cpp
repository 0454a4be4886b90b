#include "bootp/hash_table.h"
#include "table_fixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace bootp_test;

// Under ASan a huge request aborts by default; let it fail as the C library
// does, so the failure path can be observed.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

TEST(HostRecord, HardwareAddressTextFollowsTheTypeLength) {
    const uint8_t bytes[16] = {0x02, 0x00, 0x0a, 0x0b, 0x0c, 0x0d, 0xff, 0xee};
    EXPECT_STREQ(HwAddrText(bytes, 1), "02000A0B0C0D");
    EXPECT_STREQ(HwAddrText(bytes, 2), "02");
    EXPECT_STREQ(HwAddrText(bytes, 3), "");
    EXPECT_STREQ(HwAddrText(bytes, 5), "");
    // Types beyond the table have no length rather than a read past it.
    EXPECT_EQ(hwAddrLength(8), 0);
    EXPECT_EQ(hwAddrLength(255), 0);
    EXPECT_STREQ(HwAddrText(bytes, 200), "");
}

TEST(HostRecord, SharedValuesAreFreedAtTheLastRelease) {
    // Held by a template and two entries: alive until the third release.
    SharedString* s = NewSharedString("boot", 4);
    HoldString(s);
    HoldString(s);
    ReleaseString(s);
    ReleaseString(s);
    EXPECT_EQ(s->refCount, 1);
    EXPECT_STREQ(s->text(), "boot");
    ReleaseString(s); // freed; ASan reports a leak or double free otherwise
    ReleaseString(nullptr);
    del_iplist(nullptr);
    ReleaseGeneric(nullptr);
    ReleaseHost(nullptr);
}

TEST(HostRecord, MemoryExhaustionIsReportedToTheCaller) {
    EXPECT_THROW(EngineAlloc(SIZE_MAX / 2), std::bad_alloc);
}

TEST(HashCode, SumsSquaresOfUnsignedBytesWithWrap) {
    const uint8_t bytes[] = {1, 2, 3, 0xFF};
    EXPECT_EQ(hash_Code(bytes, 3), 14u);
    EXPECT_EQ(hash_Code(bytes + 3, 1), 65025u);
    EXPECT_EQ(hash_Code(bytes, 0), 0u);
    std::vector<uint8_t> many(70000, 0xFF);
    EXPECT_EQ(hash_Code(many.data(), 70000), static_cast<uint32_t>(70000ull * 65025ull));
}

class HashTableTest : public ::testing::Test {
protected:
    void SetUp() override { table_ = hash_New(7); }
    void TearDown() override {
        hash_Clear(table_, ReleaseHost);
        hash_Free(table_);
    }
    HostEntry* Add(const char* name, uint32_t code) {
        HostEntry* e = NewHostEntry();
        e->hostName = NewSharedString(name, std::strlen(name));
        e->linkCount = 1;
        EXPECT_EQ(hash_Insert(table_, code, neverMatch, name, e), 0);
        return e;
    }
    HashTable* table_ = nullptr;
};

TEST_F(HashTableTest, WalksBucketsInOrderNewestFirstAndResetsAfterTheEnd) {
    EXPECT_EQ(hash_New(0), nullptr);
    EXPECT_EQ(hash_First(table_), nullptr);
    HostEntry* a = Add("a", 3);
    HostEntry* b = Add("b", 10); // bucket 3 as well, inserted later
    HostEntry* c = Add("c", 1);
    HostEntry* d = Add("d", 6);
    std::vector<HostEntry*> walk{hash_First(table_)};
    for (int i = 0; i < 4; ++i) {
        walk.push_back(hash_Next(table_));
    }
    // After the end: nothing once, then the walk starts again.
    EXPECT_EQ(walk, (std::vector<HostEntry*>{c, b, a, d, nullptr}));
    EXPECT_EQ(hash_Next(table_), c);
    EXPECT_EQ(hash_First(table_), c);
    EXPECT_EQ(hash_Next(table_), b);
}

TEST_F(HashTableTest, FindReturnsTheLastInsertedMatchAndInsertRefusesDuplicates) {
    HostEntry* first = Add("same", 5);
    HostEntry* second = Add("same", 5);
    EXPECT_NE(first, second);
    EXPECT_EQ(hash_Find(table_, 5, nameLookupMatch, "same"), second);
    EXPECT_NE(hash_Find(table_, 5, nameLookupMatch, "same"), nullptr);
    EXPECT_EQ(hash_Find(table_, 5, nameLookupMatch, "Same"), nullptr);
    HostEntry* third = NewHostEntry();
    EXPECT_EQ(hash_Insert(table_, 5, nameLookupMatch, "same", third), -1);
    ReleaseHost(third);
    hash_Clear(table_, ReleaseHost);
    EXPECT_EQ(hash_First(table_), nullptr);
    EXPECT_EQ(hash_Find(table_, 5, nameLookupMatch, "same"), nullptr);
}

TEST(HostTables, EmptyAddressesHashToBucketZeroAndCompareEqual) {
    HostEntry a{}, b{};
    a.hwType = b.hwType = 3;
    a.hwAddr[0] = 1;
    b.hwAddr[0] = 2;
    EXPECT_TRUE(hwLookupMatch(&a, &b));
    EXPECT_EQ(hash_Code(a.hwAddr, static_cast<uint32_t>(hwAddrLength(3))) % 257, 0u);
    b.hwType = 5;
    EXPECT_FALSE(hwLookupMatch(&a, &b));
}

// The index beside each host table gives the answers a walk of its chain
// gives: the newest holder of a key, nothing for an absent key, the same
// refusals of repeated hardware addresses, and nothing once cleared.
TEST(HostTables, IndexedTablesAnswerAsTheirChainsDo) {
    const HashKey kinds[3] = {HashKey::hardware, HashKey::ip, HashKey::name};
    HashTable* plain[3];
    HashTable* indexed[3];
    for (int t = 0; t < 3; ++t) {
        plain[t] = hash_New(kHostTableBuckets);
        indexed[t] = hash_New(kHostTableBuckets, kinds[t]);
    }
    auto keyOf = [](int i, HostEntry& e) {
        // Byte permutations share a code, so chains hold many equal codes;
        // every fifth entry repeats an earlier address on the same or
        // another subnet.
        int n = i % 5 == 0 ? i / 2 : i;
        const uint8_t mac[6] = {2,
                                0,
                                0,
                                static_cast<uint8_t>(n % 17),
                                static_cast<uint8_t>(n / 17 % 17),
                                static_cast<uint8_t>(n / 289)};
        e.hwType = 1;
        std::memcpy(e.hwAddr, mac, 6);
        // A repeat on its original's subnet, or with another mask, is refused.
        e.subnetMask = htonl(i % 15 == 0 ? 0xFFFF0000u : 0xFFFFFF00u);
        uint32_t subnet = static_cast<uint32_t>((i % 10 == 0 ? n : i) % 700);
        e.ipAddr = htonl(0x0A000000u | subnet << 8 | (i % 3 == 0 ? 1 : 2));
    };
    std::vector<HostEntry*> entries;
    for (int i = 0; i < 4000; ++i) {
        HostEntry* e = NewHostEntry();
        keyOf(i, *e);
        std::string name = "h" + std::to_string(i % 1500);
        e->hostName = NewSharedString(name.c_str(), name.size());
        e->linkCount = 1;
        entries.push_back(e);
        uint32_t code = hash_Code(e->hwAddr, 6);
        int refused = hash_Insert(plain[0], code, hwInsertMatch, e, e);
        ASSERT_EQ(hash_Insert(indexed[0], code, hwInsertMatch, e, e), refused) << i;
        if (refused != 0)
            continue;
        for (HashTable* t : {plain[1], indexed[1]})
            ASSERT_EQ(hash_Insert(t, hash_Code(&e->ipAddr, 4), neverMatch, e, e), 0);
        for (HashTable* t : {plain[2], indexed[2]})
            ASSERT_EQ(hash_Insert(t, hash_Code(name.c_str(), static_cast<uint32_t>(name.size())),
                                  neverMatch, name.c_str(), e),
                      0);
    }
    for (int i = 0; i < 5000; ++i) {
        HostEntry key{};
        keyOf(i, key);
        uint32_t code = hash_Code(key.hwAddr, 6);
        ASSERT_EQ(hash_Find(indexed[0], code, hwLookupMatch, &key),
                  hash_Find(plain[0], code, hwLookupMatch, &key))
            << i;
        code = hash_Code(&key.ipAddr, 4);
        ASSERT_EQ(hash_Find(indexed[1], code, ipLookupMatch, &key),
                  hash_Find(plain[1], code, ipLookupMatch, &key))
            << i;
        std::string name = "h" + std::to_string(i % 2000);
        code = hash_Code(name.c_str(), static_cast<uint32_t>(name.size()));
        ASSERT_EQ(hash_Find(indexed[2], code, nameLookupMatch, name.c_str()),
                  hash_Find(plain[2], code, nameLookupMatch, name.c_str()))
            << i;
    }
    for (int t = 0; t < 3; ++t) {
        hash_Clear(plain[t], [](HostEntry*) {});
        hash_Clear(indexed[t], [](HostEntry*) {});
        hash_Free(plain[t]);
    }
    HostEntry key{};
    keyOf(1, key);
    EXPECT_EQ(hash_Find(indexed[0], hash_Code(key.hwAddr, 6), hwLookupMatch, &key), nullptr);
    for (HashTable* t : indexed)
        hash_Free(t);
    for (HostEntry* e : entries)
        ReleaseHost(e);
}
