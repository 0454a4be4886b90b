#include "debugout.h"

#include "platform/strings.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
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
    const char* where = std::getenv("OLVANI_DEBUG_OUTPUT");
    return where && std::strcmp(where, "stderr") == 0;
}

void Emit(std::string_view text) {
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

} // namespace

DebugSink SetDebugOutputSink(DebugSink sink) {
    std::lock_guard lock(sinkMutex);
    DebugSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

} // namespace olvani

void OutputDebugStringW(const char16_t* text) {
    olvani::Emit(olvani::Utf16ToUtf8(text ? std::u16string_view(text) : std::u16string_view()));
}

void OutputDebugStringA(const char* text) {
    olvani::Emit(text ? std::string_view(text) : std::string_view());
}
