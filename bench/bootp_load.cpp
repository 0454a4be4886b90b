// bootp-load: a load generator for the BOOTP server. It sends BOOTREQUESTs
// for many hardware addresses, closed-loop (a window of W requests in flight)
// or open-loop (R requests a second), for a bounded time, matches replies by
// xid, checks each (300 bytes, op 2, the yiaddr the table gives that address)
// and prints one line of figures.
//
// Usage:
//   bootp-load --write-table FILE --hosts N
//       writes a table of N hosts in the scheme the load uses
//   bootp-load --device IF --hosts N (--window W | --rate R) [--seconds S]
//              [--server ADDR] [--timeout-ms T] [--gather-us G]
//       --gather-us: in closed loop, wait G microseconds after the first reply
//       so that one receive and one send serve several (less load-tool CPU)
//   bootp-load --device IF --hosts N --probe-ms P [--seconds S]
//       asks for the table's last host every P milliseconds until a valid
//       reply comes (at most S seconds) and prints the wall-clock time it
//       came, so a script can tell how long after its start a server answers
//
// Host i (0-based) has hardware address 02:00:00:ii:ii:ii and address
// 10.128.0.0 + i + 1, subnet mask 255.192.0.0.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kRequestLength = 300;
constexpr int kBatch = 64;

struct Options {
    std::string tableFile;
    std::string device;
    std::string server = "255.255.255.255";
    uint32_t hosts = 1000;
    int window = 0;
    double rate = 0;
    double seconds = 10;
    double timeoutMs = 200;
    double gatherUs = 0;
    double probeMs = 0;
};

int64_t NowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

void HostAddress(uint32_t i, uint8_t mac[6]) {
    const uint8_t bytes[6] = {0x02,
                              0x00,
                              0x00,
                              static_cast<uint8_t>(i >> 16),
                              static_cast<uint8_t>(i >> 8),
                              static_cast<uint8_t>(i)};
    std::memcpy(mac, bytes, 6);
}

uint32_t HostIp(uint32_t i) {
    return htonl((10u << 24 | 128u << 16) + i + 1);
}

int WriteTable(const Options& o) {
    FILE* f = std::fopen(o.tableFile.c_str(), "w");
    if (f == nullptr) {
        std::perror(o.tableFile.c_str());
        return 1;
    }
    std::fprintf(f, "# %u generated hosts for bootp-load\n", o.hosts);
    for (uint32_t i = 0; i < o.hosts; ++i) {
        uint8_t mac[6];
        HostAddress(i, mac);
        in_addr ip{HostIp(i)};
        std::fprintf(f, "load%u:ht=1:ha=%02x%02x%02x%02x%02x%02x:ip=%s:sm=255.192.0.0:hn:\n", i,
                     mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], inet_ntoa(ip));
    }
    return std::fclose(f) == 0 ? 0 : 1;
}

// One request in flight, found again by its xid.
struct Pending {
    int64_t sentNs = 0;
    uint32_t host = 0;
    bool waiting = false;
};

class Load {
public:
    explicit Load(const Options& o) : o_(o), slots_(1u << 20) {}

