// Pinging inside network namespaces this test makes: loopback, a veth pair,
// a host that drops echo requests and a responder that answers wrongly, with
// a raw socket and, as an unprivileged user, with an ICMP datagram socket.
#include "platform/tests/registry_test_support.h"
#include "tests/support/scratch_dir.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/ping_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <netinet/ip.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The copy of the reply judgement compiled into this test traces as its own.
ModuleTraceObject g_moduleTrace(u"dravik_ping_test");

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
            results.push_back(
                ASPingHost(std::u16string(name.begin(), name.end()).c_str(), 0, 1, 1000, 8));
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

    EXPECT_EQ(results[0], 0);            // own name, nothing sent
    EXPECT_EQ(results[1], ENETUNREACH);  // a real packet has no way out
    EXPECT_EQ(results[2], 0);            // the largest payload
    EXPECT_EQ(results[3], E_INVALIDARG); // one byte more
    EXPECT_EQ(results[4], E_INVALIDARG); // no loops
    EXPECT_EQ(results[5], 11001);        // blank
    EXPECT_TRUE(results[6] == 11001 || results[6] == 11002) << results[6]; // unknown name
    for (int i = 7; i < 7 + 51; ++i)
        EXPECT_EQ(results[i], 0) << "olvhost" << i - 7;
    EXPECT_EQ(results[58], 0);           // the 51st name took entry 0
    EXPECT_EQ(results[59], ENETUNREACH); // entry 1 is no longer searched
    EXPECT_EQ(results[60], ENETUNREACH); // entry 0 was overwritten
}

// Refused before anything is sent: a negative time would wait for ever.
TEST(Ping, NegativeSizesAndTimesAreRefused) {
    EXPECT_EQ(ASPingHost(u"127.0.0.1", 0, 1, 1000, -1), E_INVALIDARG);
    EXPECT_EQ(ASPingHost(u"127.0.0.1", -1, 1, 1000, 8), E_INVALIDARG);
    EXPECT_EQ(ASPingHost(u"127.0.0.1", 0, 1, -1, 8), E_INVALIDARG);
}

