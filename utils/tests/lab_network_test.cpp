// Database ids from a real etcd on loopback, and the failures of a host that
// cannot be reached, turns the connection away or answers garbage.
#include "utils/tests/lab_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using namespace dravik::testing;

// A loopback port that nothing listens on once this returns.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return ntohs(address.sin_port);
}

// One etcd member on loopback with its data in `folder`; ready when built.
class Etcd {
public:
    explicit Etcd(const std::string& folder) {
        port_ = FreePort();
        const std::string client = "http://127.0.0.1:" + std::to_string(port_);
        const std::string peer = "http://127.0.0.1:" + std::to_string(FreePort());
        const std::vector<std::string> args = {"etcd",
                                               "--name",
                                               "lab",
                                               "--data-dir",
                                               folder + "/etcd",
                                               "--listen-client-urls",
                                               client,
                                               "--advertise-client-urls",
                                               client,
                                               "--listen-peer-urls",
                                               peer,
                                               "--initial-advertise-peer-urls",
                                               peer,
                                               "--initial-cluster",
                                               "lab=" + peer};
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 2);
            std::vector<char*> argv;
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execvp("etcd", argv.data());
            _exit(127);
        }
        close(out[1]);
        log_ = out[0];
        ready_ = WaitReady();
        // The log goes on; it is drained so that the server never blocks.
        drain_ = std::thread([fd = log_] {
            char buffer[4096];
            while (read(fd, buffer, sizeof buffer) > 0) {
            }
        });
    }
    ~Etcd() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (drain_.joinable())
            drain_.join();
        close(log_);
    }
    bool Ready() const { return ready_; }
    std::u16string Host() const { return Wide("127.0.0.1:" + std::to_string(port_)); }
    void Run(const std::string& command) const {
        const std::string line =
            "ETCDCTL_API=3 etcdctl --endpoints=http://127.0.0.1:" + std::to_string(port_) + " " +
            command + " >/dev/null";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }

private:
    bool WaitReady() {
        std::string seen;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (seen.find("ready to serve client requests") == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                limit - std::chrono::steady_clock::now());
            pollfd wait{log_, POLLIN, 0};
            char buffer[4096];
            if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) != 1)
                return false;
            const ssize_t got = read(log_, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            seen.append(buffer, static_cast<size_t>(got));
        }
        return true;
    }

    int port_ = 0;
    pid_t pid_ = -1;
    int log_ = -1;
    bool ready_ = false;
    std::thread drain_;
};

// Answers one request on loopback with `reply`, whatever was asked.
class OneAnswer {
public:
    explicit OneAnswer(std::string reply) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        listen(listener_, 1);
        server_ = std::thread([this, reply = std::move(reply)] {
            const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                return;
            // The whole request first, so that the client reads the answer
            // rather than a reset.
            std::string request;
            char buffer[4096];
            size_t needed = std::string::npos;
            while (request.size() < needed) {
                const ssize_t got = read(connection, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(got));
                const size_t end = request.find("\r\n\r\n");
                const size_t length = request.find("Content-Length: ");
                if (end != std::string::npos && length != std::string::npos)
                    needed = end + 4 + std::stoul(request.substr(length + 16));
            }
            (void)!write(connection, reply.data(), reply.size());
            shutdown(connection, SHUT_WR);
            while (read(connection, buffer, sizeof buffer) > 0) {
            }
            close(connection);
        });
    }
    ~OneAnswer() {
        shutdown(listener_, SHUT_RDWR);
        server_.join();
        close(listener_);
    }
    std::u16string Host() const { return Wide("127.0.0.1:" + std::to_string(port_)); }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread server_;
};

