// Feeds an arbitrary format and variant array to the message builder. The
// input is: one byte with the number of values (low 3 bits), each value as a
// type byte and its payload, then the format as UTF-16.
#include "events/format_parser.h"
#include "events/message_builder.h"
#include "trace/client/module_trace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

ModuleTraceObject g_moduleTrace(u"FuzzQuessa");

namespace {

struct Input {
    const uint8_t* data;
    size_t size;

    bool Take(void* out, size_t bytes) {
        if (size < bytes)
            return false;
        std::memcpy(out, data, bytes);
        data += bytes;
        size -= bytes;
        return true;
    }
};

// One value of any of the types a caller may put in the array.
VARIANT ReadValue(Input& in) {
    VARIANT value;
    VariantInit(&value);
    uint8_t type = 0;
    in.Take(&type, 1);
    switch (type % 4) {
    case 1:
        value.vt = VT_I4;
        in.Take(&value.lVal, sizeof value.lVal);
        break;
    case 2:
        value.vt = VT_R8;
        in.Take(&value.dblVal, sizeof value.dblVal);
        break;
    case 3: {
        uint8_t length = 0;
        in.Take(&length, 1);
        std::u16string text(length % 16, u'\0');
        in.Take(text.data(), text.size() * 2);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        break;
    }
    default:
        break; // VT_EMPTY
    }
    return value;
}

// What must hold for every spec the parser finds.
void CheckSpecs(std::u16string_view format) {
    quessa::FormatSpec spec;
    quessa::SpecScan scan;
    size_t at = 0;
    while (quessa::FindFormatSpec(format, at, spec, scan)) {
        if (spec.begin < at || spec.begin > spec.percent || spec.end <= spec.percent ||
            spec.end > format.size() || format[spec.percent] != u'%')
            std::abort();
        if (!spec.literal && (spec.end - 1 - spec.percent > quessa::kMaxSpecGap ||
                              quessa::ClassOfLetter(spec.letter) == quessa::ArgClass::None ||
                              spec.position < 0 || spec.position > 99))
            std::abort();
        at = spec.end;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    uint8_t count = 0;
    in.Take(&count, 1);
    count &= 7;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
    for (LONG i = 0; i < count; ++i) {
        VARIANT value = ReadValue(in);
        SafeArrayPutElement(array, &i, &value);
        VariantClear(&value);
    }
    std::u16string format(in.size / 2, u'\0');
    std::memcpy(format.data(), in.data, format.size() * 2);
    CheckSpecs(format);

    VARIANT arguments;
    VariantInit(&arguments);
    arguments.vt = VT_ARRAY | VT_VARIANT;
    arguments.parray = array;
    std::u16string out;
    HRESULT hr = quessa::SubstituteVBArgs(format, &arguments, out);
    quessa::FormatTypes types;
    bool valid = SUCCEEDED(quessa::GetFmtTypeArray(format, types));
    // A format the parser refuses is never built; a built one had enough values.
    if (SUCCEEDED(hr) && (!valid || types.letters.size() > count))
        std::abort();
    VariantClear(&arguments);
    return 0;
}
