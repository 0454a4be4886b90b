// ICMP echo requests and the judgement of what comes back. Multi-byte fields
// are in the machine's own byte order, as the requests were always built.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <netinet/in.h>

namespace dravik {

constexpr size_t kIcmpBufferBytes = 1024;
constexpr size_t kIcmpHeaderBytes = 12; // type, code, checksum, id, sequence, time stamp
constexpr LONG kLargestPayload = static_cast<LONG>(kIcmpBufferBytes - kIcmpHeaderBytes);

// Type 8, code 0, `identifier`, sequence 0, and `payload` bytes of 'E'.
void fill_icmp_data(BYTE* request, LONG payload, WORD identifier);
// Stamps the sequence number and time, then the checksum, over `length` bytes.
void StampRequest(BYTE* request, size_t length, WORD sequence, DWORD now);
WORD checksum(const BYTE* data, size_t length);

// 0 the answer from the host, 1 a stranger's packet, -1 a bad reply. The
// reply starts with its IP header unless `bare` (datagram ICMP sockets hand
// out the ICMP message alone).
int decode_resp(const sockaddr_in& expected, const BYTE* reply, size_t length,
                const sockaddr_in& from, WORD identifier, bool bare, DWORD now);

} // namespace dravik
