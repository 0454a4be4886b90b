// Arbitrary datagrams through the request path against a small table with
// boot files on disk; replies go to a sender that checks what it is given.
#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "bootp/hash_table.h"
#include "bootp/request.h"
#include "bootp/table_paths.h"
#include "tests/support/recording_application.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// Every line the request path writes is a status or an error line; half the
// unknown addresses count as listed already.
struct QuietApplication : olvani_test::RecordingApplication {
    QuietApplication() : RecordingApplication(false) {}
    void AddStatusLine(std::string line) override {
        if (line.rfind("Status: ", 0) != 0 && line.rfind("Error:  ", 0) != 0) {
            __builtin_trap();
        }
    }
    int IsListedAddress(const std::string& address) override { return address.size() % 2; }
};

struct CheckingSender : ReplySender {
    int SendReply(const uint8_t* reply, size_t length,
                  const ReplyDestination& destination) override {
        // Clients are answered by broadcast; only a relay agent directly.
        bool relay = destination.port == kServerPort;
        if (length != kBootpPacketSize || reply[0] != BOOTREPLY ||
            (!relay && (destination.port != kClientPort || destination.address != 0xFFFFFFFFu)) ||
            std::memchr(reply + bootp_offset::file, 0, kBootpFileSize) == nullptr) {
            __builtin_trap();
        }
        return reply[bootp_offset::xid] == 0xEE ? 101 : 0;
    }
    uint32_t OwnAddress() override { return inet_addr("10.0.0.254"); }
};

void LoadTable(BootpEngine& engine) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("fuzz-request-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "boot");
    for (const char* name : {"boot/inst.bin", "boot/inst.bin.lab1", "boot/x", "secret"}) {
        std::ofstream(dir / name) << std::string(1500, 'x');
    }
    std::ofstream(dir / "bootptab")
        << "global:sm=255.255.255.0:gw=10.0.0.1 10.0.0.2:ds=10.0.0.3:to=-18000:T145=64:hn\n"
           "lab1:tc=global:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:hd=\""
        << dir.string() << "\\boot\":bf=inst.bin:bs=auto\n"
        << "lab2.bench.long.name:tc=global:ht=6:ha=020000000002:ip=10.0.0.6:bs=70000:"
           "ts=1.1.1.1 2.2.2.2 3.3.3.3 4.4.4.4 5.5.5.5 6.6.6.6 7.7.7.7 8.8.8.8:"
           "T150=\"abcdefghijklmnopqrstuvwxyz\"\n"
           "lab3:ht=2:ha=7f:ip=10.0.0.7:bf=missing\n"
           "lab4:ht=3:ip=10.0.0.8:hd=/:bf=etc/hostname\n"
           "twin:ip=10.0.0.5:hd="
        << dir.string() << "\n";
    SetTablePath(engine, (dir / "bootptab").string());
    CreateHostTables(engine.tables);
    ReadHostTable(engine);
    std::filesystem::remove_all(dir / "bootptab");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static BootpEngine engine;
    static bool loaded = (LoadTable(engine), true);
    (void)loaded;
    if (size > 1500) {
        return 0;
    }
    // The receive buffer: a datagram cut to its size, the rest as zeros.
    uint8_t packet[kReceiveBufferSize] = {};
    std::memcpy(packet, data, std::min(size, sizeof packet));
    if (packet[bootp_offset::op] != BOOTREQUEST) {
        return 0;
    }
    QuietApplication application;
    CheckingSender sender;
    HandleRequest(engine, packet, application, sender);
    return 0;
}
