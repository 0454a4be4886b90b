#include "bootp/request.h"
#include "table_fixture.h"
#include "tests/support/recording_application.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/stat.h>

#include <vector>

using namespace bootp_test;

namespace {

using Lines = std::vector<std::string>;

using olvani_test::RecordingApplication;

struct Sent {
    std::vector<uint8_t> bytes;
    ReplyDestination destination;
};

struct RecordingSender : ReplySender {
    std::vector<Sent> sent;
    int error = 0;
    int SendReply(const uint8_t* reply, size_t length,
                  const ReplyDestination& destination) override {
        sent.push_back({{reply, reply + length}, destination});
        return error;
    }
    uint32_t OwnAddress() override { return inet_addr("192.168.1.1"); }
};

const uint8_t kMac[6] = {0x02, 0x00, 0x0A, 0x0B, 0x0C, 0x0D};

class RequestTest : public TableFileTest {
protected:
    void SetUp() override {
        TableFileTest::SetUp();
        NewRequest();
    }
    // A fresh request from the same client, with fresh recorders.
    void NewRequest() {
        app_ = RecordingApplication{};
        sender_.sent.clear();
        std::memset(packet_, 0, sizeof packet_);
        packet_[bootp_offset::op] = BOOTREQUEST;
        packet_[bootp_offset::htype] = 1;
        packet_[bootp_offset::hlen] = 16; // ignored: the type decides
        packet_[bootp_offset::hops] = 1;
        std::memcpy(packet_ + bootp_offset::xid, "\x12\x34\x56\x78", 4);
        std::memcpy(packet_ + bootp_offset::chaddr, kMac, 6);
        packet_[bootp_offset::chaddr + 6] = 0x99; // beyond the Ethernet length
        std::memcpy(packet_ + bootp_offset::sname, "server", 6);
    }
    void SetAddress(size_t offset, const char* dotted) {
        uint32_t address = inet_addr(dotted);
        std::memcpy(packet_ + offset, &address, 4);
    }
    void SetFile(const std::string& name) {
        std::memset(packet_ + bootp_offset::file, 0, kBootpFileSize);
        std::memcpy(packet_ + bootp_offset::file, name.data(), std::min(name.size(), size_t{128}));
    }
    std::string Address(const std::vector<uint8_t>& reply, size_t offset) {
        in_addr a{};
        std::memcpy(&a.s_addr, reply.data() + offset, 4);
        return inet_ntoa(a);
    }
    std::string ReplyFile() {
        return reinterpret_cast<const char*>(sender_.sent.at(0).bytes.data() + bootp_offset::file);
    }
    void Handle() { HandleRequest(engine_, packet_, app_, sender_); }
    void MakeFile(const std::string& name, size_t size, mode_t mode = 0644) {
        std::filesystem::create_directories((dir_ / name).parent_path());
        Write(std::string(size, 'x'), (dir_ / name).string());
        ::chmod((dir_ / name).c_str(), mode);
    }

    uint8_t packet_[kReceiveBufferSize];
    RecordingApplication app_;
    RecordingSender sender_;
};

} // namespace

TEST_F(RequestTest, KnownHardwareAddressGetsABroadcastReply) {
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:sm=255.255.255.0\n"), 0);
    Handle();
    EXPECT_EQ(app_.lines,
              (Lines{"Status: BOOTP Request received from hardware address: 02000A0B0C0D",
                     "Status: found 10.0.0.5 lab1:", "Status: Host IP Address is: 192.168.1.1",
                     "Status: Reply to BOOTP Request has been sent"}));
    ASSERT_EQ(sender_.sent.size(), 1u);
    const Sent& reply = sender_.sent[0];
    EXPECT_EQ(reply.bytes.size(), 300u);
    EXPECT_EQ(reply.destination.address, 0xFFFFFFFFu);
    EXPECT_EQ(reply.destination.port, 68);
    EXPECT_EQ(reply.bytes[bootp_offset::op], BOOTREPLY);
    EXPECT_EQ(Address(reply.bytes, bootp_offset::yiaddr), "10.0.0.5");
    EXPECT_EQ(Address(reply.bytes, bootp_offset::siaddr), "192.168.1.1");
    EXPECT_EQ(Address(reply.bytes, bootp_offset::giaddr), "192.168.1.1");
    // Everything the client sent that the server does not own is echoed.
    for (size_t offset : {bootp_offset::htype, bootp_offset::hlen, bootp_offset::hops}) {
        EXPECT_EQ(reply.bytes[offset], packet_[offset]);
    }
    EXPECT_EQ(0, std::memcmp(reply.bytes.data() + bootp_offset::xid, "\x12\x34\x56\x78", 4));
    EXPECT_EQ(0, std::memcmp(reply.bytes.data() + bootp_offset::chaddr,
                             packet_ + bootp_offset::chaddr, 16));
    EXPECT_STREQ(reinterpret_cast<const char*>(reply.bytes.data() + bootp_offset::sname), "server");
    EXPECT_EQ(ReplyFile(), "");
    const uint8_t vend[] = {99, 130, 83, 99, 1, 4, 255, 255, 255, 0, 255};
    EXPECT_EQ(0, std::memcmp(reply.bytes.data() + bootp_offset::vend, vend, sizeof vend));
}