std::string HttpOk(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

using LabNetwork = LabTest;

TEST_F(LabNetwork, IdsComeInKeyOrderAndAreReadBackByIndex) {
    Etcd etcd(dir_);
    ASSERT_TRUE(etcd.Ready());
    etcd.Run("put /olvani/lns/databases/b 'DSN=two;Database=/srv/b.db;Timeout=1'");
    etcd.Run("put /olvani/lns/databases/a 'DSN=one;Database=/srv/ä.db;Timeout=1'");
    etcd.Run("put /olvani/lns/other 'not an id'");
    LONG count = -1;
    ASSERT_EQ(ASVeskGetDbCountFromLns(etcd.Host().c_str(), &count), S_OK);
    ASSERT_EQ(count, 2);
    Bstr id;
    ASSERT_EQ(ASVeskGetDbIdFromLns(0, id.Out()), S_OK);
    EXPECT_EQ(id.Text(), u"DSN=one;Database=/srv/ä.db;Timeout=1");
    ASSERT_EQ(ASVeskGetDbIdFromLns(1, id.Out()), S_OK);
    EXPECT_EQ(id.Text(), u"DSN=two;Database=/srv/b.db;Timeout=1");
    EXPECT_EQ(Reports(), 0u);
    // The index equal to the count is outside, and so is -1.
    EXPECT_EQ(ASVeskGetDbIdFromLns(2, id.Out()), E_UNEXPECTED);
    EXPECT_EQ(id.text, nullptr);
    EXPECT_EQ(ErrorMessage(),
              u"The index 2 is outside the list: valid indexes start at 0 and the list holds 2 "
              u"entries.");
    EXPECT_EQ(ASVeskGetDbIdFromLns(-1, id.Out()), E_UNEXPECTED);
    EXPECT_EQ(Reports(), 2u);
    ASSERT_EQ(ASVeskGetDbIdFromDox(etcd.Host().c_str(), id.Out()), S_OK);
    EXPECT_EQ(id.Text(), u"DSN=one;Database=/srv/ä.db;Timeout=1");

    // An empty prefix: no ids, and neither an index nor the first id to be had.
    etcd.Run("del --prefix /olvani/lns/databases/");
    ASSERT_EQ(ASVeskGetDbCountFromLns(etcd.Host().c_str(), &count), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(ASVeskGetDbIdFromLns(0, id.Out()), E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(),
              u"The list of databases has not been read from the lab network server.");
    EXPECT_EQ(ASVeskGetDbIdFromDox(etcd.Host().c_str(), id.Out()), E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(), u"The lab network server returned no valid database name.");
    EXPECT_EQ(Reports(), 4u);
}

TEST_F(LabNetwork, NoIndexBeforeACountAndNoCountWithoutAnOutput) {
    Bstr id;
    EXPECT_EQ(ASVeskGetDbIdFromLns(0, id.Out()), E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(),
              u"The list of databases has not been read from the lab network server.");
    EXPECT_EQ(ASVeskGetDbCountFromLns(u"localhost", nullptr), E_INVALIDARG);
    EXPECT_EQ(ASVeskGetDbIdFromLns(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(Reports(), 1u);
}

TEST_F(LabNetwork, RefusedAndGarbledAnswersAreAServerThatDoesNotAnswer) {
    const std::u16string closed = Wide("127.0.0.1:" + std::to_string(FreePort()));
    const std::string wrongShape =
        R"({"kvs":[{"key":"L29sdmFuaS9sbnMvZGF0YWJhc2VzL2E=","value":5}]})";
    const std::string notBase64 =
        R"({"kvs":[{"key":"L29sdmFuaS9sbnMvZGF0YWJhc2VzL2E=","value":"%%"}]})";
    std::vector<std::unique_ptr<OneAnswer>> servers;
    for (const std::string& reply :
         {HttpOk("this is no JSON"), HttpOk(wrongShape), HttpOk(notBase64), HttpOk("[]"),
          std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")})
        servers.push_back(std::make_unique<OneAnswer>(reply));
    std::vector<std::u16string> hosts = {closed};
    for (const auto& server : servers)
        hosts.push_back(server->Host());
    for (const std::u16string& host : hosts) {
        LONG count = -1;
        EXPECT_EQ(ASVeskGetDbCountFromLns(host.c_str(), &count), kNotAnswering)
            << olvani::Utf16ToUtf8(host);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(ErrorMessage(), u"The lab network server on the host '" + host +
                                      u"' does not answer. Check that it runs there.");
    }
    EXPECT_EQ(Reports(), hosts.size());
}

TEST_F(LabNetwork, AHostThatCannotBeReachedIsNotResponding) {
    // A host name that would make the URL name something else is never asked.
    LONG count = -1;
    EXPECT_EQ(ASVeskGetDbCountFromLns(u"user@127.0.0.1/x", &count), kNotResponding);
    EXPECT_EQ(ErrorMessage(), u"The host 'user@127.0.0.1/x' is not responding. Check that it is "
                              u"switched on and reachable on the network.");
    // In a network namespace of its own, with no interface up, nothing is
    // reachable and no packet leaves.
    const int status = olvani::testing::InChild([] {
        if (unshare(CLONE_NEWNET) != 0)
            return 2;
        LONG count = -1;
        return ASVeskGetDbCountFromLns(u"127.0.0.1:2379", &count) == kNotResponding ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(LabNetwork, AnIdHasFourPartsOfWhichThreeAreHandedBack) {
    Bstr first, value, fourth;
    ASSERT_EQ(ASVeskGetDbIdTokens(u"DRIVER=sqlite;Database=/srv/lab.db;Timeout=1;More=2",
                                  first.Out(), value.Out(), fourth.Out()),
              S_OK);
    EXPECT_EQ(first.Text(), u"DRIVER=sqlite");
    EXPECT_EQ(value.Text(), u"/srv/lab.db");
    EXPECT_EQ(fourth.Text(), u"Timeout=1");
    for (const char16_t* id : {u"Lab;Database", u"Lab;Database=/srv/lab.db", u"", u";;=;"}) {
        EXPECT_EQ(ASVeskGetDbIdTokens(id, first.Out(), value.Out(), fourth.Out()), E_UNEXPECTED);
        EXPECT_EQ(first.text, nullptr);
        EXPECT_EQ(ErrorMessage(), u"The database ID '" + std::u16string(id) + u"' is not valid.");
    }
    EXPECT_EQ(ASVeskGetDbIdTokens(nullptr, first.Out(), value.Out(), fourth.Out()), E_UNEXPECTED);
    EXPECT_EQ(Reports(), 5u);
}

} // namespace
