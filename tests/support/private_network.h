// A network namespace of the test's own, so port 67 and anything sent there
// never meet the host.
#pragma once

#include <cstdio>

namespace olvani_test {

// Moves the calling process into a new network namespace with loopback up.
// Call before any thread exists. False when not permitted (not root).
bool EnterPrivateNetwork();

// The exit status of a test program that cannot run here (without root).
// CTest shows it as skipped rather than passed, and CI run as root fails on it.
constexpr int kSkipExitCode = 77;
inline int ReportSkipped(const char* reason) {
    std::fprintf(stderr, "SKIP: %s\n", reason);
    return kSkipExitCode;
}

} // namespace olvani_test
