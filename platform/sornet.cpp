#include "platform/sornet.h"

#include "platform/strings.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <locale.h>
#include <optional>
#include <string>
#include <variant>

namespace {

constexpr std::u16string_view kLetters = u"cCdiouxXeEfgGnpsSyYzZqQ";
constexpr long kMaxWidth = 1L << 20;

// One conversion as the C library will see it.
struct Spec {
    std::string flags;
    long width = -1;
    long precision = -1;
    char16_t letter = 0;
    size_t begin = 0, end = 0; // of the whole spec in the format, end after the letter
};

using Value = std::variant<int32_t, double, std::u16string_view, std::monostate>;

// Digits at `at`; -1 when there are none, -2 when the number exceeds the limit.
long ReadNumber(std::u16string_view format, size_t& at) {
    long number = -1;
    while (at < format.size() && format[at] >= u'0' && format[at] <= u'9') {
        number = (number < 0 ? 0 : number) * 10 + (format[at++] - u'0');
        if (number > kMaxWidth)
            return -2;
    }
    return number;
}

// The conversion starting at the "%" at `at`, or nullopt without a letter.
std::optional<Spec> ParseSpec(std::u16string_view format, size_t at) {
    Spec spec;
    spec.begin = at++;
    while (at < format.size() &&
           std::u16string_view(u"-+ #0").find(format[at]) != std::u16string_view::npos)
        spec.flags += static_cast<char>(format[at++]);
    spec.width = ReadNumber(format, at);
    if (at < format.size() && format[at] == u'.') {
        ++at;
        spec.precision = ReadNumber(format, at);
        if (spec.precision == -1)
            spec.precision = 0;
    }
    if (spec.width == -2 || spec.precision == -2)
        return std::nullopt;
    while (at < format.size() && kLetters.find(format[at]) == std::u16string_view::npos)
        ++at; // modifiers: dropped
    if (at == format.size())
        return std::nullopt;
    spec.letter = format[at];
    spec.end = at + 1;
    return spec;
}

std::string NarrowSpec(const Spec& spec, char letter, const char* modifier = "") {
    std::string text = "%" + spec.flags;
    if (spec.width >= 0)
        text += std::to_string(spec.width);
    if (spec.precision >= 0)
        text += "." + std::to_string(spec.precision);
    return text + modifier + letter;
}

// Runs the C library in the "C" locale, whatever the program set.
class CLocale {
public:
    CLocale() {
        static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        previous_ = c ? uselocale(c) : locale_t(nullptr);
    }
    ~CLocale() {
        if (previous_)
            uselocale(previous_);
    }
    CLocale(const CLocale&) = delete;
    CLocale& operator=(const CLocale&) = delete;

private:
    locale_t previous_;
};

template <class T> bool RenderNumber(std::u16string& out, const std::string& spec, T value) {
    CLocale cLocale;
    char small[128];
    int length = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (length < 0)
        return false;
    std::string large;
    const char* text = small;
    if (static_cast<size_t>(length) >= sizeof small) {
        large.resize(static_cast<size_t>(length) + 1);
        std::snprintf(large.data(), large.size(), spec.c_str(), value);
        text = large.data();
    }
    out.append(text, text + length); // numbers in the "C" locale are ASCII
    return true;
}

void AppendUtf32(std::u16string& out, const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
    }
}

// Lone surrogates pass through as they are, so nothing is lost either way.
std::wstring ToUtf32(std::u16string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

// Text and characters through the wide printf, sized from what it will write.
bool RenderWide(std::u16string& out, const Spec& spec, const std::wstring& argument,
                bool character) {
    size_t shown = argument.size();
    if (spec.precision >= 0 && !character)
        shown = std::min(shown, static_cast<size_t>(spec.precision));
    size_t length = std::max(shown, static_cast<size_t>(std::max(spec.width, 0L)));
    std::wstring spec32;
    for (char c : NarrowSpec(spec, character ? 'c' : 's', "l"))
        spec32 += static_cast<wchar_t>(c);
    std::wstring buffer(length + 1, L'\0');
    CLocale cLocale;
    int written =
        character ? std::swprintf(buffer.data(), buffer.size(), spec32.c_str(),
                                  static_cast<wint_t>(argument[0]))
                  : std::swprintf(buffer.data(), buffer.size(), spec32.c_str(), argument.c_str());
    if (written < 0)
        return false;
    AppendUtf32(out, buffer.data(), static_cast<size_t>(written));
    return true;
}

std::optional<int32_t> AsInteger(const Value& value) {
    if (auto* i = std::get_if<int32_t>(&value))
        return *i;
    if (auto* d = std::get_if<double>(&value)) {
        double rounded = std::nearbyint(*d);
        if (!(rounded >= std::numeric_limits<int32_t>::min() &&
              rounded <= std::numeric_limits<int32_t>::max()))
            return std::nullopt;
        return static_cast<int32_t>(rounded);
    }
    return std::nullopt;
}

bool RenderConversion(std::u16string& out, const Spec& spec, const Value& value) {
    char16_t letter = spec.letter;
    if (letter == u'n')
        return true;
    bool plain = spec.flags.empty() && spec.width < 0 && spec.precision < 0;
    if (letter == u's' || letter == u'S') {
        auto* text = std::get_if<std::u16string_view>(&value);
        if (text && plain) { // printf would copy it unchanged
            out.append(*text);
            return true;
        }
        return text && RenderWide(out, spec, ToUtf32(*text), false);
    }
    if (std::u16string_view(u"eEfgGqQyYzZ").find(letter) != std::u16string_view::npos) {
        double number = 0;
        if (auto* d = std::get_if<double>(&value))
            number = *d;
        else if (auto* i = std::get_if<int32_t>(&value))
            number = *i;
        else
            return false;
        static constexpr std::u16string_view from = u"qQyYzZ", to = u"fFeEgG";
        size_t alias = from.find(letter);
        char c = static_cast<char>(alias == std::u16string_view::npos ? letter : to[alias]);
        return RenderNumber(out, NarrowSpec(spec, c), number);
    }
    std::optional<int32_t> integer = AsInteger(value);
    if (!integer)
        return false;
    if (letter == u'c' || letter == u'C') {
        uint32_t mask = letter == u'c' ? 0xFFFF : 0xFF;
        return RenderWide(out, spec, std::wstring(1, static_cast<wchar_t>(*integer & mask)), true);
    }
    if (letter == u'p') {
        Spec hex = spec;
        if (hex.precision < 0)
            hex.precision = 8;
        return RenderNumber(out, NarrowSpec(hex, 'X'), static_cast<uint32_t>(*integer));
    }
    if (plain && (letter == u'd' || letter == u'i')) { // the same digits printf gives
        char digits[16];
        char* end = std::to_chars(digits, digits + sizeof digits, *integer).ptr;
        out.append(digits, end);
        return true;
    }
    return RenderNumber(out, NarrowSpec(spec, static_cast<char>(letter)), *integer);
}

// Appends the literal text [from, to) with "%%" and a lone "%" as one "%".
void AppendLiteral(std::u16string& out, std::u16string_view format, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        out += format[i];
        if (format[i] == u'%' && i + 1 < to && format[i + 1] == u'%')
            ++i;
    }
}

