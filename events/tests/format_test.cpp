// Message formatting through the library's exports.
#include "quessa_test_support.h"

#include <cstdlib>

namespace quessa::testing {
namespace {

// ASFormatString3's text for `format`, or "<error 0x...>".
template <class... Args> std::u16string Format3(const char16_t* format, Args... args) {
    Bstr out;
    LONG hr = QUESSA_FN(ASFormatString3)(out.Out(), format, args...);
    if (hr != S_OK) {
        EXPECT_EQ(out.Get(), nullptr);
        return u"<error " + U16(std::to_string(static_cast<uint32_t>(hr))) + u">";
    }
    return out.Text();
}

const std::u16string kInvalidArg = u"<error 2147942487>";

// A one-dimensional array of variants, lower bound 1 as a VB caller makes it.
class VariantArray {
public:
    VariantArray(std::initializer_list<VARIANT> values) {
        VariantInit(&array_);
        array_.vt = VT_ARRAY | VT_VARIANT;
        array_.parray = SafeArrayCreateVector(VT_VARIANT, 1, static_cast<ULONG>(values.size()));
        LONG index = 1;
        for (const VARIANT& value : values) {
            SafeArrayPutElement(array_.parray, &index, &value);
            ++index;
        }
        for (VARIANT value : values)
            VariantClear(&value);
    }
    ~VariantArray() { VariantClear(&array_); }
    VARIANT* Get() { return &array_; }

private:
    VARIANT array_;
};

VARIANT Text(const char16_t* text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    return value;
}

VARIANT Number(LONG number) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}

TEST_F(QuessaTest, PositionsReorderArgumentsAndBadPositionsAreRefused) {
    EXPECT_EQ(Format3(u"#2%s copied to #1%s", u"a", u"b"), u"b copied to a");
    EXPECT_EQ(Format3(u"#2%s, #1%d", 7, u"x"), u"x, 7");
    EXPECT_EQ(Format3(u"#1%d and %d", 1, 2), kInvalidArg);
    EXPECT_EQ(Format3(u"#1%d #3%d", 1, 2), kInvalidArg);
    EXPECT_EQ(Format3(u"#1%d #1%d", 1, 2), kInvalidArg);
    Bstr out;
    EXPECT_EQ(QUESSA_FN(ASFormatString3)(out.Out(), nullptr), S_OK);
    EXPECT_EQ(out.Get(), nullptr);
}

TEST_F(QuessaTest, PercentSignsAndConversionsRenderAsPrintfWould) {
    EXPECT_EQ(Format3(u"100%% done"), u"100% done");
    EXPECT_EQ(Format3(u"100% done"), u"100% done");
    EXPECT_EQ(Format3(u"50%off", 8), u"5010ff");
    EXPECT_EQ(Format3(u"pi=%.2f", 3.14159), u"pi=3.14");
    EXPECT_EQ(Format3(u"%-----------d"), u"%-----------d"); // letter 12 away: text
    EXPECT_EQ(Format3(u"[%S|%c]", "n\xc3\xa4", static_cast<int>(u'\u00e9')), u"[n\u00e4|\u00e9]");
    // A width longer than the string is rendered in full.
    EXPECT_EQ(Format3(u"[%30s]", u"ab"), u"[" + std::u16string(28, u' ') + u"ab]");
    // "%n" takes the integer it points to and writes nothing anywhere.
    int32_t count = 42;
    EXPECT_EQ(Format3(u"a%nb%d", &count, 5), u"ab5");
    EXPECT_EQ(count, 42);
    // A '*' never makes the C library read an argument that was not passed.
    EXPECT_EQ(Format3(u"[%*d]", 5), u"[5]");
}

TEST_F(QuessaTest, VariantArraysMustHoldEnoughValues) {
    auto format4 = QUESSA_FN(ASFormatString4);
    Bstr out;
    VariantArray three{Text(u"a"), Number(12), Text(u"unused")};
    EXPECT_EQ(format4(u"#2%d-#1%s", three.Get(), out.Out()), S_OK);
    EXPECT_EQ(out.Text(), u"12-a");
    // Values are converted to the letter's class.
    VariantArray texts{Text(u"12"), Number(3)};
    EXPECT_EQ(format4(u"%d|%s", texts.Get(), out.Out()), S_OK);
    EXPECT_EQ(out.Text(), u"12|3");
    VariantArray notNumber{Text(u"twelve")};
    EXPECT_LT(format4(u"%d", notNumber.Get(), out.Out()), 0);
    VariantArray one{Number(1)};
    EXPECT_EQ(format4(u"%d %d", one.Get(), out.Out()), E_INVALIDARG);
    EXPECT_EQ(out.Get(), nullptr);
    EXPECT_EQ(format4(u"%d", nullptr, out.Out()), E_INVALIDARG);
    EXPECT_EQ(format4(u"no inserts", nullptr, out.Out()), S_OK);
}

TEST_F(QuessaTest, ResourceMessagesFillABufferOrANewString) {
    auto format2 = QUESSA_FN(ASFormatString2);
    HMODULE module = OlvaniThisModule();
    OLECHAR buffer[16] = u"junk";
    VariantArray parts{Text(u"abcd"), Text(u"efgh")}; // "abcd-efgh", 9 characters
    EXPECT_EQ(format2(module, kTwoParts, parts.Get(), 5, buffer), 4);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    EXPECT_EQ(format2(module, kTwoParts, parts.Get(), 16, buffer), 9);
    EXPECT_EQ(format2(module, kTwoParts, parts.Get(), 0, buffer), E_INVALIDARG);
    EXPECT_EQ(format2(module, kMissing, parts.Get(), 16, buffer), QUESSA_E_STRING_NOT_FOUND);
    EXPECT_EQ(buffer[0], u'\0');

    auto format1 = QUESSA_FN(ASFormatString1);
    Bstr out;
    EXPECT_EQ(format1(module, out.Out(), kCopied, u"a", u"b"), S_OK);
    EXPECT_EQ(out.Text(), u"b copied to a");
    EXPECT_EQ(format1(module, out.Out(), kMissing), QUESSA_E_STRING_NOT_FOUND);
    EXPECT_EQ(out.Get(), nullptr);
}

// Quessa's own catalog, in English and German: the German text takes the
// inserts in the other order.
TEST_F(QuessaTest, CatalogTextFollowsTheLanguage) {
    auto format1 = QUESSA_FN(ASFormatString1);
    Bstr out;
    ASSERT_EQ(format1(Library::Get().Module(), out.Out(), 4, 17, u"dravik"), S_OK);
    EXPECT_EQ(out.Text().substr(0, 39), u"Message 17 of module 'dravik' is missin");
    ::setenv("LANG", "de_DE.UTF-8", 1);
    LONG hr = format1(Library::Get().Module(), out.Out(), 4, 17, u"dravik");
    ::setenv("LANG", "C", 1);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(out.Text().substr(0, 59),
              u"Im Meldungskatalog des Moduls 'dravik' fehlt die Meldung 17");
}

} // namespace
} // namespace quessa::testing
