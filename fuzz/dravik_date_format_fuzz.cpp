// Any date format splits into pieces that put together give it back, and
// fields are read from any text without reading past its end.
#include "utils/date_format.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The format, a NUL byte, then the text.
    size_t split = 0;
    while (split < size && data[split] != 0)
        ++split;
    const std::u16string format(data, data + split);
    const std::u16string text(data + (split < size ? split + 1 : size), data + size);
    const dravik::DateFormatParts parts = dravik::SplitDateFormat(format);
    if (parts.hasLetters) {
        const std::u16string joined =
            parts.timeFirst ? std::u16string(parts.timePart) + std::u16string(parts.separator) +
                                  std::u16string(parts.datePart)
                            : std::u16string(parts.datePart) + std::u16string(parts.separator) +
                                  std::u16string(parts.timePart);
        if (joined != format)
            abort();
    }
    // Each field comes from at most four characters of the text.
    const SYSTEMTIME fields = dravik::ReadDateFields(format, text);
    if (fields.wYear > 9999 || fields.wMonth > 99 || fields.wDay > 99 || fields.wSecond > 99)
        abort();
    return 0;
}
