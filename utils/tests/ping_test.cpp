// Pinging inside network namespaces this test makes: loopback, a veth pair,
// a host that drops echo requests and a responder that answers wrongly.
#include "utils/dravik.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/ip.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Runs `work` on a thread that has joined the named network namespace.
template <class Work> void InNamespace(const std::string& name, Work work) {
    std::thread thread([&] {
        const int fd = open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(setns(fd, CLONE_NEWNET), 0);
        close(fd);
        work();
    });
    thread.join();
}

// In a fresh process with its own host name, mounts and network: the own
// name is never pinged, loopback answers, and a name's address is cached.
TEST(Ping, OwnNameLoopbackArgumentsAndTheCacheOfFiftyNames) {
    std::string hosts = (std::filesystem::temp_directory_path() / "olvani-hosts-XXXXXX");
    const int hostsFd = mkstemp(hosts.data());
    ASSERT_GE(hostsFd, 0);
    close(hostsFd);
    const auto writeHosts = [&](const char* address) {
        std::ofstream out(hosts, std::ios::trunc);
        for (int i = 0; i <= 50; ++i)
            out << address << " olvhost" << i << "\n";
    };
    writeHosts("127.0.0.1");
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        std::vector<LONG> results;
        if (unshare(CLONE_NEWUTS | CLONE_NEWNET | CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0 ||
            sethostname("OlvaniSelf", 10) != 0)
            _exit(2);
        // No interface is up: only a ping that sends nothing succeeds.
        results.push_back(ASPingHost(u"oLVANIsELF", 0, 1, 500, 32));
        results.push_back(ASPingHost(u"127.0.0.1", 0, 1, 500, 32));
        if (std::system("ip link set lo up") != 0)
            _exit(3);
        results.push_back(ASPingHost(u"127.0.0.1", 0, 2, 1000, 1012));
        results.push_back(ASPingHost(u"127.0.0.1", 0, 2, 1000, 1013));
        results.push_back(ASPingHost(u"127.0.0.1", 0, 0, 1000, 32));
        results.push_back(ASPingHost(u"", 0, 1, 1000, 32));
        results.push_back(ASPingHost(u"no-such-host.invalid", 0, 1, 1000, 32));
        for (int i = 0; i <= 50; ++i) {
            const std::string name = "olvhost" + std::to_string(i);
            results.push_back(ASPingHost(std::u16string(name.begin(), name.end()).c_str(), 0, 1,
                                         1000, 8));
        }
        // Now the names lead nowhere: only what the cache still finds answers.
        writeHosts("10.255.255.1");
        results.push_back(ASPingHost(u"OLVHOST50", 0, 1, 1000, 8));
        results.push_back(ASPingHost(u"olvhost1", 0, 1, 1000, 8));
        results.push_back(ASPingHost(u"olvhost0", 0, 1, 1000, 8));
        _exit(write(ends[1], results.data(), results.size() * sizeof(LONG)) > 0 ? 0 : 4);
    }
    close(ends[1]);
    std::vector<LONG> results(7 + 51 + 3);
    EXPECT_EQ(read(ends[0], results.data(), results.size() * sizeof(LONG)),
              static_cast<ssize_t>(results.size() * sizeof(LONG)));
    close(ends[0]);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    std::filesystem::remove(hosts);

    EXPECT_EQ(results[0], 0);               // own name, nothing sent
    EXPECT_EQ(results[1], ENETUNREACH);     // a real packet has no way out
    EXPECT_EQ(results[2], 0);               // the largest payload
    EXPECT_EQ(results[3], E_INVALIDARG);    // one byte more
    EXPECT_EQ(results[4], E_INVALIDARG);    // no loops
    EXPECT_EQ(results[5], 11001);           // blank
    EXPECT_TRUE(results[6] == 11001 || results[6] == 11002) << results[6]; // unknown name
    for (int i = 7; i < 7 + 51; ++i)
        EXPECT_EQ(results[i], 0) << "olvhost" << i - 7;
    EXPECT_EQ(results[58], 0);              // the 51st name took entry 0
    EXPECT_EQ(results[59], ENETUNREACH);    // entry 1 is no longer searched
    EXPECT_EQ(results[60], ENETUNREACH);    // entry 0 was overwritten
}

uint16_t Checksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>(data[i] | data[i + 1] << 8);
    if (length % 2)
        sum += data[length - 1];
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum);
}

// Two namespaces joined by a veth pair: the pinger at .1, the target at .2
// (and .3), where the kernel's own echo replies can be switched off.
class PingAcrossVeth : public ::testing::Test {
protected:
    enum class Answer { kNone, kGood, kForeign, kShort };

