// Feeds arbitrary text to the hive parser. Text that parses must survive a
// round trip through the writer unchanged; text that does not must name a
// line inside the text.
#include "platform/registry_hive.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace olvani::registry;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Hive hive;
    ParseError error;
    if (!ParseHive(text, "HKEY_LOCAL_MACHINE", hive, error)) {
        size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (error.line < 1 || error.line > lines || error.message.empty())
            std::abort();
        return 0;
    }
    const std::string written = SerializeHive(hive, "HKEY_LOCAL_MACHINE");
    Hive again;
    if (!ParseHive(written, "HKEY_LOCAL_MACHINE", again, error))
        std::abort();
    if (SerializeHive(again, "HKEY_LOCAL_MACHINE") != written)
        std::abort();
    return 0;
}
