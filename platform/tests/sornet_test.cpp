#include "platform/sornet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

template <class T> std::u16string Rendered(std::u16string_view format, T value) {
    std::u16string out = u"<";
    int appended = fu_sprintf(out, format, value);
    EXPECT_EQ(appended, static_cast<int>(out.size()) - 1) << "format " << format.size();
    return out.substr(1);
}

std::u16string Excel(int32_t decimals, double value, int32_t layout, int32_t style = 1) {
    std::u16string out;
    EXPECT_GE(fu_ToExcel(out, decimals, value, layout, style), 0);
    return out;
}

} // namespace

TEST(Sprintf, RendersEachClassOfConversion) {
    EXPECT_EQ(Rendered(u"%.2f", 3.14159), u"3.14");
    EXPECT_EQ(Rendered(u"[%5d]", int32_t{42}), u"[   42]");
    EXPECT_EQ(Rendered(u"%x", int32_t{-1}), u"ffffffff");
    EXPECT_EQ(Rendered(u"%o", int32_t{8}), u"10");
    EXPECT_EQ(Rendered(u"%p", int32_t{255}), u"000000FF");
    EXPECT_EQ(Rendered(u"%c", int32_t{0x1263A}), u"\u263A");
    EXPECT_EQ(Rendered(u"%C", int32_t{0x1E9}), u"\u00E9");
    EXPECT_EQ(Rendered(u"%q|%%", 1.5), u"1.500000|%");
    EXPECT_EQ(Rendered(u"%Y", 1500.0), u"1.500000E+03");
    EXPECT_EQ(Rendered(u"%d", 2.5), u"2");
    EXPECT_EQ(Rendered(u"%.1f", int32_t{3}), u"3.0");
    EXPECT_EQ(Rendered(u"%-6s|", u"ab"), u"ab    |");
    EXPECT_EQ(Rendered(u"%.1s", u"\U0001F600x"), u"\U0001F600");
    EXPECT_EQ(Rendered(u"%S", "Gr\xC3\xBC\xC3\x9F"), u"Gr\u00FC\u00DF");
    EXPECT_EQ(Rendered(u"100% done", int32_t{0}), u"100% done");
}

TEST(Sprintf, GivesTheFullWidthWhereAFixedBufferWouldCut) {
    std::u16string wide = Rendered(u"%600s", u"x");
    EXPECT_EQ(wide.size(), 600u);
    EXPECT_EQ(wide.back(), u'x');
    EXPECT_EQ(Rendered(u"%.300f", 1.0).size(), 302u);
    EXPECT_EQ(Rendered(u"%f", 1e300).size(), 308u);
}

TEST(Sprintf, KeepsTheCLibraryToTheOneValueGiven) {
    // %n renders nothing and writes nowhere; modifiers and "*" never reach printf.
    int32_t count = 7;
    EXPECT_EQ(Rendered(u"a%nb", &count), u"ab");
    EXPECT_EQ(count, 7);
    EXPECT_EQ(Rendered(u"%I64d", int32_t{5}), u"5");
    EXPECT_EQ(Rendered(u"%lld", int32_t{-1}), u"-1");
    EXPECT_EQ(Rendered(u"%*d", int32_t{9}), u"9");
    EXPECT_EQ(Rendered(u"%ls", u"w"), u"w");

    std::u16string out = u"kept";
    EXPECT_EQ(fu_sprintf(out, u"%d and %d", int32_t{1}), -1);
    EXPECT_EQ(fu_sprintf(out, u"%d", u"text"), -1);
    EXPECT_EQ(fu_sprintf(out, u"%s", 1.0), -1);
    EXPECT_EQ(fu_sprintf(out, u"%3000000d", int32_t{1}), -1);
    EXPECT_EQ(fu_sprintf(out, u"%-", int32_t{1}), -1);
    EXPECT_EQ(out, u"kept");
}

TEST(ToExcel, LaysOutValuesAndTheirFormatCodes) {
    EXPECT_EQ(Excel(2, -1234.5, kExcelGrouped | kExcelParentheses), u"(1,234.50)");
    EXPECT_EQ(Excel(2, -1234.5, kExcelGrouped), u"-1,234.50");
    EXPECT_EQ(Excel(0, 1234567.0, kExcelGrouped), u"1,234,567");
    EXPECT_EQ(Excel(0, 999.0, kExcelGrouped), u"999");
    EXPECT_EQ(Excel(1, 0.125, kExcelPercent), u"12.5%");
    EXPECT_EQ(Excel(2, -0.001, 0), u"0.00");
    EXPECT_EQ(Excel(-1, 2.5, 0), u"2.5");
    EXPECT_EQ(Excel(2, std::nan(""), 0), u"#NUM!");
    EXPECT_EQ(Excel(2, std::numeric_limits<double>::infinity(), 0), u"#NUM!");
    EXPECT_EQ(Excel(2, 0, kExcelGrouped | kExcelParentheses, 0), u"#,##0.00;(#,##0.00)");
    EXPECT_EQ(Excel(0, 0, kExcelPercent, 0), u"0%");
    std::u16string out;
    EXPECT_EQ(fu_ToExcel(out, 2, 1.0, 0, 2), -1);
}
