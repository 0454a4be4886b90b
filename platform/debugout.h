// Debugger output. Goes to the system log (LOG_DEBUG) by default, to standard
// error when OLVANI_DEBUG_OUTPUT=stderr (ignored in secure-execution mode);
// tests install an in-process sink. Never throws.
#pragma once

#include <functional>
#include <string_view>

void OutputDebugStringW(const char16_t* text) noexcept;
void OutputDebugStringA(const char* text) noexcept;

namespace olvani {

// Receives every debug string as UTF-8. Passing an empty function restores
// the default destination. Returns the previous sink.
using DebugSink = std::function<void(std::string_view)>;
DebugSink SetDebugOutputSink(DebugSink sink);

// Registers fork handlers that keep debugger output usable in a child forked
// while another thread writes it. Idempotent. Code that writes debugger
// output under a lock of its own registers its handlers after this one, so
// that the locks are taken in the same order as elsewhere.
void KeepDebugOutputAcrossFork();

} // namespace olvani
