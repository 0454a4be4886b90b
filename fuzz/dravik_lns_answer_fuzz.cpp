// Any bytes are a list of ids or refused, and a list never holds more ids
// than the answer could describe.
#include "utils/lns_answer.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto ids = dravik::ParseLnsAnswer(body);
    if (ids && ids->size() > size / 8 + 1)
        abort();
    return 0;
}
