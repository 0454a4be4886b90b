// The format parser on its own: where specs start and end, which positions
// count, and the argument order a format asks for.
#include "events/conversion.h"
#include "events/format_parser.h"
#include "trace/client/module_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

ModuleTraceObject g_moduleTrace(u"QuessaTest");

namespace quessa {
namespace {

// Each spec as "[text]" with its position, literals as "[%]".
std::vector<std::u16string> Specs(std::u16string_view text) {
    std::vector<std::u16string> found;
    FormatSpec spec;
    SpecScan scan;
    for (size_t at = 0; FindFormatSpec(text, at, spec, scan); at = spec.end) {
        std::u16string item(text.substr(spec.begin, spec.end - spec.begin));
        if (!spec.literal)
            item += u"@" + std::u16string(1, static_cast<char16_t>(u'0' + spec.position % 10));
        found.push_back(item);
    }
    return found;
}

using List = std::vector<std::u16string>;

TEST(FormatSpecTest, FindsConversionsPositionsAndLiterals) {
    EXPECT_EQ(Specs(u"#2%s copied to #1%s"), (List{u"#2%s@2", u"#1%s@1"}));
    EXPECT_EQ(Specs(u"x#12%d"), (List{u"#12%d@2"}));
    EXPECT_EQ(Specs(u"#05%d"), (List{u"#05%d@5"}));
    // A '#' three back that is not followed by two digits gives no position.
    EXPECT_EQ(Specs(u"#x1%d"), (List{u"%d@0"}));
    EXPECT_EQ(Specs(u"100%% done"), (List{u"%%"}));
    EXPECT_EQ(Specs(u"100% done"), (List{u"%"}));
    EXPECT_EQ(Specs(u"end%"), (List{u"%"}));
    EXPECT_EQ(Specs(u"50%off"), (List{u"%o@0"}));
    EXPECT_EQ(Specs(u"%-10.3ld|"), (List{u"%-10.3ld@0"}));
}

TEST(FormatSpecTest, ALetterMoreThanElevenAwayLeavesThePercentAsText) {
    EXPECT_EQ(Specs(u"%1234567890d"), (List{u"%1234567890d@0"})); // 11 away
    EXPECT_EQ(Specs(u"%12345678901d"), List{});                   // 12 away
    EXPECT_EQ(Specs(u"%12345678901d %%"), (List{u"%%"}));         // scanning goes on
    // No conversion letter after the '%' at all ends the search.
    EXPECT_EQ(Specs(u"%1 %%"), List{});
}

TEST(FormatSpecTest, TypeArrayFollowsPositionsAndRefusesBadOnes) {
    FormatTypes types;
    ASSERT_EQ(GetFmtTypeArray(u"#3%f #1%s #2%d", types), S_OK);
    EXPECT_EQ(types.letters, u"sdf");
    EXPECT_TRUE(types.positional);
    ASSERT_EQ(GetFmtTypeArray(u"%f %s %% %d", types), S_OK);
    EXPECT_EQ(types.letters, u"fsd");
    EXPECT_FALSE(types.positional);

    EXPECT_EQ(GetFmtTypeArray(u"#1%d and %d", types), E_INVALIDARG);
    EXPECT_EQ(GetFmtTypeArray(u"#1%d #3%d", types), E_INVALIDARG);
    EXPECT_EQ(GetFmtTypeArray(u"#1%d #1%d", types), E_INVALIDARG);
    EXPECT_EQ(GetFmtTypeArray(u"#2%d #2%d #3%d", types), E_INVALIDARG);
}

std::u16string Safe(std::u16string_view spec) {
    return MakeSafeConversion(spec).text;
}

TEST(ConversionTest, OnlyFlagsWidthAndPrecisionReachTheCLibrary) {
    EXPECT_EQ(Safe(u"%-08.3f"), u"%-08.3f");
    EXPECT_EQ(Safe(u"%*d"), u"%d");
    EXPECT_EQ(Safe(u"%2$s"), u"%2s");
    EXPECT_EQ(Safe(u"%I64d"), u"%d");
    EXPECT_EQ(Safe(u"%lld"), u"%d");
    EXPECT_EQ(Safe(u"%Lf"), u"%f");
    EXPECT_EQ(Safe(u"%hhx"), u"%x");
    EXPECT_EQ(Safe(u"%hs"), u"%s");
    EXPECT_EQ(Safe(u"%.f"), u"%.0f");
    EXPECT_EQ(Safe(u"%----+d"), u"%-+d");
    EXPECT_EQ(Safe(u"%99999.99999s"), u"%1024.1024s");
}

} // namespace
} // namespace quessa