// The kernel drops ICMP messages of fewer than 8 bytes before any socket sees
// them, so the judgement of a short reply is tried on its own.
TEST(PingReply, OneShorterThanItsHeadersIsBad) {
    sockaddr_in host{};
    host.sin_family = AF_INET;
    host.sin_addr.s_addr = htonl(0x0AC90002);
    BYTE reply[60] = {0x45};
    reply[20] = 0; // echo reply
    const WORD id = 0x1234;
    memcpy(reply + 24, &id, sizeof id);
    EXPECT_EQ(dravik::decode_resp(host, reply, 28, host, id, false, 0), 0);
    EXPECT_EQ(dravik::decode_resp(host, reply, 27, host, id, false, 0), -1);
    EXPECT_EQ(dravik::decode_resp(host, reply, 0, host, id, false, 0), -1);
    reply[0] = 0x46; // a header of 24 bytes leaves only 4 of the 28 to ICMP
    EXPECT_EQ(dravik::decode_resp(host, reply, 28, host, id, false, 0), -1);
    EXPECT_EQ(dravik::decode_resp(host, reply + 20, 4, host, id, true, 0), -1);
    EXPECT_EQ(dravik::decode_resp(host, reply + 20, 8, host, id, true, 0), 0);
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

// An echo request as it went over the wire.
struct Request {
    uint16_t id = 0;
    uint16_t sequence = 0;
    size_t length = 0;
    bool payloadIsE = false;
    bool checksumHolds = false;
};

// Two namespaces joined by a veth pair: the pinger at .1, the target at .2
// (and .3), where the kernel's own echo replies can be switched off.
class PingAcrossVeth : public ::testing::Test {
protected:
    // kForeign: another identifier from .3; kOtherAddress: the request's own
    // identifier from .3.
    enum class Answer { kNone, kForeign, kOtherAddress };

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
        close(stop_);
        Shell("ip netns del " + a_);
        Shell("ip netns del " + b_);
    }
    void Sysctl(const std::string& ns, const std::string& name, const std::string& value) {
        ASSERT_EQ(Shell("ip netns exec " + ns + " sh -c 'echo " + value + " > /proc/sys/net/ipv4/" +
                        name + "'"),
                  0);
    }
    void KernelEchoReplies(bool on) { Sysctl(b_, "icmp_echo_ignore_all", on ? "0" : "1"); }
    LONG Ping(LONG loops, LONG timeout = 1000, LONG datasize = 16) {
        LONG result = 12345;
        InNamespace(a_, [&] { result = ASPingHost(u"10.201.0.2", 0, loops, timeout, datasize); });
        return result;
    }

    // The driver in a fresh process in the pinger's namespace, as "nobody"
    // when `unprivileged`, with `registry` as its registry folder if given.
    LONG PingFromDriver(bool unprivileged, const std::string& registry, const char* loops) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            if (strncmp(*entry, "OLVANI_REGISTRY_DIR=", 20) != 0)
                environment.emplace_back(*entry);
        if (!registry.empty())
            environment.push_back("OLVANI_REGISTRY_DIR=" + registry);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        const char* argv[] = {PING_DRIVER, "10.201.0.2", loops, "0", "1000", "16", nullptr};
        const int ns = open(("/var/run/netns/" + a_).c_str(), O_RDONLY | O_CLOEXEC);
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        const pid_t child = fork();
        if (child == 0) {
            if (setns(ns, CLONE_NEWNET) != 0 || dup2(ends[1], STDOUT_FILENO) < 0 ||
                (unprivileged && !olvani::testing::BecomeUnprivileged()))
                _exit(126);
            execve(PING_DRIVER, const_cast<char**>(argv), envp.data());
            _exit(127);
        }
        close(ends[1]);
        close(ns);
        char output[128] = {};
        const ssize_t length = read(ends[0], output, sizeof output - 1);
        close(ends[0]);
        int status = 0;
        waitpid(child, &status, 0);
        long result = 12345;
        EXPECT_TRUE(length > 0 && sscanf(output, "result %ld", &result) == 1)
            << "driver status " << status;
        return static_cast<LONG>(result);
    }

    // A thread in the target's namespace that records every echo request and
    // answers as told.
    void StartResponder(Answer answer) {
        std::promise<bool> ready;
        std::future<bool> started = ready.get_future();
        responder_ = std::thread([this, answer, &ready] {
            const int fd = open(("/var/run/netns/" + b_).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
                ready.set_value(false);
                return;
            }
            close(fd);
            const int in = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            const int out = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            sockaddr_in self{};
            self.sin_family = AF_INET;
            inet_pton(AF_INET, answer == Answer::kNone ? "10.201.0.2" : "10.201.0.3",
                      &self.sin_addr);
            const bool bound = bind(out, reinterpret_cast<sockaddr*>(&self), sizeof self) == 0;
            ready.set_value(in >= 0 && bound);
            if (in >= 0 && bound)
                Serve(in, out, answer);
            close(in);
            close(out);
        });
        ASSERT_TRUE(started.get());
    }
    void Serve(int in, int out, Answer answer) {
        // Once told to stop, what is already queued is still recorded: the
        // kernel queues a request here before it answers it.
        bool stopping = false;
        for (;;) {
            pollfd ready[] = {{in, POLLIN, 0}, {stop_, POLLIN, 0}};
            const int events = poll(ready, stopping ? 1 : 2, stopping ? 0 : -1);
            if (events < 0 || (stopping && events == 0))
                return;
            stopping = stopping || ready[1].revents != 0;
            if (!(ready[0].revents & POLLIN))
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
            const size_t icmpLength = static_cast<size_t>(length) - header;
            Request seen;
            memcpy(&seen.id, icmp + 4, 2);
            memcpy(&seen.sequence, icmp + 6, 2);
            seen.length = icmpLength;
            seen.payloadIsE = std::all_of(icmp + 12, icmp + icmpLength,
                                          [](uint8_t byte) { return byte == 0x45; });
            seen.checksumHolds = Checksum(icmp, icmpLength) == 0;
            requests_.push_back(seen);
            if (answer == Answer::kNone)
                continue;
            icmp[0] = 0;
            if (answer == Answer::kForeign)
                icmp[4] ^= 0x5A;
            icmp[2] = icmp[3] = 0;
            const uint16_t sum = Checksum(icmp, icmpLength);
            memcpy(icmp + 2, &sum, 2);
            sendto(out, icmp, icmpLength, 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
        }
    }
    // The requests seen; the responder has stopped.
    const std::vector<Request>& StopResponder() {
        const uint64_t one = 1;
        EXPECT_EQ(write(stop_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
        if (responder_.joinable())
            responder_.join();
        return requests_;
    }

    std::string a_, b_;
    std::thread responder_;
    const int stop_ = eventfd(0, EFD_CLOEXEC);
    std::vector<Request> requests_;
};

TEST_F(PingAcrossVeth, TheTargetAnswersRequestsAsBuilt) {
    StartResponder(Answer::kNone);
    EXPECT_EQ(Ping(2, 1000, 17), 0); // an odd size: the checksum's last byte counts alone
    const std::vector<Request>& seen = StopResponder();
    ASSERT_EQ(seen.size(), 2u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].sequence, i);
        EXPECT_EQ(seen[i].id, static_cast<uint16_t>(getpid() & 0xFFFF));
        EXPECT_EQ(seen[i].length, 12u + 17u);
        EXPECT_TRUE(seen[i].payloadIsE);
        EXPECT_TRUE(seen[i].checksumHolds);
    }
}

