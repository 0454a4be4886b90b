#include "debugout.h"

#include "platform/strings.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <string>
#include <syslog.h>
#include <unistd.h>

namespace olvani {
namespace {

std::mutex sinkMutex;
DebugSink& Sink() {
    static DebugSink sink;
    return sink;
}

bool ToStderr() {
    // Not for a program that runs with more rights than its caller.
    const char* where = ::secure_getenv("OLVANI_DEBUG_OUTPUT");
    return where && std::strcmp(where, "stderr") == 0;
}

void EmitOrThrow(std::string_view text) {
    {
        std::lock_guard lock(sinkMutex);
        if (Sink()) {
            Sink()(text);
            return;
        }
    }
    if (ToStderr()) {
        // One write per string keeps lines from several threads whole.
        std::string line(text);
        if (line.empty() || line.back() != '\n')
            line.push_back('\n');
        ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
        (void)ignored;
    } else {
        ::syslog(LOG_DEBUG, "%.*s", static_cast<int>(text.size()), text.data());
    }
}

// Debugger output never fails its caller, not even when memory runs out.
void Emit(std::string_view text) noexcept {
    try {
        EmitOrThrow(text);
    } catch (...) {
    }
}

} // namespace

void KeepDebugOutputAcrossFork() {
    static const bool registered = [] {
        ::pthread_atfork([] { sinkMutex.lock(); }, [] { sinkMutex.unlock(); },
                         [] { sinkMutex.unlock(); });
        return true;
    }();
    (void)registered;
}

DebugSink SetDebugOutputSink(DebugSink sink) {
    std::lock_guard lock(sinkMutex);
    DebugSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

} // namespace olvani

void OutputDebugStringW(const char16_t* text) noexcept {
    try {
        olvani::Emit(olvani::Utf16ToUtf8(text ? std::u16string_view(text) : std::u16string_view()));
    } catch (...) {
    }
}

void OutputDebugStringA(const char* text) noexcept {
    olvani::Emit(text ? std::string_view(text) : std::string_view());
}
