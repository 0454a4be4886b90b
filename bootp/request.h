// Answering one BOOTREQUEST: finding the client's entry, resolving its boot
// file, filling the reply in place and handing it to the sender. Every step
// reports one "Status:" or "Error:" line to the application.
#pragma once

#include "bootp/app_interface.h"
#include "bootp/bootp_message.h"

#include <cstddef>
#include <cstdint>

// Where a reply goes: IPv4 address in network order, port in host order.
struct ReplyDestination {
    uint32_t address;
    uint16_t port;
};

// The way out for replies: the server socket in the product, a recorder in
// tests. Called synchronously on the engine's thread.
class ReplySender {
public:
    virtual ~ReplySender() = default;
    // Sends `length` bytes (always the 300-byte reply). 0 on success, else
    // the platform's error number, which the engine reports.
    virtual int SendReply(const uint8_t* reply, size_t length,
                          const ReplyDestination& destination) = 0;
    // The server's own address (network order) for the request being
    // answered; 0 when it is unknown.
    virtual uint32_t OwnAddress() = 0;
};

constexpr uint16_t kServerPort = 67;
constexpr uint16_t kClientPort = 68;
// The longest boot file path the reply's file field holds.
constexpr size_t kMaxBootPath = kBootpFileSize - 1;

struct BootpEngine;

// Answers the request in `packet` (at least 300 bytes, `op` 1) from the
// engine's tables, rewriting it into the reply. No reply for an unknown
// client, a requested file that does not exist, or a hardware type without
// an address length.
void HandleRequest(const BootpEngine& engine, uint8_t* packet, BootpApplication& application,
                   ReplySender& sender);

// Completes the reply's addresses and sends its 300 bytes: to `ciaddr` (or
// a relay agent's `giaddr` on port 67, or `yiaddr`); anything not bound for
// a relay agent is broadcast to 255.255.255.255:68.
void SendReply(uint8_t* packet, BootpApplication& application, ReplySender& sender);

// 0 when `path` names a regular file that others may read, with `size` set
// to its length; -1 otherwise.
int FileUsable(const char* path, uint32_t* size);
