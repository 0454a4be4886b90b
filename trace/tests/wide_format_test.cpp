#include "trace/client/wide_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace morvale {
namespace {

std::u16string Format(size_t capacity, size_t* length, const char16_t* format, ...) {
    std::u16string out(capacity, u'#');
    va_list args;
    va_start(args, format);
    *length = FormatWide(out.data(), capacity, format, args);
    va_end(args);
    return std::u16string(out.c_str());
}

template <class... Args> std::u16string Format(const char16_t* format, Args... args) {
    size_t length = 0;
    std::u16string out = Format(512, &length, format, args...);
    EXPECT_EQ(length, out.size());
    return out;
}

TEST(WideFormat, StringsFollowTheWideConventions) {
    EXPECT_EQ(Format(u"Can't open registry key '%s\\%s'.", u"SOFTWARE", u"K\u00e9y"),
              u"Can't open registry key 'SOFTWARE\\K\u00e9y'.");
    EXPECT_EQ(Format(u"%S|%hs|%ls|%ws", "n\xC3\xA4rrow", "h", u"l", u"w"), u"n\u00e4rrow|h|l|w");
    EXPECT_EQ(Format(u"[%-6s][%6s][%.2s]", u"ab", u"cd", u"efgh"), u"[ab    ][    cd][ef]");
    EXPECT_EQ(Format(u"%c%C%lc", u'\u00e9', 'x', u'y'), u"\u00e9xy");
    EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
}

TEST(WideFormat, IntegersTakeThe32BitLong) {
    const int32_t last = -5;
    EXPECT_EQ(Format(u"Last error = %d", 5), u"Last error = 5");
    // A LONG passed with %ld must not pull in 64 bits.
    EXPECT_EQ(Format(u"%ld %s", last, u"next"), u"-5 next");
    EXPECT_EQ(Format(u"HRESULT=0x%x", static_cast<uint32_t>(0x80070057u)), u"HRESULT=0x80070057");
    EXPECT_EQ(Format(u"%08X|%lld|%I64u|%zu", 0xBEEFu, -1234567890123LL,
                     static_cast<uint64_t>(1) << 40, static_cast<size_t>(7)),
              u"0000BEEF|-1234567890123|1099511627776|7");
    EXPECT_EQ(Format(u"%*d|%-*d|%.3f|%5.1e", 4, 7, 3, 8, 2.5, 1500.0), u"   7|8  |2.500|1.5e+03");
    EXPECT_EQ(Format(u"100%% %q %"), u"100% %q %");
}

TEST(WideFormat, CutsToTheCapacity) {
    size_t length = 0;
    std::u16string out = Format(8, &length, u"%s", u"0123456789");
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(out, u"0123456");
    out = Format(8, &length, u"%s", u"0123456");
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(out, u"0123456");
}

} // namespace
} // namespace morvale
