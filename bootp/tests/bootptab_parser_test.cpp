#include "table_fixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <vector>

using namespace bootp_test;

namespace {

uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}

std::vector<uint8_t> Generic(const HostEntry* e) {
    if (e->generic == nullptr) {
        return {};
    }
    return {e->generic->bytes(), e->generic->bytes() + e->generic->length};
}

std::vector<uint32_t> List(const AddressList* list) {
    if (list == nullptr) {
        return {};
    }
    return {list->addresses(), list->addresses() + list->count};
}

int ResultOf(const std::string& text) {
    int result = 0;
    Parse(text, &result);
    return result;
}

} // namespace

TEST(ParseEntry, AddressesFollowTheNumberAndPartRules) {
    int r = 0;
    EXPECT_EQ(Parse("h:ip=10.1:", &r)->ipAddr, Ip("10.0.0.1"));
    EXPECT_EQ(Parse("h:ip=010.0x10.1.1", &r)->ipAddr, Ip("8.16.1.1"));
    EXPECT_EQ(Parse("h:ip=10.1.300", &r)->ipAddr, Ip("10.1.1.44"));
    EXPECT_EQ(Parse("h:ip=167772161", &r)->ipAddr, Ip("10.0.0.1"));
    EXPECT_EQ(Parse("h:sm=0xffffff00", &r)->subnetMask, Ip("255.255.255.0"));
    EXPECT_EQ(r, 0);
    // Five parts, a trailing letter, no leading digit: bad address.
    EXPECT_EQ(ResultOf("h:ip=1.2.3.4.5"), -1);
    EXPECT_EQ(ResultOf("h:ip=1.2.3.4x"), -1);
    EXPECT_EQ(ResultOf("h:ip=x1.2.3.4"), -1);
    EXPECT_EQ(ResultOf("h:sm=:"), -1); // an empty mask refuses the entry
}

TEST(ParseEntry, HostNamesMustBeGoodLabels) {
    for (const char* bad : {"host_1:ip=1.2.3.4:", "1host:", "host-:", "a..b:", ".a:", "a.:", ":"}) {
        EXPECT_EQ(ResultOf(bad), -1) << bad;
    }
    int r = 0;
    HostPtr e = Parse("lab-1.bench2 :ip=1.2.3.4", &r);
    EXPECT_EQ(r, 0);
    EXPECT_STREQ(HostNameText(e.get()), "lab-1.bench2");
    EXPECT_EQ(ResultOf(""), -1);
}

