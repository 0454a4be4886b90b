#include "bootp/tests/engine_fixture.h"

#include "bootp/bootp_message.h"
#include "bootp/hash_table.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>

#include <cstdlib>

namespace {

using bootp_test::EngineTest;
using bootp_test::Request;

constexpr uint8_t kLab1[6] = {0x02, 0x00, 0x0a, 0x0b, 0x0c, 0x0d};
constexpr uint8_t kStranger[6] = {0x02, 0x00, 0x0a, 0x0b, 0x0c, 0x99};

uint32_t Field(const std::vector<uint8_t>& packet, size_t offset) {
    uint32_t value;
    std::memcpy(&value, &packet[offset], 4);
    return value;
}

// Start-up and stop.

TEST_F(EngineTest, StartsListeningWithoutBlockingOnAnEmptyNotification) {
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    int fd = engine_.socket.fd;
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(app_.tableReads, 1);
    EXPECT_EQ(engine_.debugLevel, 0);
    // A notification that finds nothing waiting returns at once, silently.
    app_.lines.clear();
    EXPECT_EQ(ReceiveRequest(engine_), 0);
    EXPECT_TRUE(app_.lines.empty());
    EXPECT_TRUE(boxes_->texts.empty());

    StopServer(engine_);
    EXPECT_EQ(engine_.socket.fd, -1);
    EXPECT_EQ(engine_.tables.nameTable, nullptr);
}

TEST_F(EngineTest, TheLongestHostNameTheSystemAllowsStarts) {
    ASSERT_EQ(unshare(CLONE_NEWUTS), 0);
    std::string name(HOST_NAME_MAX, 'h');
    ASSERT_EQ(sethostname(name.data(), name.size()), 0);
    EXPECT_EQ(StartServer(engine_, app_, ""), 1);
    EXPECT_TRUE(boxes_->texts.empty());
}

TEST_F(EngineTest, ARestartInTheSameProcessLoadsTheTableAgain) {
    // Long written, so nothing but the recorded state decides the read.
    timespec past[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, tablePath_.c_str(), past, 0), 0);
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    StopServer(engine_);
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    EXPECT_EQ(engine_.entryCount, 1);
    EXPECT_EQ(Deliver(Request(kLab1)), 0);
    EXPECT_EQ(Reply().size(), kBootpPacketSize);
}

TEST_F(EngineTest, PortAlreadyBoundShowsTheBindMessageAndFailsToStart) {
    int holder = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in port67 = Address("0.0.0.0", 67);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&port67), sizeof port67), 0);
    EXPECT_EQ(StartServer(engine_, app_, ""), 0);
    close(holder);
    EXPECT_EQ(boxes_->texts, std::vector<std::string>{"The WinSock bind function failed with: 98\n"
                                                      "Address already in use\n"});
    EXPECT_EQ(engine_.socket.fd, -1);
}

TEST_F(EngineTest, ATableFileTheApplicationRefusesEndsStartUpBeforeTheSocket) {
    app_.tableFileOk = FALSE;
    EXPECT_EQ(StartServer(engine_, app_, ""), 0);
    EXPECT_EQ(app_.tableReads, 0);
    app_.tableFileOk = TRUE;
    app_.tableLinesOk = FALSE;
    EXPECT_EQ(StartServer(engine_, app_, ""), 0);
    EXPECT_EQ(engine_.socket.fd, -1);
    EXPECT_TRUE(boxes_->texts.empty());
}

TEST_F(EngineTest, TheWholeCommandLineNamesTheTableFile) {
    std::string spaced = (dir_ / "my table").string();
    std::ofstream(spaced) << "other:ht=1:ha=02000a0b0c0e:ip=10.0.0.6:\n";
    ASSERT_EQ(StartServer(engine_, app_, spaced), 1);
    EXPECT_EQ(engine_.paths.table, spaced);
    EXPECT_EQ(engine_.entryCount, 1);
    HostEntry* first = hash_First(engine_.tables.nameTable);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(HostNameText(first), "other");
}

