// Shared by the server program's tests: a private network namespace, the
// settings key, files and BOOTP datagrams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korrind_test {

// The exit status of a test program that cannot run here (without root).
// CTest shows it as skipped rather than passed, and CI run as root fails on it.
constexpr int kSkipExitCode = 77;
inline int ReportSkipped(const char* reason) {
    std::fprintf(stderr, "SKIP: %s\n", reason);
    return kSkipExitCode;
}

// Moves the process into a network namespace of its own with loopback up,
// so port 67 and the one-instance name never meet anything on the host.
// Call first thing in main, before any thread exists. False without root.
bool EnterPrivateNetwork();

// Sets or removes (nullopt) a value of the BootpSettings key.
void SetSetting(const char* name, const std::optional<std::string>& value);
// Removes the whole key.
void DeleteSettingsKey();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// Whether some socket in this namespace is bound to UDP port 67.
bool Port67Bound();

// A 300-byte BOOTREQUEST for an Ethernet address.
std::vector<uint8_t> BootRequest(const std::vector<uint8_t>& hardwareAddress, uint32_t xid);
// Sends a datagram to 127.0.0.1:67 from an ephemeral port; false on failure.
bool SendToServer(const std::vector<uint8_t>& datagram);

// Lines of a CR LF text, without the terminators; false in `allCrLf` when a
// line ended otherwise.
std::vector<std::string> CrLfLines(const std::string& text, bool* allCrLf);

} // namespace korrind_test