// The next "%" that starts a conversion, from `at`; npos when none.
size_t NextConversion(std::u16string_view format, size_t at) {
    while ((at = format.find(u'%', at)) != std::u16string_view::npos) {
        if (at + 1 == format.size() || format[at + 1] == u' ')
            ++at;
        else if (format[at + 1] == u'%')
            at += 2;
        else
            return at;
    }
    return at;
}

int Format(std::u16string& out, std::u16string_view format, const Value& value) {
    size_t size = out.size();
    size_t at = NextConversion(format, 0);
    std::optional<Spec> spec;
    if (at != std::u16string_view::npos) {
        spec = ParseSpec(format, at);
        if (!spec || NextConversion(format, spec->end) != std::u16string_view::npos)
            return -1;
    }
    AppendLiteral(out, format, 0, spec ? spec->begin : format.size());
    if (spec) {
        if (!RenderConversion(out, *spec, value)) {
            out.resize(size);
            return -1;
        }
        AppendLiteral(out, format, spec->end, format.size());
    }
    return static_cast<int>(out.size() - size);
}

} // namespace

int fu_sprintf(std::u16string& out, std::u16string_view format, int32_t value) {
    return Format(out, format, value);
}

int fu_sprintf(std::u16string& out, std::u16string_view format, double value) {
    return Format(out, format, value);
}

int fu_sprintf(std::u16string& out, std::u16string_view format, const int32_t* count) {
    return Format(out, format, count ? Value(*count) : Value(std::monostate()));
}

int fu_sprintf(std::u16string& out, std::u16string_view format, const char16_t* text) {
    return Format(out, format, std::u16string_view(text ? text : u""));
}

int fu_sprintf(std::u16string& out, std::u16string_view format, const char* text) {
    std::u16string wide = olvani::Utf8ToUtf16(text ? text : "");
    return Format(out, format, std::u16string_view(wide));
}

namespace {

std::string GroupThousands(const std::string& digits) {
    size_t point = digits.find_first_of(".eE");
    if (point == std::string::npos)
        point = digits.size();
    if (digits.find_first_of("eE") != std::string::npos)
        return digits; // a number in exponent form keeps its shape
    std::string grouped;
    for (size_t i = 0; i < point; ++i) {
        if (i > 0 && (point - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped + digits.substr(point);
}

std::string ExcelText(int32_t decimals, double value, int32_t layout) {
    if (!std::isfinite(value) || (layout & kExcelPercent && !std::isfinite(value * 100)))
        return "#NUM!";
    if (layout & kExcelPercent)
        value *= 100;
    char buffer[400];
    if (decimals >= 0)
        std::snprintf(buffer, sizeof buffer, "%.*f", std::min(decimals, 15), std::fabs(value));
    else
        std::snprintf(buffer, sizeof buffer, "%.15G", std::fabs(value));
    std::string magnitude = buffer;
    if (layout & kExcelGrouped)
        magnitude = GroupThousands(magnitude);
    if (layout & kExcelPercent)
        magnitude += '%';
    bool zero = magnitude.find_first_of("123456789") == std::string::npos;
    if (value >= 0 || zero)
        return magnitude;
    return layout & kExcelParentheses ? "(" + magnitude + ")" : "-" + magnitude;
}

std::string ExcelCode(int32_t decimals, int32_t layout) {
    if (decimals < 0)
        return "General";
    std::string code = layout & kExcelGrouped ? "#,##0" : "0";
    if (decimals > 0)
        code += "." + std::string(static_cast<size_t>(std::min(decimals, 15)), '0');
    if (layout & kExcelPercent)
        code += '%';
    if (layout & kExcelParentheses)
        code += ";(" + code + ")";
    return code;
}

} // namespace

int fu_ToExcel(std::u16string& out, int32_t decimals, double value, int32_t layout, int32_t style) {
    if (style != 0 && style != 1)
        return -1;
    std::string text;
    {
        CLocale cLocale;
        text = style == 1 ? ExcelText(decimals, value, layout) : ExcelCode(decimals, layout);
    }
    out.append(text.begin(), text.end());
    return static_cast<int>(text.size());
}
