// bootp-probe: sends one hand-made BOOTP datagram and prints the reply, for
// the end-to-end tests' cases that real clients never send (short and long
// datagrams, op 2, a relay agent's giaddr).
//
// Usage: bootp-probe [options]
//   --to ADDR        destination (255.255.255.255)
//   --device IF      send and receive on this interface only
//   --port N         local port (68; 67 to stand in for a relay agent)
//   --length N       datagram length (300); short ones are cut, long ones padded
//   --op N --htype N --chaddr HEX --ciaddr A --giaddr A --xid N --file NAME
//   --wait SECONDS   how long to wait for the reply (3)
// Prints "reply: ..." and the vendor options and exits 0 when a reply with
// the request's xid came; prints "no reply" and exits 2 otherwise.

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string to = "255.255.255.255";
    std::string device;
    int port = 68;
    size_t length = 300;
    int op = 1;
    int htype = 1;
    std::vector<uint8_t> chaddr;
    std::string ciaddr = "0.0.0.0";
    std::string giaddr = "0.0.0.0";
    uint32_t xid = 0x5eed0001;
    std::string file;
    double wait = 3;
};

std::vector<uint8_t> FromHex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (name == "--to")
            o.to = value;
        else if (name == "--device")
            o.device = value;
        else if (name == "--port")
            o.port = std::atoi(value.c_str());
        else if (name == "--length")
            o.length = std::strtoul(value.c_str(), nullptr, 10);
        else if (name == "--op")
            o.op = std::atoi(value.c_str());
        else if (name == "--htype")
            o.htype = std::atoi(value.c_str());
        else if (name == "--chaddr")
            o.chaddr = FromHex(value);
        else if (name == "--ciaddr")
            o.ciaddr = value;
        else if (name == "--giaddr")
            o.giaddr = value;
        else if (name == "--xid")
            o.xid = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
        else if (name == "--file")
            o.file = value;
        else if (name == "--wait")
            o.wait = std::atof(value.c_str());
        else
            return false;
    }
    return true;
}

std::string Address(const uint8_t* p) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, p, text, sizeof text);
    return text;
}

void PrintReply(const uint8_t* r, ssize_t length, const sockaddr_in& from) {
    char file[129] = {};
    std::memcpy(file, r + 108, 128);
    std::printf("reply: length=%zd op=%u from=%s:%u yiaddr=%s siaddr=%s giaddr=%s file=%s\n",
                length, r[0], inet_ntoa(from.sin_addr), ntohs(from.sin_port),
                Address(r + 16).c_str(), Address(r + 20).c_str(), Address(r + 24).c_str(), file);
    std::printf("cookie: %02x%02x%02x%02x\n", r[236], r[237], r[238], r[239]);
    for (ssize_t i = 240; i < length && i < 300;) {
        uint8_t tag = r[i];
        if (tag == 255)
            break;
        if (tag == 0) {
            ++i;
            continue;
        }
        if (i + 1 >= length)
            break;
        uint8_t n = r[i + 1];
        std::printf("option %u:", tag);
        for (int k = 0; k < n && i + 2 + k < length; ++k)
            std::printf(" %02x", r[i + 2 + k]);
        std::printf("\n");
        i += 2 + n;
    }
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: bootp-probe [--to A] [--device IF] [--port N] [--length N] "
                             "[--op N] [--htype N] [--chaddr HEX] [--ciaddr A] [--giaddr A] "
                             "[--xid N] [--file NAME] [--wait S]\n");
        return 64;
    }
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (!o.device.empty() &&
        setsockopt(s, SOL_SOCKET, SO_BINDTODEVICE, o.device.c_str(), o.device.size()) != 0) {
        std::perror("bootp-probe: SO_BINDTODEVICE");
        return 1;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(o.port));
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("bootp-probe: bind");
        return 1;
    }

    std::vector<uint8_t> request(std::max<size_t>(o.length, 300), 0);
    request[0] = static_cast<uint8_t>(o.op);
    request[1] = static_cast<uint8_t>(o.htype);
    request[2] = static_cast<uint8_t>(o.chaddr.size());
    uint32_t xid = htonl(o.xid);
    std::memcpy(&request[4], &xid, 4);
    inet_pton(AF_INET, o.ciaddr.c_str(), &request[12]);
    inet_pton(AF_INET, o.giaddr.c_str(), &request[24]);
    std::memcpy(&request[28], o.chaddr.data(), std::min<size_t>(o.chaddr.size(), 16));
    std::memcpy(&request[108], o.file.data(), std::min<size_t>(o.file.size(), 127));
    static const uint8_t cookie[] = {99, 130, 83, 99, 255};
    std::memcpy(&request[236], cookie, sizeof cookie);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(67);
    inet_pton(AF_INET, o.to.c_str(), &to.sin_addr);
    if (sendto(s, request.data(), o.length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        std::perror("bootp-probe: sendto");
        return 1;
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.wait);
    uint8_t reply[1500];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{s, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n =
            recvfrom(s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n >= 8 && reply[0] == 2 && std::memcmp(reply + 4, &xid, 4) == 0) {
            PrintReply(reply, n, from);
            return 0;
        }
    }
    std::printf("no reply\n");
    return 2;
}
