#include "trace/client/wide_format.h"

#include "platform/strings.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace morvale {
namespace {

// Collects the output, counting what does not fit.
class Output {
public:
    Output(char16_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
    void Put(char16_t c) {
        if (length_ + 1 < capacity_)
            out_[length_] = c;
        ++length_;
    }
    void Put(std::u16string_view text) {
        for (char16_t c : text)
            Put(c);
    }
    void Pad(size_t count) {
        for (size_t i = 0; i < count; ++i)
            Put(u' ');
    }
    size_t Finish() {
        if (capacity_ > 0)
            out_[length_ < capacity_ ? length_ : capacity_ - 1] = 0;
        return length_;
    }

private:
    char16_t* out_;
    size_t capacity_;
    size_t length_ = 0;
};

enum class Size { Default, Char, Short, Long32, Long64, Pointer, LongDouble };

struct Spec {
    std::string flags;
    int width = -1;
    int precision = -1;
    bool leftAlign = false;
    Size size = Size::Default;
};

bool IsFlag(char16_t c) {
    return c == u'-' || c == u'+' || c == u' ' || c == u'#' || c == u'0';
}

int ReadNumber(const char16_t*& p) {
    long value = 0;
    while (*p >= u'0' && *p <= u'9') {
        if (value < 1000000)
            value = value * 10 + (*p - u'0');
        ++p;
    }
    return static_cast<int>(value);
}

Size ReadSize(const char16_t*& p) {
    if (p[0] == u'h' && p[1] == u'h')
        return p += 2, Size::Char;
    if (p[0] == u'l' && p[1] == u'l')
        return p += 2, Size::Long64;
    if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4')
        return p += 3, Size::Long64;
    if (p[0] == u'I' && p[1] == u'3' && p[2] == u'2')
        return p += 3, Size::Long32;
    switch (*p) {
    case u'h':
        return ++p, Size::Short;
    case u'l':
    case u'w':
        return ++p, Size::Long32;
    case u'L':
        return ++p, Size::LongDouble;
    case u'j':
    case u'q':
        return ++p, Size::Long64;
    case u'I':
    case u'z':
    case u't':
        return ++p, Size::Pointer;
    default:
        return Size::Default;
    }
}

// Lets the C library format one number, then widens the ASCII result.
void PutNumber(Output& out, const Spec& spec, char conversion, const char* length, auto value) {
    std::string format = "%" + spec.flags;
    if (spec.leftAlign)
        format += '-';
    if (spec.width >= 0)
        format += std::to_string(spec.width);
    if (spec.precision >= 0) {
        // Appended in two steps: "." + a temporary string makes g++ 12 warn
        // of an overlapping copy that cannot happen (-Wrestrict).
        format += '.';
        format += std::to_string(spec.precision);
    }
    format += length;
    format += conversion;
    char small[128];
    int n = std::snprintf(small, sizeof small, format.c_str(), value);
    if (n < 0)
        return;
    std::string large;
    const char* text = small;
    if (static_cast<size_t>(n) >= sizeof small) {
        large.resize(static_cast<size_t>(n) + 1);
        std::snprintf(large.data(), large.size(), format.c_str(), value);
        text = large.c_str();
    }
    for (int i = 0; i < n; ++i)
        out.Put(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
}

void PutPadded(Output& out, const Spec& spec, std::u16string_view text) {
    if (spec.precision >= 0 && text.size() > static_cast<size_t>(spec.precision))
        text = text.substr(0, static_cast<size_t>(spec.precision));
    size_t pad = spec.width > 0 && text.size() < static_cast<size_t>(spec.width)
                     ? static_cast<size_t>(spec.width) - text.size()
                     : 0;
    if (!spec.leftAlign)
        out.Pad(pad);
    out.Put(text);
    if (spec.leftAlign)
        out.Pad(pad);
}

void PutSignedArg(Output& out, const Spec& spec, char conversion, va_list& args) {
    switch (spec.size) {
    case Size::Long64:
        PutNumber(out, spec, conversion, "ll", va_arg(args, long long));
        break;
    case Size::Pointer:
        PutNumber(out, spec, conversion, "t", va_arg(args, ptrdiff_t));
        break;
    case Size::Short:
        PutNumber(out, spec, conversion, "h", va_arg(args, int));
        break;
    case Size::Char:
        PutNumber(out, spec, conversion, "hh", va_arg(args, int));
        break;
    default:
        PutNumber(out, spec, conversion, "", va_arg(args, int));
        break;
    }
}

void PutUnsignedArg(Output& out, const Spec& spec, char conversion, va_list& args) {
    switch (spec.size) {
    case Size::Long64:
        PutNumber(out, spec, conversion, "ll", va_arg(args, unsigned long long));
        break;
    case Size::Pointer:
        PutNumber(out, spec, conversion, "z", va_arg(args, size_t));
        break;
    case Size::Short:
        PutNumber(out, spec, conversion, "h", va_arg(args, unsigned));
        break;
    case Size::Char:
        PutNumber(out, spec, conversion, "hh", va_arg(args, unsigned));
        break;
    default:
        PutNumber(out, spec, conversion, "", va_arg(args, unsigned));
        break;
    }
}

// One conversion after its '%'; `p` points at the conversion character.
void PutConversion(Output& out, Spec& spec, const char16_t* p, va_list& args) {
    switch (*p) {
    case u'd':
    case u'i':
        PutSignedArg(out, spec, static_cast<char>(*p), args);
        break;
    case u'u':
    case u'o':
    case u'x':
    case u'X':
        PutUnsignedArg(out, spec, static_cast<char>(*p), args);
        break;
    case u'e':
    case u'E':
    case u'f':
    case u'F':
    case u'g':
    case u'G':
    case u'a':
    case u'A':
        if (spec.size == Size::LongDouble)
            PutNumber(out, spec, static_cast<char>(*p), "L", va_arg(args, long double));
        else
            PutNumber(out, spec, static_cast<char>(*p), "", va_arg(args, double));
        break;
    case u'p': {
        // Pointers print as the traced code expects: all hex digits, upper case.
        Spec pointer = spec;
        pointer.precision = 2 * static_cast<int>(sizeof(void*));
        PutNumber(out, pointer, 'X', "j",
                  static_cast<uintmax_t>(reinterpret_cast<uintptr_t>(va_arg(args, void*))));
        break;
    }
    case u'c':
    case u'C': {
        bool narrow = *p == u'C' ? spec.size != Size::Long32 : spec.size == Size::Short;
        int c = va_arg(args, int);
        char16_t unit = narrow ? static_cast<char16_t>(static_cast<unsigned char>(c))
                               : static_cast<char16_t>(c);
        spec.precision = -1;
        PutPadded(out, spec, std::u16string_view(&unit, 1));
        break;
    }
    case u's':
    case u'S': {
        bool narrow = *p == u'S' ? spec.size != Size::Long32 : spec.size == Size::Short;
        if (narrow) {
            const char* text = va_arg(args, const char*);
            PutPadded(out, spec, olvani::Utf8ToUtf16(text ? text : "(null)"));
        } else {
            const char16_t* text = va_arg(args, const char16_t*);
            PutPadded(out, spec, text ? text : u"(null)");
        }
        break;
    }
    case u'n':
        // Writing through an argument is refused; the pointer is skipped.
        (void)va_arg(args, void*);
        break;
    default:
        break;
    }
}

} // namespace

size_t FormatWide(char16_t* out, size_t capacity, const char16_t* format, va_list args) {
    Output output(out, capacity);
    va_list ap;
    va_copy(ap, args);
    for (const char16_t* p = format; p && *p; ++p) {
        if (*p != u'%') {
            output.Put(*p);
            continue;
        }
        const char16_t* start = p++;
        if (*p == u'%') {
            output.Put(u'%');
            continue;
        }
        Spec spec;
        for (; IsFlag(*p); ++p) {
            if (*p == u'-')
                spec.leftAlign = true;
            else
                spec.flags += static_cast<char>(*p);
        }
        if (*p == u'*') {
            ++p;
            spec.width = va_arg(ap, int);
            if (spec.width < 0) {
                spec.leftAlign = true;
                spec.width = spec.width == INT32_MIN ? 0 : -spec.width;
            }
        } else if (*p >= u'0' && *p <= u'9') {
            spec.width = ReadNumber(p);
        }
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                spec.precision = va_arg(ap, int);
            } else {
                spec.precision = ReadNumber(p);
            }
            if (spec.precision < 0)
                spec.precision = -1;
        }
        spec.size = ReadSize(p);
        bool known = *p && std::u16string_view(u"diuoxXeEfFgGaApcCsSn").find(*p) !=
                               std::u16string_view::npos;
        if (!known) {
            // Not a conversion: shown as written.
            for (const char16_t* q = start; q < p; ++q)
                output.Put(*q);
            if (!*p)
                break;
            output.Put(*p);
            continue;
        }
        PutConversion(output, spec, p, ap);
    }
    va_end(ap);
    return output.Finish();
}

} // namespace morvale
