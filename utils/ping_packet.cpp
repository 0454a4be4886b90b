#include "utils/ping_packet.h"

#include "trace/client/module_trace.h"

#include <arpa/inet.h>
#include <cstring>

namespace dravik {
namespace {

constexpr BYTE kEchoRequest = 8;
constexpr BYTE kEchoReply = 0;
constexpr BYTE kPayloadByte = 0x45;

template <class T> T Field(const BYTE* packet, size_t offset) {
    T value;
    memcpy(&value, packet + offset, sizeof value);
    return value;
}

template <class T> void SetField(BYTE* packet, size_t offset, T value) {
    memcpy(packet + offset, &value, sizeof value);
}

} // namespace

void fill_icmp_data(BYTE* request, LONG payload, WORD identifier) {
    ScopeTrace scope(9, u"fill_icmp_data");
    memset(request, 0, kIcmpBufferBytes);
    request[0] = kEchoRequest;
    SetField<WORD>(request, 4, identifier);
    memset(request + kIcmpHeaderBytes, kPayloadByte, static_cast<size_t>(payload));
}

void StampRequest(BYTE* request, size_t length, WORD sequence, DWORD now) {
    SetField<WORD>(request, 6, sequence);
    SetField<DWORD>(request, 8, now);
    SetField<WORD>(request, 2, 0);
    SetField<WORD>(request, 2, checksum(request, length));
}

WORD checksum(const BYTE* data, size_t length) {
    ScopeTrace scope(9, u"checksum");
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        sum += Field<WORD>(data, i);
    if (i < length)
        sum += data[i];
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<WORD>(~sum);
}

int decode_resp(const sockaddr_in& expected, const BYTE* reply, size_t length,
                const sockaddr_in& from, WORD identifier, bool bare, DWORD now) {
    ScopeTrace scope(9, u"decode_resp");
    char sender[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
    const size_t headerLength = bare ? 0 : static_cast<size_t>(length ? reply[0] & 0x0F : 0) * 4;
    if (length < headerLength + 8) {
        TraceFormat(scope, u"Too few bytes (%d) from %hs", static_cast<LONG>(length), sender);
        return -1;
    }
    const BYTE* icmp = reply + headerLength;
    const bool echo = icmp[0] == kEchoReply;
    if (!echo)
        TraceFormat(scope, u"non-echo type %d recvd", icmp[0]);
    const WORD packetId = Field<WORD>(icmp, 4);
    const bool mine = packetId == identifier;
    if (!mine) {
        TraceFormat(scope, u"My process '%d', packet id '%d'", identifier, packetId);
        TraceFormat(scope, u"someone else's packet!");
    }
    const bool fromHost = from.sin_addr.s_addr == expected.sin_addr.s_addr;
    if (!fromHost)
        TraceFormat(scope, u"Not from expected host (0x%x)", from.sin_addr.s_addr);
    if (echo && mine && fromHost) {
        TraceFormat(scope, u"%d bytes from %hs:", static_cast<LONG>(length), sender);
        TraceFormat(scope, u"   icmp_seq = %d.", Field<WORD>(icmp, 6));
        if (length >= headerLength + kIcmpHeaderBytes)
            TraceFormat(scope, u"   time: %d ms", now - Field<DWORD>(icmp, 8));
        return 0;
    }
    if (echo && mine)
        return -1;
    if (fromHost)
        return 0;
    return mine ? -1 : 1;
}

} // namespace dravik