TEST_F(RequestTest, RelayAndClientAddressDecideTheDestination) {
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5\n"
                   "twin1:ip=10.0.0.7:bf=none\ntwin2:ip=10.0.0.7\n"),
              0);
    SetAddress(bootp_offset::giaddr, "10.9.0.1");
    Handle();
    ASSERT_EQ(sender_.sent.size(), 1u);
    EXPECT_EQ(sender_.sent[0].destination.address, inet_addr("10.9.0.1"));
    EXPECT_EQ(sender_.sent[0].destination.port, 67);
    EXPECT_EQ(Address(sender_.sent[0].bytes, bootp_offset::giaddr), "10.9.0.1");

    // By client address: the entry read last answers, yiaddr stays as sent.
    NewRequest();
    SetAddress(bootp_offset::ciaddr, "10.0.0.7");
    SetAddress(bootp_offset::yiaddr, "1.2.3.4");
    Handle();
    EXPECT_EQ(app_.lines.at(0), "Status: request from IP addr: 10.0.0.7");
    EXPECT_EQ(app_.lines.at(1), "Status: found 10.0.0.7 twin2:");
    ASSERT_EQ(sender_.sent.size(), 1u);
    EXPECT_EQ(sender_.sent[0].destination.address, 0xFFFFFFFFu);
    EXPECT_EQ(sender_.sent[0].destination.port, 68);
    EXPECT_EQ(Address(sender_.sent[0].bytes, bootp_offset::yiaddr), "1.2.3.4");
}

TEST_F(RequestTest, UnknownClientsGetNoReply) {
    ASSERT_EQ(Load("lab1:ht=1:ha=020000000001:ip=10.0.0.5\n"), 0);
    Handle();
    EXPECT_EQ(app_.lines,
              (Lines{"Status: BOOTP Request received from hardware address: 02000A0B0C0D",
                     "Error:  Hardware address not found in BOOTPTAB: 02000A0B0C0D"}));
    EXPECT_EQ(app_.inserted, (std::vector<std::string>{"02000A0B0C0D"}));
    // An address the operator already lists is not offered again.
    app_.listed = {"02000A0B0C0D"};
    Handle();
    EXPECT_EQ(app_.inserted.size(), 1u);
    EXPECT_EQ(app_.listedQueries, 2);

    NewRequest();
    SetAddress(bootp_offset::ciaddr, "10.0.0.6");
    Handle();
    EXPECT_EQ(app_.lines, (Lines{"Status: request from IP addr: 10.0.0.6",
                                 "Error:  IP address not found: 10.0.0.6"}));
    EXPECT_TRUE(app_.inserted.empty());

    // No address length for the type: one error line, no table lookup.
    NewRequest();
    packet_[bootp_offset::htype] = 8;
    Handle();
    EXPECT_EQ(app_.lines.size(), 1u);
    EXPECT_EQ(app_.lines.at(0).rfind("Error:  ", 0), 0u);
    EXPECT_TRUE(sender_.sent.empty());
}

TEST_F(RequestTest, EntryWithoutAddressAnswersWithZero) {
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:ip@\n"), 0);
    Handle();
    EXPECT_EQ(app_.lines.at(1), "Status: found 0.0.0.0 lab1:");
    EXPECT_EQ(Address(sender_.sent.at(0).bytes, bootp_offset::yiaddr), "0.0.0.0");
}

