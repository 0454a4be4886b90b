#include "platform/strings.h"

namespace olvani {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i]; advances i. Returns false for an
// ill-formed sequence (i then moves past the maximal bad prefix, at least 1).
bool DecodeUtf8(std::string_view text, size_t& i, char32_t& out) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        out = lead;
        ++i;
        return true;
    }
    size_t need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            lo = 0xA0;
        if (lead == 0xED)
            hi = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0)
            lo = 0x90;
        if (lead == 0xF4)
            hi = 0x8F;
    } else {
        ++i;
        return false;
    }
    size_t k = i + 1;
    for (size_t n = 0; n < need; ++n, ++k) {
        if (k >= text.size()) {
            i = k;
            return false;
        }
        unsigned char c = byte(k);
        unsigned char l = n == 0 ? lo : 0x80, h = n == 0 ? hi : 0xBF;
        if (c < l || c > h) {
            i = k;
            return false;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i = k;
    out = cp;
    return true;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one code point of UTF-16 at text[i]; false for a lone surrogate.
bool DecodeUtf16(std::u16string_view text, size_t& i, char32_t& out) {
    char16_t u = text[i++];
    if (u < 0xD800 || u > 0xDFFF) {
        out = u;
        return true;
    }
    if (u <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        out = 0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (text[i] - 0xDC00));
        ++i;
        return true;
    }
    return false;
}

template <class In, class Out, class Decode, class Append>
std::optional<Out> Convert(In text, bool strict, size_t* errorOffset, Decode decode,
                           Append append) {
    Out out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        char32_t cp;
        if (!decode(text, i, cp)) {
            if (strict) {
                if (errorOffset)
                    *errorOffset = start;
                return std::nullopt;
            }
            cp = kReplacement;
        }
        append(out, cp);
    }
    return out;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
    return *Convert<std::string_view, std::u16string>(text, false, nullptr, DecodeUtf8,
                                                      AppendUtf16);
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return *Convert<std::u16string_view, std::string>(text, false, nullptr, DecodeUtf16,
                                                      AppendUtf8);
}

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text, size_t* errorOffset) {
    return Convert<std::string_view, std::u16string>(text, true, errorOffset, DecodeUtf8,
                                                     AppendUtf16);
}

std::optional<std::string> Utf16ToUtf8Strict(std::u16string_view text, size_t* errorOffset) {
    return Convert<std::u16string_view, std::string>(text, true, errorOffset, DecodeUtf16,
                                                     AppendUtf8);
}

bool AsciiEqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

size_t U16Length(const char16_t* text) {
    size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}

} // namespace olvani