    void SetUp() override {
        const std::string id = std::to_string(getpid());
        a_ = "olvpa" + id;
        b_ = "olvpb" + id;
        ASSERT_EQ(Shell("ip netns add " + a_), 0);
        ASSERT_EQ(Shell("ip netns add " + b_), 0);
        ASSERT_EQ(Shell("ip link add va" + id + " netns " + a_ + " type veth peer name vb" + id +
                        " netns " + b_),
                  0);
        ASSERT_EQ(Shell("ip -n " + a_ + " addr add 10.201.0.1/24 dev va" + id), 0);
        ASSERT_EQ(Shell("ip -n " + b_ + " addr add 10.201.0.2/24 dev vb" + id), 0);
        ASSERT_EQ(Shell("ip -n " + b_ + " addr add 10.201.0.3/24 dev vb" + id), 0);
        ASSERT_EQ(Shell("ip -n " + a_ + " link set va" + id + " up"), 0);
        ASSERT_EQ(Shell("ip -n " + b_ + " link set vb" + id + " up"), 0);
    }
    void TearDown() override {
        StopResponder();
        Shell("ip netns del " + a_);
        Shell("ip netns del " + b_);
    }
    void KernelEchoReplies(bool on) {
        ASSERT_EQ(Shell("ip netns exec " + b_ +
                        " sh -c 'echo " + (on ? "0" : "1") +
                        " > /proc/sys/net/ipv4/icmp_echo_ignore_all'"),
                  0);
    }
    LONG Ping(LONG loops, LONG timeout = 1000) {
        LONG result = 12345;
        InNamespace(a_, [&] { result = ASPingHost(u"10.201.0.2", 0, loops, timeout, 16); });
        return result;
    }

    // A thread in the target's namespace that sees every echo request and
    // answers as told. Ready once its sockets exist.
    void StartResponder(Answer answer) {
        std::atomic<bool> ready{false};
        responder_ = std::thread([this, answer, &ready] {
            const int fd = open(("/var/run/netns/" + b_).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || setns(fd, CLONE_NEWNET) != 0)
                return;
            close(fd);
            const int in = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            const int out = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            sockaddr_in self{};
            self.sin_family = AF_INET;
            inet_pton(AF_INET, answer == Answer::kForeign ? "10.201.0.3" : "10.201.0.2",
                      &self.sin_addr);
            bind(out, reinterpret_cast<sockaddr*>(&self), sizeof self);
            ready = true;
            Serve(in, out, answer);
            close(in);
            close(out);
        });
        while (!ready)
            std::this_thread::yield();
    }
    void Serve(int in, int out, Answer answer) {
        while (!stop_) {
            pollfd ready{in, POLLIN, 0};
            if (poll(&ready, 1, 50) <= 0)
                continue;
            uint8_t packet[2048];
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t length =
                recvfrom(in, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &size);
            const size_t header = static_cast<size_t>(packet[0] & 0x0F) * 4;
            if (length < static_cast<ssize_t>(header + 8) || packet[header] != 8)
                continue;
            uint8_t* icmp = packet + header;
            size_t icmpLength = static_cast<size_t>(length) - header;
            uint16_t sequence = 0;
            memcpy(&sequence, icmp + 6, 2);
            sequences_.push_back(sequence);
            if (answer == Answer::kNone)
                continue;
            icmp[0] = 0;
            if (answer == Answer::kForeign)
                icmp[4] ^= 0x5A;
            if (answer == Answer::kShort)
                icmpLength = 4;
            icmp[2] = icmp[3] = 0;
            const uint16_t sum = Checksum(icmp, icmpLength);
            memcpy(icmp + 2, &sum, 2);
            sendto(out, icmp, icmpLength, 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
        }
    }
    void StopResponder() {
        stop_ = true;
        if (responder_.joinable())
            responder_.join();
    }

    std::string a_, b_;
    std::thread responder_;
    std::atomic<bool> stop_{false};
    std::vector<uint16_t> sequences_;
};

TEST_F(PingAcrossVeth, TheTargetAnswersAndTheSequenceCountsFromZero) {
    StartResponder(Answer::kNone);
    EXPECT_EQ(Ping(2), 0);
    StopResponder();
    EXPECT_EQ(sequences_, (std::vector<uint16_t>{0, 1}));
}

TEST_F(PingAcrossVeth, OneUnansweredRequestEndsThePing) {
    KernelEchoReplies(false);
    StartResponder(Answer::kNone);
    EXPECT_EQ(Ping(3, 300), 258);
    StopResponder();
    EXPECT_EQ(sequences_.size(), 1u);
}

TEST_F(PingAcrossVeth, StrangersRepliesFromAnotherAddressGiveUpAfterTheRetries) {
    KernelEchoReplies(false);
    StartResponder(Answer::kForeign);
    EXPECT_EQ(Ping(3), -1);
    StopResponder();
    EXPECT_EQ(sequences_.size(), 3u + 5u);
}

TEST_F(PingAcrossVeth, AShortReplyEndsThePing) {
    KernelEchoReplies(false);
    StartResponder(Answer::kShort);
    EXPECT_EQ(Ping(3), -1);
    StopResponder();
    EXPECT_EQ(sequences_.size(), 1u);
}

} // namespace
