// The engine's UDP socket on the BOOTP server port: setting it up, taking one
// datagram off it per notification, and the sender every reply leaves by.
// Replies leave by the interface the request came in on, so a limited
// broadcast reaches the client on a host with several interfaces or with no
// default route.
#pragma once

#include "bootp/bootp_message.h"
#include "bootp/request.h"
#include "platform/wintypes.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// The fixed fields without a vendor area: klibc's ipconfig, which Debian's
// initramfs uses for network boot, sends requests of just this length.
constexpr size_t kMinimumRequestLength = 236;

// Where the datagram being handled came from and in by.
struct RequestOrigin {
    sockaddr_in sender{};
    int interfaceIndex = 0;         // 0 when the platform did not say
    in_addr_t interfaceAddress = 0; // network order; 0 when the interface has none
};

// Where the engine listens. The product binds 0.0.0.0:67; a window or engine
// under test may ask for loopback and port 0 (an ephemeral port), or for no
// socket at all.
struct ListenAddress {
    in_addr_t address = INADDR_ANY; // host order
    uint16_t port = kServerPort;
    bool bind = true; // false: the engine runs without a socket
};

// The engine's socket and what it learnt of the host when it was set up.
struct ServerSocket {
    ListenAddress listen;
    int fd = -1;
    in_addr_t hostNameAddress = 0; // network order; 0 when the name did not resolve
};

// Creates the socket bound to `socket.listen` with broadcast sending, learns
// the host name and its first address, and makes the socket non-blocking so
// a notification that finds nothing waiting returns at once. Each failure
// shows its message box. 1 on success, 0 on failure.
int SetupSocket(ServerSocket& socket);

// Closes the socket; nothing happens when none is open.
void CloseServerSocket(ServerSocket& socket);

// The port the socket is bound to (host order); 0 when none is open.
uint16_t BoundPort(const ServerSocket& socket);

// Takes one datagram of at most `size` bytes (a longer one is cut). Returns
// its length, 0 for an empty datagram, or -1 with `error` set; EAGAIN means
// nothing was waiting.
ssize_t ReceiveDatagram(const ServerSocket& socket, BYTE* buffer, size_t size,
                        RequestOrigin& origin, int& error);

// Sends `length` bytes to `destination`. A broadcast leaves by the interface
// of `origin`; every reply carries the receiving interface's address as its
// source. 0 on success, else the platform's error number.
int SendDatagram(const ServerSocket& socket, const BYTE* data, size_t length,
                 const sockaddr_in& destination, const RequestOrigin& origin);

// The server's own address for a reply to a request from `origin`: the first
// address of the local host name, unless that is a loopback address (Debian
// maps the host name to 127.0.1.1), which a client could do nothing with; then
// the address of the receiving interface. 0 when the name did not resolve.
in_addr_t OwnAddressFor(const ServerSocket& socket, const RequestOrigin& origin);
