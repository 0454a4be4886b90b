// Input: one byte choosing the value's type, eight bytes of value, then the
// format as UTF-16 code units.
#include "platform/sornet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9)
        return 0;
    uint8_t kind = data[0];
    uint64_t bits;
    std::memcpy(&bits, data + 1, sizeof bits);
    std::u16string format((size - 9) / 2, u'\0');
    std::memcpy(format.data(), data + 9, format.size() * 2);

    std::u16string out = u"prefix";
    int appended = 0;
    int32_t integer = static_cast<int32_t>(bits);
    double number;
    std::memcpy(&number, &bits, sizeof number);
    const int32_t guard = integer;
    std::u16string text(static_cast<size_t>(bits % 64), u'\u00E9');
    switch (kind % 5) {
    case 0:
        appended = fu_sprintf(out, format, integer);
        break;
    case 1:
        appended = fu_sprintf(out, format, number);
        break;
    case 2:
        appended = fu_sprintf(out, format, &integer);
        break;
    case 3:
        appended = fu_sprintf(out, format, text.c_str());
        break;
    default:
        appended = fu_sprintf(out, format, "na\xC3\xAFve");
        break;
    }
    if (integer != guard)
        std::abort(); // %n wrote through the value
    if (appended < 0 ? out != u"prefix" : out.size() != 6 + static_cast<size_t>(appended))
        std::abort();
    std::u16string excel;
    if (fu_ToExcel(excel, integer % 40 - 20, number, static_cast<int32_t>(kind), kind % 3) >= 0 &&
        excel.empty())
        std::abort();
    return 0;
}
