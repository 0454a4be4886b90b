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

} // namespace
} // namespace morvale
