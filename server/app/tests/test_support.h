// Shared by the server program's tests: the settings key and BOOTP
// datagrams, beside the test-support library's files and private network.
#pragma once

#include "tests/support/files.h"
#include "tests/support/private_network.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korrind_test {

using olvani_test::EnterPrivateNetwork;
using olvani_test::kSkipExitCode;
using olvani_test::ReportSkipped;

// Sets or removes (nullopt) a value of the BootpSettings key.
void SetSetting(const char* name, const std::optional<std::string>& value);
// Removes the whole key.
void DeleteSettingsKey();

using olvani_test::ReadFile;
using olvani_test::WriteFile;

// Whether some socket in this namespace is bound to this UDP port.
bool PortBound(uint16_t port);
inline bool Port67Bound() {
    return PortBound(67);
}

// A 300-byte BOOTREQUEST for an Ethernet address.
std::vector<uint8_t> BootRequest(const std::vector<uint8_t>& hardwareAddress, uint32_t xid);
// Sends a datagram to 127.0.0.1:`port` from an ephemeral port; false on
// failure.
bool SendToServer(const std::vector<uint8_t>& datagram, uint16_t port = 67);

// Lines of a CR LF text, without the terminators; false in `allCrLf` when a
// line ended otherwise.
std::vector<std::string> CrLfLines(const std::string& text, bool* allCrLf);

} // namespace korrind_test