    bool Open() {
        socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        int on = 1;
        setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        int buffer = 4 << 20;
        setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        if (!o_.device.empty() && setsockopt(socket_, SOL_SOCKET, SO_BINDTODEVICE,
                                             o_.device.c_str(), o_.device.size()) != 0) {
            std::perror("bootp-load: SO_BINDTODEVICE");
            return false;
        }
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(68);
        if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            std::perror("bootp-load: bind");
            return false;
        }
        server_.sin_family = AF_INET;
        server_.sin_port = htons(67);
        inet_pton(AF_INET, o_.server.c_str(), &server_.sin_addr);
        return true;
    }

    void Run() {
        const int64_t start = NowNs();
        const int64_t end = start + static_cast<int64_t>(o_.seconds * 1e9);
        const int64_t timeout = static_cast<int64_t>(o_.timeoutMs * 1e6);
        const int64_t interval = o_.rate > 0 ? static_cast<int64_t>(1e9 / o_.rate) : 0;
        int64_t nextSend = start;
        int64_t nextSweep = start + timeout;
        for (;;) {
            int64_t now = NowNs();
            bool sending = now < end;
            if (sending) {
                if (o_.window > 0) {
                    if (inFlight_ < o_.window)
                        Send(now, std::min(kBatch, o_.window - inFlight_));
                } else {
                    int due = 0;
                    while (nextSend <= now && due < kBatch) {
                        ++due;
                        nextSend += interval;
                    }
                    if (due > 0)
                        Send(now, due);
                }
            } else if (inFlight_ == 0 || now > end + timeout) {
                break;
            }
            if (now >= nextSweep) {
                Sweep(now, timeout);
                nextSweep = now + timeout / 4;
            }
            // Sleep until a reply comes, the next request is due or the next
            // sweep, whichever is first; never spin.
            int64_t wake = nextSweep;
            if (sending)
                wake = std::min(wake, o_.window > 0 ? end : nextSend);
            else
                wake = std::min(wake, end + timeout);
            int64_t wait = std::max<int64_t>(0, wake - NowNs());
            timespec limit{static_cast<time_t>(wait / 1'000'000'000),
                           static_cast<long>(wait % 1'000'000'000)};
            pollfd p{socket_, POLLIN, 0};
            if (ppoll(&p, 1, &limit, nullptr) > 0) {
                // Closed loop: let a few more replies arrive, so one receive
                // and one send serve them all and the server keeps the CPU.
                if (o_.window > 0 && o_.gatherUs > 0) {
                    timespec gather{0, static_cast<long>(o_.gatherUs * 1000)};
                    nanosleep(&gather, nullptr);
                }
                Receive();
            }
        }
        Sweep(NowNs() + 2 * timeout, timeout);
        elapsed_ = std::min(NowNs(), end) - start;
    }

    // Probe mode: one request for the last host every probeMs until a valid
    // reply; prints its wall-clock arrival (seconds since the epoch).
    bool Probe() {
        const uint32_t host = o_.hosts - 1;
        const int64_t end = NowNs() + static_cast<int64_t>(o_.seconds * 1e9);
        const int64_t interval = static_cast<int64_t>(o_.probeMs * 1e6);
        sent_ = host;
        std::printf("probing\n");
        std::fflush(stdout);
        while (NowNs() < end) {
            Send(NowNs(), 1);
            sent_ = host;
            int64_t until = NowNs() + interval;
            for (int64_t now = NowNs(); now < until; now = NowNs()) {
                int64_t wait = until - now;
                timespec limit{static_cast<time_t>(wait / 1'000'000'000),
                               static_cast<long>(wait % 1'000'000'000)};
                pollfd p{socket_, POLLIN, 0};
                if (ppoll(&p, 1, &limit, nullptr) <= 0)
                    continue;
                timespec wall;
                clock_gettime(CLOCK_REALTIME, &wall);
                Receive();
                if (valid_ > 0) {
                    std::printf("first-valid-reply=%lld.%09ld\n",
                                static_cast<long long>(wall.tv_sec), wall.tv_nsec);
                    return true;
                }
            }
        }
        std::printf("first-valid-reply=none\n");
        return false;
    }

    void Print() const {
        std::vector<int64_t> sorted = latencies_;
        std::sort(sorted.begin(), sorted.end());
        auto percentile = [&](double p) {
            if (sorted.empty())
                return 0.0;
            size_t i = std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()));
            return sorted[i] / 1000.0;
        };
        double seconds = elapsed_ / 1e9;
        std::printf("hosts=%u %s sent=%llu replies=%llu valid=%llu lost=%llu replies/s=%.0f "
                    "valid/s=%.0f p50=%.0fus p99=%.0fus\n",
                    o_.hosts,
                    (o_.window > 0 ? "W=" + std::to_string(o_.window)
                                   : "R=" + std::to_string(static_cast<long>(o_.rate)))
                        .c_str(),
                    static_cast<unsigned long long>(sent_),
                    static_cast<unsigned long long>(replies_),
                    static_cast<unsigned long long>(valid_), static_cast<unsigned long long>(lost_),
                    replies_ / seconds, valid_ / seconds, percentile(0.50), percentile(0.99));
    }

private:
    // Sends `count` new requests (at most kBatch) with one system call.
    void Send(int64_t now, int count) {
        static uint8_t requests[kBatch][kRequestLength];
        mmsghdr messages[kBatch];
        iovec parts[kBatch];
        uint32_t firstXid = nextXid_;
        for (int i = 0; i < count; ++i) {
            uint32_t xid = nextXid_++;
            uint32_t host = static_cast<uint32_t>(sent_++ % o_.hosts);
            uint8_t* request = requests[i];
            std::memset(request, 0, kRequestLength);
            request[0] = 1;
            request[1] = 1;
            request[2] = 6;
            uint32_t wireXid = htonl(xid);
            std::memcpy(request + 4, &wireXid, 4);
            HostAddress(host, request + 28);
            static const uint8_t cookie[] = {99, 130, 83, 99, 255};
            std::memcpy(request + 236, cookie, sizeof cookie);
            slots_[xid & (slots_.size() - 1)] = {now, host, true};
            parts[i] = {request, kRequestLength};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &server_;
            messages[i].msg_hdr.msg_namelen = sizeof server_;
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        int done = 0;
        while (done < count) {
            int n = sendmmsg(socket_, messages + done, count - done, 0);
            if (n <= 0)
                break;
            done += n;
        }
        inFlight_ += done;
        // What could not be sent counts as lost at once.
        for (int i = done; i < count; ++i) {
            slots_[(firstXid + i) & (slots_.size() - 1)].waiting = false;
            ++lost_;
        }
    }

    void Receive() {
        mmsghdr messages[kBatch];
        iovec parts[kBatch];
        static uint8_t buffers[kBatch][1500];
        for (int i = 0; i < kBatch; ++i) {
            parts[i] = {buffers[i], sizeof buffers[i]};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        int count = recvmmsg(socket_, messages, kBatch, MSG_DONTWAIT, nullptr);
        int64_t now = NowNs();
        for (int i = 0; i < count; ++i)
            Check(buffers[i], messages[i].msg_len, now);
    }

    void Check(const uint8_t* reply, size_t length, int64_t now) {
        if (length < 8 || reply[0] != 2)
            return; // our own requests echoed back are not replies
        uint32_t wireXid;
        std::memcpy(&wireXid, reply + 4, 4);
        uint32_t xid = ntohl(wireXid);
        Pending& slot = slots_[xid & (slots_.size() - 1)];
        if (!slot.waiting || xid >= nextXid_)
            return;
        slot.waiting = false;
        --inFlight_;
        ++replies_;
        latencies_.push_back(now - slot.sentNs);
        uint8_t mac[6];
        HostAddress(slot.host, mac);
        uint32_t yiaddr;
        std::memcpy(&yiaddr, reply + 16, 4);
        if (length == kRequestLength && yiaddr == HostIp(slot.host) &&
            std::memcmp(reply + 28, mac, 6) == 0)
            ++valid_;
    }

    // Requests unanswered for longer than the timeout are lost; their slots
    // go back to the window.
    void Sweep(int64_t now, int64_t timeout) {
        uint32_t oldest = nextXid_ > slots_.size() ? nextXid_ - slots_.size() : 0;
        for (uint32_t xid = std::max(oldest, sweptUpTo_); xid < nextXid_; ++xid) {
            Pending& slot = slots_[xid & (slots_.size() - 1)];
            if (!slot.waiting) {
                if (xid == sweptUpTo_)
                    ++sweptUpTo_;
                continue;
            }
            if (now - slot.sentNs < timeout)
                break;
            slot.waiting = false;
            --inFlight_;
            ++lost_;
            if (xid == sweptUpTo_)
                ++sweptUpTo_;
        }
    }

    const Options& o_;
    int socket_ = -1;
    sockaddr_in server_{};
    std::vector<Pending> slots_;
    std::vector<int64_t> latencies_;
    uint32_t nextXid_ = 1;
    uint32_t sweptUpTo_ = 1;
    int inFlight_ = 0;
    uint64_t sent_ = 0, replies_ = 0, valid_ = 0, lost_ = 0;
    int64_t elapsed_ = 1;
};

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--write-table")
            o.tableFile = value;
        else if (name == "--device")
            o.device = value;
        else if (name == "--server")
            o.server = value;
        else if (name == "--hosts")
            o.hosts = static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
        else if (name == "--window")
            o.window = std::atoi(value);
        else if (name == "--rate")
            o.rate = std::atof(value);
        else if (name == "--seconds")
            o.seconds = std::atof(value);
        else if (name == "--timeout-ms")
            o.timeoutMs = std::atof(value);
        else if (name == "--gather-us")
            o.gatherUs = std::atof(value);
        else if (name == "--probe-ms")
            o.probeMs = std::atof(value);
        else
            return false;
    }
    return argc % 2 == 1 && o.hosts > 0 && o.hosts <= (1u << 24);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    bool parsed = Parse(argc, argv, o);
    bool oneMode = (o.window > 0) + (o.rate > 0) + (o.probeMs > 0) == 1;
    if (!parsed || (o.tableFile.empty() && !oneMode)) {
        std::fprintf(stderr,
                     "usage: bootp-load --write-table FILE --hosts N\n"
                     "       bootp-load --device IF --hosts N (--window W | --rate R) "
                     "[--seconds S] [--server ADDR] [--timeout-ms T] [--gather-us G]\n"
                     "       bootp-load --device IF --hosts N --probe-ms P [--seconds S]\n");
        return 64;
    }
    if (!o.tableFile.empty())
        return WriteTable(o);
    Load load(o);
    if (!load.Open())
        return 1;
    if (o.probeMs > 0)
        return load.Probe() ? 0 : 1;
    load.Run();
    load.Print();
    return 0;
}
