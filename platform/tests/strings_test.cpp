#include "platform/strings.h"

#include <gtest/gtest.h>

using namespace olvani;

TEST(Strings, RoundTripsAsciiBmpAndAstralText) {
    const std::string text = "Olvani \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, u"Olvani \u00e9t\u00e9 \u20ac \U0001F600");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Strings, BrokenUtf8BecomesReplacementOrError) {
    // Truncated sequence, stray continuation byte, overlong form, surrogate.
    EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\x80x"), u"\uFFFDx");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    size_t offset = 99;
    EXPECT_FALSE(Utf8ToUtf16Strict("ok\xFFno", &offset));
    EXPECT_EQ(offset, 2u);
    EXPECT_TRUE(Utf8ToUtf16Strict("fine"));
}

TEST(Strings, LoneSurrogatesBecomeReplacementOrError) {
    std::u16string lone = u"a";
    lone.push_back(char16_t(0xD800));
    lone += u"b";
    EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD"
                                 "b");
    size_t offset = 0;
    EXPECT_FALSE(Utf16ToUtf8Strict(lone, &offset));
    EXPECT_EQ(offset, 1u);
    std::u16string trailing(1, char16_t(0xDC00));
    EXPECT_EQ(Utf16ToUtf8(trailing), "\xEF\xBF\xBD");
}

TEST(Strings, U16LengthCountsUnitsAndAcceptsNull) {
    EXPECT_EQ(U16Length(nullptr), 0u);
    EXPECT_EQ(U16Length(u"abc"), 3u);
}
