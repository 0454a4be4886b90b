// Generated host tables for the engine's benchmarks, in the layout the
// server application writes (CR LF, one tag per continued line), each host
// with ht, ha, ip, sm, gw, hn, vm, bs and a template reference.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace bench_hosts {

// Distinct 24-bit host parts (odd multiplier), spread like real NIC serials.
inline uint32_t Serial(int i) {
    return (static_cast<uint32_t>(i) * 2654435761u) & 0xFFFFFF;
}

inline void MacOf(int i, uint8_t mac[6]) {
    uint32_t serial = Serial(i);
    const uint8_t bytes[6] = {0x00,
                              0x1A,
                              0x2B,
                              static_cast<uint8_t>(serial >> 16),
                              static_cast<uint8_t>(serial >> 8),
                              static_cast<uint8_t>(serial)};
    std::memcpy(mac, bytes, 6);
}

// `hosts` entries after a template; with `bootDirectory` the template gives
// every host that home directory and the boot file "boot.bin".
inline std::string GenerateTable(int hosts, const std::string& bootDirectory) {
    std::string text = "# generated host table\r\n\r\n# global defaults\r\n"
                       "global.defaults:\\\r\nsm=255.255.0.0:\\\r\ngw=10.0.0.1:\\\r\n"
                       "ds=10.0.0.2 10.0.0.3:\\\r\nts=10.0.0.4:\\\r\n";
    if (!bootDirectory.empty()) {
        text += "hd=" + bootDirectory + ":\\\r\nbf=boot.bin:\\\r\n";
    }
    text += "T145=64:T146=01:T147=01\r\n";
    char entry[512];
    for (int i = 0; i < hosts; ++i) {
        uint8_t mac[6];
        MacOf(i, mac);
        int ip = i + 256;
        std::snprintf(entry, sizeof entry,
                      "\r\n# bench host %d\r\nhost%05d:\\\r\nht=1:\\\r\n"
                      "ha=%02X%02X%02X%02X%02X%02X:\\\r\nip=10.%d.%d.%d:\\\r\n"
                      "sm=255.255.0.0:\\\r\ngw=10.%d.0.1:\\\r\nvm=auto:\\\r\nhn:\\\r\n"
                      "bs=auto:\\\r\ntc=global.defaults\r\n",
                      i, i, mac[0], mac[1], mac[2], mac[3], mac[4], mac[5], (ip >> 16) & 255,
                      (ip >> 8) & 255, ip & 255, (ip >> 16) & 255);
        text += entry;
    }
    return text;
}

} // namespace bench_hosts