// A signal every few milliseconds while the ping waits does not end the wait.
TEST_F(PingAcrossVeth, OneUnansweredRequestEndsThePing) {
    KernelEchoReplies(false);
    StartResponder(Answer::kNone);
    struct sigaction quiet {
    }, old{};
    quiet.sa_handler = [](int) {};
    ASSERT_EQ(sigaction(SIGUSR2, &quiet, &old), 0);
    LONG result = 0;
    InNamespace(a_, [&] {
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = SIGUSR2;
        event._sigev_un._tid = gettid();
        timer_t timer{};
        ASSERT_EQ(timer_create(CLOCK_MONOTONIC, &event, &timer), 0);
        const itimerspec every{{0, 5'000'000}, {0, 5'000'000}};
        timer_settime(timer, 0, &every, nullptr);
        result = ASPingHost(u"10.201.0.2", 0, 3, 300, 16);
        timer_delete(timer);
    });
    sigaction(SIGUSR2, &old, nullptr);
    EXPECT_EQ(result, 258);
    EXPECT_EQ(StopResponder().size(), 1u);
}

TEST_F(PingAcrossVeth, StrangersRepliesGiveUpAfterTheRetries) {
    KernelEchoReplies(false);
    StartResponder(Answer::kForeign);
    EXPECT_EQ(Ping(3), -1);
    EXPECT_EQ(StopResponder().size(), 3u + 5u);
}

TEST_F(PingAcrossVeth, NoRetriesWhenPingRetriesIsZero) {
    KernelEchoReplies(false);
    olvani_test::ScratchDir scratch("olvani-reg");
    const std::string& registry = scratch.path();
    setenv("OLVANI_REGISTRY_DIR", registry.c_str(), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani\\LNS", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD none = 0;
    EXPECT_EQ(RegSetValueExW(key, u"PingRetries", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&none), sizeof none),
              ERROR_SUCCESS);
    RegCloseKey(key);
    unsetenv("OLVANI_REGISTRY_DIR");
    StartResponder(Answer::kForeign);
    EXPECT_EQ(PingFromDriver(false, registry, "3"), -1);
    EXPECT_EQ(StopResponder().size(), 3u);
}

// A reply carrying this ping's identifier from another address is bad, with
// the process's identifier on a raw socket and with the one the kernel gives
// an unprivileged datagram socket.
TEST_F(PingAcrossVeth, AnAnswerFromAnotherAddressEndsThePingRawOrUnprivileged) {
    KernelEchoReplies(false);
    StartResponder(Answer::kOtherAddress);
    EXPECT_EQ(Ping(3), -1);
    EXPECT_EQ(PingFromDriver(true, "", "3"), EPERM); // no datagram sockets for "nobody" yet
    Sysctl(a_, "ping_group_range", "65534 65534");
    EXPECT_EQ(PingFromDriver(true, "", "3"), -1);
    const std::vector<Request>& seen = StopResponder();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[1].payloadIsE && seen[1].checksumHolds);
    EXPECT_EQ(seen[1].sequence, 0);

    KernelEchoReplies(true);
    EXPECT_EQ(PingFromDriver(true, "", "2"), 0);
}

} // namespace
