// Feeds arbitrary UTF-16 text to the TraceKey parser, filters a module name
// taken from the same input, and formats a record from it, checking what
// must hold for any input.
#include "trace/trace_keys.h"
#include "trace/trace_record.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6)
        return 0;
    int32_t depth;
    std::memcpy(&depth, data, sizeof depth);
    uint8_t split = data[4];
    data += 5;
    size -= 5;
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), data, text.size() * 2);
    size_t cut = text.empty() ? 0 : split % (text.size() + 1);
    std::u16string keys = text.substr(0, cut), name = text.substr(cut);

    morvale::TraceKeyList list;
    list.Parse(keys);
    if (list.Keys().size() > morvale::kMaxTraceKeys)
        std::abort();
    for (const auto& key : list.Keys())
        if (key.empty() || key.find_first_of(u", \n") != std::u16string::npos)
            std::abort();
    list.Selects(name);

    static morvale::RecordBuffer buffer;
    static char encoded[morvale::kEncodedCapacity];
    morvale::RecordInput input;
    input.module = name;
    input.kind = static_cast<morvale::RecordKind>(split % 3);
    input.level = depth;
    input.text = keys;
    auto result = morvale::FormatRecord(buffer, input, depth);
    if (buffer.View().size() >= morvale::kRecordCapacity)
        std::abort();
    if (result == morvale::RecordResult::Complete && buffer.View().back() != u'\n')
        std::abort();
    if (morvale::EncodeForFile(buffer.View(), encoded) > morvale::kEncodedCapacity)
        std::abort();
    return 0;
}