TEST(ParseEntry, HardwareAddressNeedsTypeFirstAndExactBytes) {
    EXPECT_EQ(ResultOf("host1:ha=02000A0B0C0D:ht=1:"), -1);
    int r = 0;
    HostPtr e = Parse("host1:ht=1:ha=02.00.0a.0b.0c.0d:", &r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(e->flags & (HF_HWTYPE | HF_HWADDR), HF_HWTYPE | HF_HWADDR);
    EXPECT_STREQ(HwAddrText(e->hwAddr, e->hwType), "02000A0B0C0D");
    // 0x prefixes, and extra text up to the colon is ignored.
    e = Parse("h:ht=ether:ha=0x020X000a0b0c0d0e0f1011:ip=1.2.3.4", &r);
    EXPECT_EQ(r, 0);
    EXPECT_STREQ(HwAddrText(e->hwAddr, 1), "02000A0B0C0D");
    EXPECT_EQ(e->ipAddr, Ip("1.2.3.4"));
    EXPECT_EQ(ResultOf("h:ht=1:ha=02000A0B0C"), -1); // too short
    e = Parse("h:ht=2:ha=7f:", &r);
    EXPECT_STREQ(HwAddrText(e->hwAddr, e->hwType), "7F");
}

TEST(ParseEntry, BadHardwareTypeKeepsWhatCameBefore) {
    for (const char* type : {"arcnet", "7", "0", "bogus"}) {
        int r = -1;
        HostPtr e = Parse(std::string("h:ip=1.2.3.4:ht=") + type + ":sm=255.0.0.0:", &r);
        EXPECT_EQ(r, 0) << type;
        EXPECT_EQ(e->flags & (HF_HWTYPE | HF_SUBNET_MASK), 0u) << type;
        EXPECT_EQ(e->ipAddr, Ip("1.2.3.4"));
    }
    int r = 0;
    EXPECT_EQ(Parse("h:ht=Ethernet:", &r)->hwType, 1);
    EXPECT_EQ(Parse("h:ht=Token-Ring:", &r)->hwType, 6);
    EXPECT_EQ(Parse("h:ht=ax.25:", &r)->hwType, 3);
}

TEST(ParseEntry, ListsKeepSixteenAndMayBeEmpty) {
    int r = 0;
    HostPtr e = Parse("h:gw=:ds= 10.0.0.1 10.0.0.2:", &r);
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(e->flags & HF_GATEWAYS);
    EXPECT_EQ(e->gateways, nullptr);
    EXPECT_EQ(List(e->domainServers), (std::vector<uint32_t>{Ip("10.0.0.1"), Ip("10.0.0.2")}));
    std::string many = "h:ts=";
    for (int i = 1; i <= 20; ++i) {
        many += "10.0.0." + std::to_string(i) + " ";
    }
    e = Parse(many + ":ip=1.1.1.1", &r);
    ASSERT_NE(e->timeServers, nullptr);
    EXPECT_EQ(e->timeServers->count, 16u);
    EXPECT_EQ(e->timeServers->addresses()[15], Ip("10.0.0.16"));
    EXPECT_EQ(e->ipAddr, Ip("1.1.1.1"));
    e = Parse("h:gw=1.2.3.4:gw@:", &r);
    EXPECT_EQ(e->flags & HF_GATEWAYS, 0u);
    EXPECT_EQ(e->gateways, nullptr);
    EXPECT_EQ(ResultOf("h:gw:"), -1); // a bare list tag is a syntax error
}

TEST(ParseEntry, GenericOptionsAccumulateExactBytes) {
    int r = 0;
    EXPECT_EQ(Generic(Parse("h:T145=64:T146=01:T147=01", &r).get()),
              (std::vector<uint8_t>{145, 1, 0x64, 146, 1, 0x01, 147, 1, 0x01}));
    EXPECT_EQ(Generic(Parse("h:T150=\"abc\"", &r).get()),
              (std::vector<uint8_t>{150, 3, 'a', 'b', 'c'}));
    EXPECT_EQ(Generic(Parse("h:T150=0x41.0X42:", &r).get()),
              (std::vector<uint8_t>{150, 2, 0x41, 0x42}));
    EXPECT_EQ(Generic(Parse("h:T0x196=\"a:b\"", &r).get()),
              (std::vector<uint8_t>{0x96, 3, 'a', ':', 'b'}));
    // Quoted data keeps 61 characters, hex data 62 bytes.
    EXPECT_EQ(Generic(Parse("h:T1=\"" + std::string(70, 'z') + "\"", &r).get()).size(), 63u);
    EXPECT_EQ(Generic(Parse("h:T1=" + std::string(140, 'a'), &r).get()).size(), 64u);
    EXPECT_EQ(ResultOf("h:T150:"), -1);
}

TEST(ParseEntry, TenThousandGenericOptionsInOneEntry) {
    std::string text = "h";
    for (int i = 0; i < 10000; ++i) {
        text += ":T1=02";
    }
    int r = -1;
    HostPtr e = Parse(text, &r);
    EXPECT_EQ(r, 0);
    ASSERT_NE(e->generic, nullptr);
    EXPECT_EQ(e->generic->length, 30000u);
}

TEST(ParseEntry, ScalarTagsAndTheirForms) {
    int r = 0;
    HostPtr e = Parse("h:to=-18000:bs=70000:vm=cmu:hn:bf=\"a b:c\" :hd=/x/y", &r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(e->timeOffset, -18000);
    EXPECT_EQ(e->flags & (HF_TIMEOFFSET | HF_TIMEOFFSET_AUTO), HF_TIMEOFFSET);
    EXPECT_EQ(e->bootSize, 70000u);
    EXPECT_EQ(e->flags & (HF_BOOTSIZE | HF_BOOTSIZE_AUTO), HF_BOOTSIZE);
    EXPECT_EQ(0, std::memcmp(e->vendorCookie, kCmuCookie, 4));
    EXPECT_EQ(e->flags & (HF_VENDOR_MAGIC | HF_VENDOR_MAGIC_AUTO), HF_VENDOR_MAGIC);
    EXPECT_EQ(e->flags & (HF_HOSTNAME_SPECIFIED | HF_SEND_HOSTNAME),
              HF_HOSTNAME_SPECIFIED | HF_SEND_HOSTNAME);
    EXPECT_STREQ(e->bootFile->text(), "a b:c");
    EXPECT_STREQ(e->homeDir->text(), "/x/y");

    e = Parse("h:to=auto:bs:vm=10.1.2.3:hn@:bf=:", &r);
    EXPECT_EQ(e->flags & (HF_TIMEOFFSET | HF_TIMEOFFSET_AUTO), HF_TIMEOFFSET | HF_TIMEOFFSET_AUTO);
    EXPECT_EQ(e->flags & (HF_BOOTSIZE | HF_BOOTSIZE_AUTO), HF_BOOTSIZE | HF_BOOTSIZE_AUTO);
    EXPECT_EQ(0, std::memcmp(e->vendorCookie, "\x0a\x01\x02\x03", 4));
    EXPECT_EQ(e->flags & HF_SEND_HOSTNAME, 0u);
    EXPECT_TRUE(e->flags & HF_BOOTFILE); // an empty value still sets the flag
    EXPECT_STREQ(e->bootFile->text(), "");

    // Keywords are case-sensitive; the errors refuse the whole entry.
    for (const char* bad : {"h:vm=RFC1048:", "h:to=abc:", "h:to=99999999999:", "h:hn=1:", "h:tc:",
                            "h:tc@:", "h:ip:", "h:zz=1:", "h:ipx1:", "h:ha=1:"}) {
        EXPECT_EQ(ResultOf(bad), -1) << bad;
    }
}

TEST_F(TableFileTest, TemplatesFillOnlyWhatIsStillUnset) {
    ASSERT_EQ(Load("early:tc=tmpl:ip=10.0.0.9\n"
                   "tmpl:ip=10.9.9.9:sm=255.255.0.0:gw=10.0.0.1:hd=/boot:to=auto:hn:T1=01:"
                   "vm=cmu:bs=auto:ht=1\n"
                   "user1:sm=255.0.0.0:tc=tmpl:bf=x\n"
                   "user2:tc=tmpl:sm=255.255.255.0:hn@\n"
                   "user3:tc=10.9.9.9\n"),
              0);
    HostEntry* t = FindName("tmpl");
    HostEntry* u1 = FindName("user1");
    HostEntry* u2 = FindName("user2");
    HostEntry* u3 = FindName("user3");
    HostEntry* early = FindName("early");
    ASSERT_TRUE(t && u1 && u2 && u3 && early);
    // A template referenced before its own entry is not found.
    EXPECT_EQ(early->flags & HF_GATEWAYS, 0u);
    // The entry's own values win wherever they stand.
    EXPECT_EQ(u1->subnetMask, Ip("255.0.0.0"));
    EXPECT_EQ(u2->subnetMask, Ip("255.255.255.0"));
    EXPECT_EQ(u2->flags & HF_SEND_HOSTNAME, 0u);
    EXPECT_TRUE(u1->flags & HF_SEND_HOSTNAME);
    EXPECT_EQ(u1->gateways, t->gateways); // shared, not copied
    EXPECT_EQ(u1->homeDir, t->homeDir);
    EXPECT_EQ(u3->homeDir, t->homeDir); // found by address
    EXPECT_EQ(t->homeDir->refCount, 4);
    EXPECT_EQ(t->generic->refCount, 4);
    EXPECT_EQ(0, std::memcmp(u3->vendorCookie, kCmuCookie, 4));
    EXPECT_EQ(u3->flags & HF_VENDOR_MAGIC_AUTO, 0u);
    EXPECT_EQ(u3->hwType, 1);
    EXPECT_EQ(u3->flags & (HF_TIMEOFFSET_AUTO | HF_BOOTSIZE_AUTO),
              HF_TIMEOFFSET_AUTO | HF_BOOTSIZE_AUTO);
    // Name, address and hardware address never come from a template.
    EXPECT_EQ(u1->flags & HF_IPADDR, 0u);
    EXPECT_STREQ(u1->bootFile->text(), "x");
    EXPECT_EQ(t->bootFile, nullptr);
}

TEST_F(TableFileTest, OwnListsAndFilesBeforeATemplateStay) {
    ASSERT_EQ(Load("tmpl:gw=10.0.0.1:ds=10.0.0.2:ts=10.0.0.3:hd=/tmpl:bf=tmpl.bin:T1=01\n"
                   "own:gw=10.1.1.1:ds=10.1.1.2:hd=/own:bf=own.bin:T2=02:tc=tmpl\n"),
              0);
    HostEntry* own = FindName("own");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(List(own->gateways), std::vector<uint32_t>{Ip("10.1.1.1")});
    EXPECT_EQ(List(own->domainServers), std::vector<uint32_t>{Ip("10.1.1.2")});
    EXPECT_STREQ(own->homeDir->text(), "/own");
    EXPECT_STREQ(own->bootFile->text(), "own.bin");
    EXPECT_EQ(Generic(own), (std::vector<uint8_t>{2, 1, 2}));
    // What the entry did not set still comes from the template.
    EXPECT_EQ(List(own->timeServers), std::vector<uint32_t>{Ip("10.0.0.3")});
}
