// Debugger output. Goes to the system log (LOG_DEBUG) by default, to standard
// error when OLVANI_DEBUG_OUTPUT=stderr; tests install an in-process sink.
#pragma once

#include <functional>
#include <string_view>

void OutputDebugStringW(const char16_t* text);
void OutputDebugStringA(const char* text);

namespace olvani {

// Receives every debug string as UTF-8. Passing an empty function restores
// the default destination. Returns the previous sink.
using DebugSink = std::function<void(std::string_view)>;
DebugSink SetDebugOutputSink(DebugSink sink);

} // namespace olvani
