// A running engine for tests: a private network namespace (so port 67 is
// free and nothing leaves the test), a real table file, a recording
// application and a client socket on port 68 of the loopback interface.
#pragma once

#include "bootp/app_interface.h"
#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "bootp/server.h"
#include "bootp/server_socket.h"
#include "bootp/table_paths.h"
#include "tests/support/files.h"
#include "tests/support/message_boxes.h"
#include "tests/support/private_network.h"
#include "tests/support/recording_application.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace bootp_test {

using olvani_test::RecordingApplication;

// The request a client with this Ethernet address sends, `length` bytes.
inline std::vector<uint8_t> Request(const uint8_t (&mac)[6], size_t length = 300, uint8_t op = 1) {
    std::vector<uint8_t> r(length, 0);
    if (length > 0)
        r[0] = op;
    if (length > 28 + 6) {
        r[1] = 1;
        r[2] = 6;
        const uint8_t xid[] = {0x12, 0x34, 0x56, 0x78};
        std::memcpy(&r[4], xid, 4);
        std::memcpy(&r[28], mac, 6);
    }
    return r;
}

class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        if (!olvani_test::EnterPrivateNetwork())
            GTEST_SKIP() << "needs root: the engine binds port 67 in a network namespace of "
                            "the test's own";
        tablePath_ = (dir_ / "bootptab").string();
        WriteTable("lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:sm=255.255.255.0:\n");
        SetTablePath(engine_, tablePath_);
        boxes_.emplace();
        client_ = socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        setsockopt(client_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in local = Address("0.0.0.0", 68);
        ASSERT_EQ(bind(client_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    }

    void TearDown() override {
        StopServer(engine_);
        if (client_ >= 0)
            close(client_);
        boxes_.reset();
    }

    static sockaddr_in Address(const char* text, uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, text, &a.sin_addr);
        return a;
    }

    void WriteTable(const std::string& text) { olvani_test::WriteFile(tablePath_, text); }

    void Send(const std::vector<uint8_t>& datagram) {
        sockaddr_in server = Address("127.0.0.1", 67);
        ASSERT_EQ(sendto(client_, datagram.data(), datagram.size(), 0,
                         reinterpret_cast<sockaddr*>(&server), sizeof server),
                  static_cast<ssize_t>(datagram.size()));
    }

    // Sends one datagram and lets the engine handle it as the frame would
    // on a read event; returns ReceiveRequest's result.
    int Deliver(const std::vector<uint8_t>& datagram) {
        Send(datagram);
        pollfd p{engine_.socket.fd, POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 5000), 1);
        app_.lines.clear();
        return ReceiveRequest(engine_);
    }

    // The reply on the client port, or an empty vector after `waitMs`.
    std::vector<uint8_t> Reply(int waitMs = 2000) {
        pollfd p{client_, POLLIN, 0};
        if (poll(&p, 1, waitMs) != 1)
            return {};
        std::vector<uint8_t> reply(1500);
        ssize_t n = recv(client_, reply.data(), reply.size(), 0);
        reply.resize(n < 0 ? 0 : static_cast<size_t>(n));
        return reply;
    }

    BootpEngine engine_; // fresh for every test
    RecordingApplication app_;
    olvani_test::ScratchDir scratch_{"bootp-engine-test"};
    std::filesystem::path dir_ = scratch_.path();
    std::string tablePath_;
    std::optional<olvani_test::MessageBoxRecorder> boxes_;
    int client_ = -1;
};

} // namespace bootp_test
