#include "bootp/server_socket.h"

#include "bootp/request.h"
#include "platform/messagebox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kReceiveQueueBytes = 1 << 20;

// The message shows the error number; the system's explanation follows on
// a line of its own.
void ShowSocketError(const char* format, int error) {
    char text[256];
    int length = std::snprintf(text, sizeof text, format, error);
    if (length > 0 && static_cast<size_t>(length) < sizeof text)
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "%s\n",
                      std::strerror(error));
    MessageBox(text, "", MB_OK | MB_ICONERROR);
}

int FailAndClose(ServerSocket& socket, const char* format) {
    ShowSocketError(format, errno);
    CloseServerSocket(socket);
    return 0;
}

in_addr_t ResolveFirstAddress(const char* name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr)
        return 0;
    in_addr_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

// Room for the longest host name the system allows, and its NUL: cloud and
// container names are often longer than a few dozen characters.
size_t HostNameBufferSize() {
    long limit = sysconf(_SC_HOST_NAME_MAX);
    return static_cast<size_t>(limit > HOST_NAME_MAX ? limit : HOST_NAME_MAX) + 1;
}

bool IsLoopback(in_addr_t address) {
    return (ntohl(address) >> 24) == 127;
}

} // namespace

int SetupSocket(ServerSocket& s) {
    s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s.fd < 0) {
        ShowSocketError("The WinSock socket function failed with: %d\n", errno);
        return 0;
    }
    sockaddr_in bindAddress{};
    bindAddress.sin_family = AF_INET;
    bindAddress.sin_port = htons(s.listen.port);
    bindAddress.sin_addr.s_addr = htonl(s.listen.address);
    if (bind(s.fd, reinterpret_cast<sockaddr*>(&bindAddress), sizeof bindAddress) != 0)
        return FailAndClose(s, "The WinSock bind function failed with: %d\n");
    int on = 1;
    if (setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return FailAndClose(s, "The WinSock setsockopt function failed with: %d\n");
    // Room for a burst of requests (a rack powering up) while the thread is
    // busy elsewhere; the system may grant less, which is no failure.
    int room = kReceiveQueueBytes;
    setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    // The receiving interface of each request, so its reply can leave there.
    if (setsockopt(s.fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0)
        return FailAndClose(s, "The WinSock setsockopt function failed with: %d\n");

    std::vector<char> hostName(HostNameBufferSize(), '\0');
    if (gethostname(hostName.data(), hostName.size()) != 0 || hostName[0] == '\0') {
        MessageBox("Your local host TCP/IP stack has not been configured.", "",
                   MB_OK | MB_ICONERROR);
        CloseServerSocket(s);
        return 0;
    }
    s.hostNameAddress = ResolveFirstAddress(hostName.data());

    // Stands in for the asynchronous mode: the application watches the
    // socket, and a notification that finds nothing waiting must not block.
    int flags = fcntl(s.fd, F_GETFL);
    if (flags < 0 || fcntl(s.fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return FailAndClose(s, "The WinSock WSAAsyncSelect function failed with: %d\n");
    return 1;
}

void CloseServerSocket(ServerSocket& socket) {
    if (socket.fd >= 0)
        close(socket.fd);
    socket.fd = -1;
}

uint16_t BoundPort(const ServerSocket& socket) {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (socket.fd < 0 || getsockname(socket.fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin_port);
}

ssize_t ReceiveDatagram(const ServerSocket& socket, BYTE* buffer, size_t size,
                        RequestOrigin& origin, int& error) {
    iovec part{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &origin.sender;
    message.msg_namelen = sizeof origin.sender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t length;
    do {
        length = recvmsg(socket.fd, &message, 0);
    } while (length < 0 && errno == EINTR);
    if (length < 0) {
        error = errno;
        return -1;
    }
    origin.interfaceIndex = 0;
    origin.interfaceAddress = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            origin.interfaceIndex = info.ipi_ifindex;
            origin.interfaceAddress = info.ipi_spec_dst.s_addr;
        }
    }
    return length;
}

int SendDatagram(const ServerSocket& socket, const BYTE* data, size_t length,
                 const sockaddr_in& destination, const RequestOrigin& origin) {
    iovec part{const_cast<BYTE*>(data), length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&destination);
    message.msg_namelen = sizeof destination;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (origin.interfaceIndex != 0 || origin.interfaceAddress != 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        // A limited broadcast has no route of its own: pin it to the
        // interface. A unicast to a relay agent follows the routing table.
        if (destination.sin_addr.s_addr == htonl(INADDR_BROADCAST))
            info.ipi_ifindex = origin.interfaceIndex;
        info.ipi_spec_dst.s_addr = origin.interfaceAddress;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    ssize_t sent;
    do {
        sent = sendmsg(socket.fd, &message, 0);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? errno : 0;
}

in_addr_t OwnAddressFor(const ServerSocket& socket, const RequestOrigin& origin) {
    return IsLoopback(socket.hostNameAddress) ? origin.interfaceAddress : socket.hostNameAddress;
}
