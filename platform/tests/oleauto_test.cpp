#include "platform/oleauto.h"

#include <gtest/gtest.h>

TEST(OleStrings, KeepTheirLengthIncludingEmbeddedNuls) {
    BSTR plain = SysAllocString(u"Korrind");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(SysStringLen(plain), 7u);
    EXPECT_EQ(SysStringByteLen(plain), 14u);
    EXPECT_EQ(std::u16string(plain), u"Korrind");

    const char16_t withNul[] = {u'a', u'\0', u'b'};
    BSTR counted = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(SysStringLen(counted), 3u);
    EXPECT_EQ(counted[2], u'b');
    EXPECT_EQ(counted[3], u'\0');

    BSTR blank = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(blank[0], u'\0');
    EXPECT_EQ(SysStringLen(blank), 2u);

    SysFreeString(plain);
    SysFreeString(counted);
    SysFreeString(blank);
}

TEST(OleStrings, NullAndHugeRequestsAreHandled) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(u"x", 0xFFFFFFF0u), nullptr);
}