TEST_F(RequestTest, BootFileSearchTriesTheHostSuffixFirst) {
    std::string home = (dir_ / "boot").string();
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:bf=inst.bin:bs=auto:hd=" + home + "\n"), 0);
    MakeFile("boot/inst.bin.lab1", 10);
    MakeFile("boot/inst.bin", 1024);
    Handle();
    EXPECT_EQ(app_.lines.at(2),
              "Status: BOOTP Server responding with file: " + home + "/inst.bin.lab1");
    EXPECT_EQ(ReplyFile(), home + "/inst.bin.lab1");

    // Without the suffixed file the plain one answers, and sizes the boot size.
    std::filesystem::remove(dir_ / "boot/inst.bin.lab1");
    NewRequest();
    Handle();
    EXPECT_EQ(ReplyFile(), home + "/inst.bin");
    const uint8_t size[] = {13, 2, 0, 3};
    EXPECT_EQ(0, std::memcmp(sender_.sent.at(0).bytes.data() + bootp_offset::vend + 4, size, 4));

    // A configured file others may not read: the reply goes out without it.
    ::chmod((dir_ / "boot/inst.bin").c_str(), 0600);
    NewRequest();
    Handle();
    EXPECT_EQ(app_.lines.at(2),
              "Error:  This configuration file specified in BOOTPTAB does not exist: " + home +
                  "/inst.bin");
    ASSERT_EQ(sender_.sent.size(), 1u);
    EXPECT_EQ(ReplyFile(), "");
}

TEST_F(RequestTest, RequestedFilesStayInsideTheHomeDirectory) {
    // Written for the other platform: backslashes in the home directory.
    std::string home = dir_.string() + "\\boot";
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:hd=\"" + home + "\"\n"), 0);
    MakeFile("boot/x", 5);
    MakeFile("secret", 5);
    SetFile("x");
    Handle();
    EXPECT_EQ(ReplyFile(), (dir_ / "boot/x").string());

    for (const char* name : {"../secret", "..", "sub/../../secret", "..\\secret", "missing"}) {
        NewRequest();
        SetFile(name);
        Handle();
        EXPECT_TRUE(sender_.sent.empty()) << name;
        EXPECT_EQ(app_.lines.back().rfind("Error:  This configuration file", 0), 0u) << name;
    }
}

TEST_F(RequestTest, ClientsCannotProbeFilesOutsideTheirFolder) {
    MakeFile("secret", 5);
    std::string secret = (dir_ / "secret").string();
    // No home directory: an absolute name the client asks for counts as
    // missing, even inside the current directory, while the same name as the
    // entry's own boot file is served.
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:bs=auto:bf=" + secret + "\n"), 0);
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    SetFile(secret);
    Handle();
    EXPECT_TRUE(sender_.sent.empty());
    EXPECT_EQ(app_.lines.back(),
              "Error:  This configuration file specified in BOOTPTAB does not exist: " + secret);
    NewRequest();
    SetFile("secret");
    Handle();
    EXPECT_EQ(ReplyFile(), "secret");
    std::filesystem::current_path(previous);
    NewRequest();
    Handle();
    EXPECT_EQ(ReplyFile(), secret);

    // A link inside the home directory does not lead out of it, not even
    // to a folder whose name begins like the home directory's.
    MakeFile("boot/x", 5);
    MakeFile("boot-other/y", 5);
    std::filesystem::create_symlink(dir_ / "boot-other/y", dir_ / "boot/link");
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:hd=" + (dir_ / "boot").string() + "\n"), 0);
    NewRequest();
    SetFile("link");
    Handle();
    EXPECT_TRUE(sender_.sent.empty());
}

TEST_F(RequestTest, PathsTooLongForTheReplyAreNotUsable) {
    std::string deep = "d/" + std::string(100, 'a') + "/" + std::string(20, 'b');
    MakeFile("boot/" + deep, 5);
    std::string home = (dir_ / "boot").string();
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d:hd=" + home + "\n"), 0);
    SetFile(deep);
    ASSERT_GT(home.size() + 1 + deep.size(), kMaxBootPath);
    Handle();
    EXPECT_TRUE(sender_.sent.empty());
    EXPECT_EQ(app_.lines.back(),
              "Error:  This configuration file specified in BOOTPTAB does not exist: " + home +
                  "/" + deep);
    // A file field without a terminating NUL is not read past its end.
    NewRequest();
    SetFile(std::string(128, 'z'));
    Handle();
    EXPECT_TRUE(sender_.sent.empty());
}

TEST_F(RequestTest, FailedSendIsReportedAndTheRequestStillEnds) {
    ASSERT_EQ(Load("lab1:ht=1:ha=02000a0b0c0d\n"), 0);
    sender_.error = 101;
    Handle();
    ASSERT_GE(app_.lines.size(), 3u);
    EXPECT_EQ(app_.lines[app_.lines.size() - 3],
              "Error:  The WinSock sendto function failed with: 101");
    EXPECT_EQ(app_.lines[app_.lines.size() - 2], "Error:  Network is unreachable");
    EXPECT_EQ(app_.lines.back(), "Status: Reply to BOOTP Request has been sent");
}
