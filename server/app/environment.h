// The environment korrind starts Qt with.
#pragma once

namespace korrind {

// Whether the program was started with more rights than its caller has (a
// file capability or a set-id bit): the kernel's secure-execution mode.
bool SecureExecution();

// In secure-execution mode nothing the caller set may steer the program: the
// environment is cut down to the locale and time zone, so that our own
// overrides (registry folder, debugger output) and everything Qt, its
// plugins and the desktop libraries read (plugin paths, platform, config
// folders) are gone, and the program runs without a display. Otherwise the
// environment stays as it is.
void PrepareEnvironment();

} // namespace korrind