TEST_F(EngineTest, DebugArgumentWritesTheDumpBesideTheRegistryTable) {
    std::filesystem::create_directories(dir_ / "registry");
    std::ofstream(dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\BootpSettings]\r\n"
        << "\"Bootptabfile\"=\"" << tablePath_ << "\"\r\n";
    setenv("OLVANI_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    engine_.paths = LoadTablePaths();
    ASSERT_EQ(engine_.paths.dump, tablePath_ + ".dmp");

    ASSERT_EQ(StartServer(engine_, app_, "-d"), 1);
    EXPECT_EQ(engine_.debugLevel, 0);
    EXPECT_FALSE(std::filesystem::exists(engine_.paths.dump));
    StopServer(engine_);

    ASSERT_EQ(StartServer(engine_, app_, "-d2"), 1);
    EXPECT_EQ(engine_.debugLevel, 2);
    std::ifstream dump(engine_.paths.dump);
    std::string text((std::istreambuf_iterator<char>(dump)), {});
    EXPECT_NE(text.find("lab1:ip=10.0.0.5:ht=1:ha=02000A0B0C0D:sm=255.255.255.0:\r\n"),
              std::string::npos);
    unsetenv("OLVANI_REGISTRY_DIR");
}

TEST_F(EngineTest, AnUnwritableDumpEndsTheProgramWithNothingLeftRunning) {
    std::filesystem::create_directories(dir_ / "registry");
    std::ofstream(dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\BootpSettings]\r\n"
        << "\"Bootptabfile\"=\"" << (dir_ / "missing" / "bootptab").string() << "\"\r\n";
    setenv("OLVANI_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    CBootPServer server(LoadTablePaths());
    SetTablePath(server.Engine(), tablePath_);
    EXPECT_FALSE(server.Initialize(app_, "-d2"));
    EXPECT_TRUE(server.EndsProgram());
    EXPECT_EQ(server.SocketHandle(), -1);
    EXPECT_EQ(server.Engine().tables.hwTable, nullptr);
    unsetenv("OLVANI_REGISTRY_DIR");
}

TEST_F(EngineTest, AnyOtherSwitchEndsTheProgramQuietly) {
    EXPECT_EQ(StartServer(engine_, app_, "-x"), kStartEndProgram);
    EXPECT_EQ(StartServer(engine_, app_, "--quiet"), kStartEndProgram);
    CBootPServer server;
    EXPECT_FALSE(server.Initialize(app_, "-x"));
    EXPECT_TRUE(server.EndsProgram());
    EXPECT_EQ(server.SocketHandle(), -1);
    EXPECT_TRUE(app_.lines.empty());
}

// One datagram per notification.

TEST_F(EngineTest, DatagramsRefusedBeforeTheTableIsConsulted) {
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    int reads = app_.tableReads;
    EXPECT_EQ(Deliver({}), 0);
    EXPECT_EQ(app_.lines, std::vector<std::string>{"Error:  The socket connection is not open."});
    EXPECT_EQ(Deliver(Request(kLab1, kMinimumRequestLength - 1)), 0);
    EXPECT_EQ(app_.lines,
              std::vector<std::string>{"Error:  The BootP Server received a short packet."});
    EXPECT_EQ(app_.tableReads, reads);
    EXPECT_TRUE(Reply(50).empty());
}

TEST_F(EngineTest, RepliesAreIgnoredAndAStaleTableCopyDropsTheRequest) {
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    EXPECT_EQ(Deliver(Request(kLab1, 300, BOOTREPLY)), 0);
    EXPECT_TRUE(app_.lines.empty());
    app_.tableLinesOk = FALSE;
    EXPECT_EQ(Deliver(Request(kLab1)), -1);
    EXPECT_TRUE(app_.lines.empty());
    EXPECT_TRUE(Reply(50).empty());
}

TEST_F(EngineTest, RequestsWithoutAVendorAreaAndOverlongOnesAreAnswered) {
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    for (size_t length : {kMinimumRequestLength, size_t{1500}}) {
        SCOPED_TRACE(length);
        std::vector<uint8_t> request = Request(kLab1, length);
        EXPECT_EQ(Deliver(request), 0);
        std::vector<uint8_t> reply = Reply();
        ASSERT_EQ(reply.size(), kBootpPacketSize);
        EXPECT_EQ(reply[0], BOOTREPLY);
        EXPECT_EQ(Field(reply, bootp_offset::xid), Field(request, bootp_offset::xid));
        EXPECT_EQ(Field(reply, bootp_offset::yiaddr), inet_addr("10.0.0.5"));
        const uint8_t vendor[] = {99, 130, 83, 99, 1, 4, 255, 255, 255, 0, 255};
        EXPECT_EQ(std::memcmp(&reply[bootp_offset::vend], vendor, sizeof vendor), 0);
    }
}

TEST_F(EngineTest, AnUnknownClientIsOfferedToTheAddDialogAndGetsNoReply) {
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    EXPECT_EQ(Deliver(Request(kStranger)), 0);
    EXPECT_EQ(app_.inserted, std::vector<std::string>{"02000A0B0C99"});
    EXPECT_TRUE(Reply(50).empty());
}

TEST_F(EngineTest, TheNextRequestSeesATableEditedWhileRunning) {
    ASSERT_EQ(StartServer(engine_, app_, ""), 1);
    WriteTable("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.7:\n");
    EXPECT_EQ(Deliver(Request(kLab1)), 0);
    std::vector<uint8_t> reply = Reply();
    ASSERT_EQ(reply.size(), kBootpPacketSize);
    EXPECT_EQ(Field(reply, bootp_offset::yiaddr), inet_addr("10.0.0.7"));
}

// The frame's handler around each notification.

TEST_F(EngineTest, EachNotificationStartsAFreshLogAndIsFramed) {
    CBootPServer server;
    SetTablePath(server.Engine(), tablePath_);
    ASSERT_TRUE(server.Initialize(app_, ""));
    EXPECT_GE(server.SocketHandle(), 0);
    Send(Request(kLab1, 100));
    pollfd p{server.SocketHandle(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    app_.lines.clear();
    EXPECT_TRUE(OnSocketReadEvent(server, app_));
    ASSERT_EQ(app_.lines.size(), 6u);
    EXPECT_EQ(app_.lines[0], "<clear>");
    EXPECT_FALSE(app_.lines[1].empty()); // the local time
    EXPECT_EQ(app_.lines[2], "Status: BOOTP Request received at outer most layer");
    EXPECT_EQ(app_.lines[3], "Error:  The BootP Server received a short packet.");
    EXPECT_EQ(app_.lines[4], "Status: BOOTP Request finished processing at outer most layer");
    EXPECT_EQ(app_.lines[5], "    ");
    EXPECT_TRUE(server.Terminate());
    EXPECT_EQ(server.SocketHandle(), -1);
}

// A burst is served datagram by datagram, each framed as a notification of
// its own; once nothing waits, nothing happens and nothing is shown.
TEST_F(EngineTest, WaitingDatagramsAreServedEachFramedAndNothingAfterThem) {
    CBootPServer server;
    SetTablePath(server.Engine(), tablePath_);
    ASSERT_TRUE(server.Initialize(app_, ""));
    app_.lines.clear();
    EXPECT_EQ(OnWaitingDatagram(server, app_), 0);
    EXPECT_TRUE(app_.lines.empty());

    Send(Request(kLab1, 100));
    pollfd p{server.SocketHandle(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_EQ(OnWaitingDatagram(server, app_), 1);
    const std::vector<std::string> framed{"<clear>",
                                          app_.lines.size() > 1 ? app_.lines[1] : "",
                                          "Status: BOOTP Request received at outer most layer",
                                          "Error:  The BootP Server received a short packet.",
                                          "Status: BOOTP Request finished processing at outer "
                                          "most layer",
                                          "    "};
    EXPECT_EQ(app_.lines, framed);
    EXPECT_FALSE(framed[1].empty()); // the local time
    app_.lines.clear();
    EXPECT_EQ(OnWaitingDatagram(server, app_), 0);
    EXPECT_TRUE(app_.lines.empty());
    EXPECT_TRUE(server.Terminate());
}

} // namespace
