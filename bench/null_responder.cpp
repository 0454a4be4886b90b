// null-responder: the ceiling of the load rig. It binds the BOOTP server
// port and answers every datagram by turning its op into a reply and sending
// its first 300 bytes back as a broadcast on the receiving interface, with
// no table, no lookup and no status output: one receive and one send per
// request, as little as any BOOTP server can do.
//
// Usage: null-responder        (prints "null-responder: listening", then
//                               answers until SIGINT or SIGTERM)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kReplyLength = 300;
volatile sig_atomic_t stopping = 0;

void Stop(int) {
    stopping = 1;
}

int OpenSocket() {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    int room = 1 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(67);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// The receiving interface of the last datagram; 0 when the platform did not say.
int InterfaceOf(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            return info.ipi_ifindex;
        }
    }
    return 0;
}

// A limited broadcast has no route of its own: it leaves by the interface
// the request came in on, as the server's replies do.
void Answer(int s, unsigned char* packet, int interfaceIndex) {
    packet[0] = 2;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(68);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    iovec part{packet, kReplyLength};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = interfaceIndex;
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    sendmsg(s, &message, 0);
}

} // namespace

int main() {
    struct sigaction action {};
    action.sa_handler = Stop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    int s = OpenSocket();
    if (s < 0) {
        std::perror("null-responder");
        return 1;
    }
    std::printf("null-responder: listening\n");
    std::fflush(stdout);
    alignas(8) unsigned char packet[1024];
    while (!stopping) {
        sockaddr_in from{};
        iovec part{packet, sizeof packet};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t length = recvmsg(s, &message, 0);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            std::perror("null-responder: recvmsg");
            break;
        }
        if (static_cast<size_t>(length) >= kReplyLength && packet[0] == 1)
            Answer(s, packet, InterfaceOf(message));
    }
    close(s);
    return 0;
}
