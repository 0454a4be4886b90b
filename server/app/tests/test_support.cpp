#include "test_support.h"
#include "tests/support/files.h"

#include "platform/registry.h"

#include <arpa/inet.h>
#include <fstream>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace korrind_test {
namespace {
constexpr char kSettingsKey[] = "SOFTWARE\\Tarvex\\Olvani\\BootpSettings";
}

void SetSetting(const char* name, const std::optional<std::string>& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>(value->size() + 1));
    else
        RegDeleteValueA(key, name);
    RegCloseKey(key);
}

void DeleteSettingsKey() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey);
}

bool PortBound(uint16_t port) {
    // Local address column "00000000:0043" (hexadecimal port).
    char column[8];
    std::snprintf(column, sizeof column, ":%04X ", port);
    std::string table = ReadFile("/proc/net/udp");
    return table.find(column) != std::string::npos;
}

std::vector<uint8_t> BootRequest(const std::vector<uint8_t>& hardwareAddress, uint32_t xid) {
    std::vector<uint8_t> packet(300, 0);
    packet[0] = 1; // BOOTREQUEST
    packet[1] = 1; // Ethernet
    packet[2] = static_cast<uint8_t>(hardwareAddress.size());
    uint32_t networkXid = htonl(xid);
    std::memcpy(&packet[4], &networkXid, 4);
    std::memcpy(&packet[28], hardwareAddress.data(), hardwareAddress.size());
    const uint8_t cookie[] = {99, 130, 83, 99, 255};
    std::memcpy(&packet[236], cookie, sizeof cookie);
    return packet;
}

bool SendToServer(const std::vector<uint8_t>& datagram, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ssize_t sent = ::sendto(fd, datagram.data(), datagram.size(), 0,
                            reinterpret_cast<const sockaddr*>(&server), sizeof server);
    ::close(fd);
    return sent == static_cast<ssize_t>(datagram.size());
}

std::vector<std::string> CrLfLines(const std::string& text, bool* allCrLf) {
    std::vector<std::string> lines;
    *allCrLf = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            *allCrLf = false; // an unterminated last line
            lines.push_back(text.substr(start));
            break;
        }
        if (end == start || text[end - 1] != '\r') {
            *allCrLf = false;
            lines.push_back(text.substr(start, end - start));
        } else {
            lines.push_back(text.substr(start, end - start - 1));
        }
        start = end + 1;
    }
    return lines;
}

} // namespace korrind_test
