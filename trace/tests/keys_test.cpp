#include "trace/trace_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace morvale {
namespace {

TEST(TraceKeys, SeparatorsAndRuns) {
    TraceKeyList list;
    list.Parse(u",,dravik,,  VeskEvents \n\nBootpSettings,");
    EXPECT_EQ(list.Keys(),
              (std::vector<std::u16string>{u"dravik", u"VeskEvents", u"BootpSettings"}));
    // Tabs and carriage returns belong to the names.
    list.Parse(u"a\tb\r\nc");
    EXPECT_EQ(list.Keys(), (std::vector<std::u16string>{u"a\tb\r", u"c"}));
    list.Parse(u" , \n");
    EXPECT_TRUE(list.Keys().empty());
}

TEST(TraceKeys, KeepsTheFirstFifty) {
    std::u16string text;
    for (int i = 0; i < 60; ++i)
        text += u"k" + std::u16string(1, static_cast<char16_t>(u'A' + i)) + u",";
    TraceKeyList list;
    list.Parse(text);
    ASSERT_EQ(list.Keys().size(), kMaxTraceKeys);
    EXPECT_EQ(list.Keys().back(), u"k" + std::u16string(1, static_cast<char16_t>(u'A' + 49)));
}

TEST(TraceKeys, FilterListsAndExcludes) {
    TraceKeyList list;
    // Empty list: only a module named TRACE.
    EXPECT_FALSE(list.Selects(u"dravik"));
    EXPECT_TRUE(list.Selects(u"trace"));

    list.Parse(u"DRAVIK,VeskEvents");
    EXPECT_TRUE(list.Selects(u"dravik"));
    EXPECT_TRUE(list.Selects(u"veskevents"));
    EXPECT_FALSE(list.Selects(u"drav"));
    EXPECT_FALSE(list.Selects(u"BootpSettings"));
    EXPECT_TRUE(list.Selects(u"TRACE"));

    // A leading "*" excludes the listed ones, and TRACE too.
    list.Parse(u"*,dravik");
    EXPECT_FALSE(list.Selects(u"dravik"));
    EXPECT_TRUE(list.Selects(u"VeskEvents"));
    EXPECT_FALSE(list.Selects(u"Trace"));

    // Anywhere else "*" is an ordinary name.
    list.Parse(u"dravik,*");
    EXPECT_TRUE(list.Selects(u"dravik"));
    EXPECT_TRUE(list.Selects(u"*"));
    EXPECT_FALSE(list.Selects(u"VeskEvents"));
}

TEST(TraceKeys, CaseFoldingIsAsciiOnly) {
    EXPECT_TRUE(EqualsIgnoreCase(u"AbC", u"aBc"));
    EXPECT_FALSE(EqualsIgnoreCase(u"\u00c9", u"\u00e9"));
    EXPECT_FALSE(EqualsIgnoreCase(u"ab", u"abc"));
}

} // namespace
} // namespace morvale
