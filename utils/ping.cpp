// Whether a host answers ICMP echo requests. A raw ICMP socket needs root or
// CAP_NET_RAW; without them, where the system lets this group use ICMP
// datagram sockets (net.ipv4.ping_group_range), one of those is used and the
// kernel chooses the identifier, which the replies are then matched against.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/ping_packet.h"
#include "utils/sock_addr_cache.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr LONG kHostNotFound = 11001;
constexpr LONG kNoReply = 258;

DWORD TickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool IsOwnName(const char* host) {
    char own[HOST_NAME_MAX + 1] = {};
    if (gethostname(own, sizeof own - 1) != 0)
        return false;
    return olvani::AsciiEqualIgnoringCase(olvani::Utf8ToUtf16(host), olvani::Utf8ToUtf16(own));
}

// The socket, closed in both directions on every way out.
struct IcmpSocket {
    int fd = -1;
    bool bare = false; // a datagram socket: replies come without their IP header
    ~IcmpSocket() {
        if (fd >= 0) {
            shutdown(fd, SHUT_RDWR);
            close(fd);
        }
    }
};

// 0, or the error of the raw socket when no socket could be had.
int OpenSocket(IcmpSocket& icmp) {
    icmp.fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (icmp.fd >= 0)
        return 0;
    const int rawError = errno;
    if (rawError != EPERM && rawError != EACCES)
        return rawError;
    icmp.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    icmp.bare = icmp.fd >= 0;
    return icmp.bare ? 0 : rawError;
}

// 0 or the error; read before tracing, which may change errno.
int SetTimeouts(const ScopeTrace& scope, int fd, LONG timeout) {
    timeval limit{};
    limit.tv_sec = timeout / 1000;
    limit.tv_usec = (timeout % 1000) * 1000;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        const int error = errno;
        TraceFormat(scope, u"Failed to set recv timeout: %d", error);
        return error;
    }
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
        const int error = errno;
        TraceFormat(scope, u"Failed to set send timeout: %d", error);
        return error;
    }
    return 0;
}

// The identifier replies carry: the process's, or the one the kernel gave a
// datagram socket (its local port, as it stands in the packet).
WORD ReplyIdentifier(const IcmpSocket& icmp) {
    if (!icmp.bare)
        return static_cast<WORD>(getpid() & 0xFFFF);
    sockaddr_in local{};
    socklen_t size = sizeof local;
    getsockname(icmp.fd, reinterpret_cast<sockaddr*>(&local), &size);
    return local.sin_port;
}

// Waits up to `timeout` ms for a reply; a signal does not cut the wait short.
int WaitReadable(int fd, LONG timeout) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        const int waited = poll(&ready, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (waited >= 0 || errno != EINTR)
            return waited;
    }
}

// One request out and one reply judged: 0, 1 or -1 from decode_resp, or
// a failure code in `failure`.
int ExchangeOnce(const ScopeTrace& scope, const IcmpSocket& icmp, const BYTE* request,
                 size_t length, const sockaddr_in& host, LONG timeout, LONG& failure) {
    const ssize_t sent =
        sendto(icmp.fd, request, length, 0, reinterpret_cast<const sockaddr*>(&host), sizeof host);
    if (sent < 0) {
        failure = errno;
        TraceFormat(scope, u"sendto failed: %d", failure);
        if (failure == EAGAIN || failure == ETIMEDOUT)
            TraceFormat(scope, u"(Timeout)");
        return -2;
    }
    if (static_cast<size_t>(sent) < length)
        TraceFormat(scope, u"Wrote %d bytes", static_cast<LONG>(sent));
    const int waited = WaitReadable(icmp.fd, timeout);
    if (waited == 0) {
        TraceFormat(scope, u"(read Timeout)");
        failure = kNoReply;
        return -2;
    }
    if (waited < 0) {
        failure = errno; // before the trace, which may change it
        TraceFormat(scope, u"(WSAWaitForMultipleEvents Failed)");
        return -2;
    }
    BYTE reply[dravik::kIcmpBufferBytes];
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t received =
        recvfrom(icmp.fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received < 0) {
        failure = errno;
        TraceFormat(scope, u"recvfrom failed: %d", failure);
        if (failure == EAGAIN || failure == ETIMEDOUT)
            TraceFormat(scope, u"(Timeout)");
        return -2;
    }
    return dravik::decode_resp(host, reply, static_cast<size_t>(received), from,
                               ReplyIdentifier(icmp), icmp.bare, TickCount());
}

LONG PingDriver(const char* host, LONG interval, LONG loops, LONG timeout, LONG datasize) {
    ScopeTrace scope(9, u"PingDriver");
    if (IsOwnName(host)) {
        TraceFormat(scope, u"Pinging self is always successful");
        return 0;
    }
    IcmpSocket icmp;
    if (const int error = OpenSocket(icmp); error != 0) {
        TraceFormat(scope, u"WSASocket() failed: %d", error);
        return error;
    }
    if (const int error = SetTimeouts(scope, icmp.fd, timeout); error != 0)
        return error;
    sockaddr_in address{};
    if (const int status = HostAddressCache().LookupHost(host, address); status != 0)
        return status;
    BYTE request[dravik::kIcmpBufferBytes];
    dravik::fill_icmp_data(request, datasize, static_cast<WORD>(getpid() & 0xFFFF));
    const size_t length = static_cast<size_t>(datasize) + dravik::kIcmpHeaderBytes;
    int successes = 0;
    LONG extraRounds = 0;
    LONG counter = 1;
    dravik::StampRequest(request, length, 0, TickCount());
    for (;;) {
        LONG failure = 0;
        const int judged = ExchangeOnce(scope, icmp, request, length, address, timeout, failure);
        if (judged == -2)
            return failure;
        if (judged < 0)
            return -1;
        if (judged == 0)
            ++successes;
        // The sequence number wraps at 16 bits; the count of requests does not,
        // or a ping of more than 65535 loops would never end.
        if (counter >= loops) {
            if (successes > 0)
                return 0;
            if (extraRounds >= dravik::PingRetries())
                return -1;
            ++extraRounds;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(interval));
        dravik::StampRequest(request, length, static_cast<WORD>(counter), TickCount());
        ++counter;
    }
}

} // namespace

LONG ASPingHost(const char16_t* host, LONG interval, LONG loops, LONG timeout, LONG datasize) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(8, u"PingHost");
    TraceFormat(scope, u"host '%s', loops %d, interval %d, timeout %d, datasize %d",
                host ? host : u"", loops, interval, timeout, datasize);
    if (!host || !*host) {
        TraceFormat(scope, u"Hostname is blank");
        return kHostNotFound;
    }
    if (loops < 1) {
        TraceFormat(scope, u"Invalid value for 'loops' = '%d'", loops);
        return E_INVALIDARG;
    }
    // The request must fit its buffer; negative sizes and times mean nothing.
    if (datasize < 0 || datasize > dravik::kLargestPayload) {
        TraceFormat(scope, u"Invalid value for 'datasize' = '%d'", datasize);
        return E_INVALIDARG;
    }
    if (interval < 0 || timeout < 0) {
        TraceFormat(scope, u"Invalid value for 'interval' = '%d' or 'timeout' = '%d'", interval,
                    timeout);
        return E_INVALIDARG;
    }
    return PingDriver(olvani::Utf16ToUtf8(host).c_str(), interval, loops, timeout, datasize);
}
