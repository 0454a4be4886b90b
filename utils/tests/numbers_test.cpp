// Number texts through the library, in real ICU locales.
#include "utils/dravik.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr LCID kEnglishUs = 0x409;
constexpr LCID kGerman = 0x407;
constexpr LCID kFrench = 0x40c;
constexpr LCID kEnglishIndia = 0x4009;
constexpr LCID kSwedish = 0x41d; // negative sign U+2212

struct Converted {
    HRESULT hr;
    std::u16string text;
};

template <class Input>
Converted Convert(HRESULT (*convert)(Input, BSTR*, LCID), Input input, LCID locale) {
    BSTR out = nullptr;
    const HRESULT hr = convert(input, &out, locale);
    Converted result{hr, out ? std::u16string(out, SysStringLen(out)) : u""};
    if (FAILED(hr)) {
        EXPECT_EQ(out, nullptr);
    }
    SysFreeString(out);
    return result;
}

Converted ToNeutral(const char16_t* text, LCID locale) {
    return Convert(ASVeskGetNonLocaleNumber, text, locale);
}
Converted ToLocale(const char16_t* text, LCID locale) {
    return Convert(ASVeskGetLocalizedNumber, text, locale);
}

TEST(NumberValidation, EnglishGroupsAndExponents) {
    for (const char16_t* valid : {u"1,234", u"12,345,678.9", u"1,234E5", u"-1,234.5", u"+12", u"-",
                                  u"1e+10", u"1.5E-3", u"1234567.25"})
        EXPECT_EQ(ASVeskIsValidNumber(valid, kEnglishUs), S_OK);
    for (const char16_t* invalid :
         {u"1,23", u"1,2345", u"1,2,345", u"1,,234", u",123", u"1,234,", u"1.2.3", u"1.5,2", u"12a",
          u"1E", u"1E+", u"1Ex", u"1E+5x", u"1E5.5", u"1,23E5", u"--1"})
        EXPECT_EQ(ASVeskIsValidNumber(invalid, kEnglishUs), DRAVIK_E_INVALID_NUMBER);
    EXPECT_EQ(ASVeskIsValidNumber(u"", kEnglishUs), E_INVALIDARG);
    EXPECT_EQ(ASVeskIsValidNumber(nullptr, kEnglishUs), E_INVALIDARG);
}

TEST(NumberValidation, LocaleSeparatorsAndGroupSizes) {
    EXPECT_EQ(ASVeskIsValidNumber(u"1.234.567,5", kGerman), S_OK);
    EXPECT_EQ(ASVeskIsValidNumber(u"1,234.5", kGerman), DRAVIK_E_INVALID_NUMBER);
    EXPECT_EQ(ASVeskIsValidNumber(u"1\u202F234,5", kFrench), S_OK);
    EXPECT_EQ(ASVeskIsValidNumber(u"1 234,5", kFrench), DRAVIK_E_INVALID_NUMBER);
    EXPECT_EQ(ASVeskIsValidNumber(u"12,34,567", kEnglishIndia), S_OK);
    EXPECT_EQ(ASVeskIsValidNumber(u"1,234,567", kEnglishIndia), DRAVIK_E_INVALID_NUMBER);
    EXPECT_EQ(ASVeskIsValidNumber(u"\u22121\u00A0234,5", kSwedish), S_OK);
}

TEST(NumberConversion, LocaleToNeutral) {
    EXPECT_EQ(ToNeutral(u"1.234.567,89", kGerman).text, u"1,234,567.89");
    EXPECT_EQ(ToNeutral(u"-1234,5", kGerman).text, u"-1234.5");
    EXPECT_EQ(ToNeutral(u"+1,5", kGerman).text, u"+1.5");
    EXPECT_EQ(ToNeutral(u"\u22121\u00A0234,5", kSwedish).text, u"-1,234.5");
    EXPECT_EQ(ToNeutral(u"12,34,567.5", kEnglishIndia).text, u"12,34,567.5");
    EXPECT_EQ(ToNeutral(u"1,23", kEnglishUs).hr, DRAVIK_E_INVALID_NUMBER);
}

TEST(NumberConversion, NeutralToLocaleRegroups) {
    EXPECT_EQ(ToLocale(u"1,234,567.89", kGerman).text, u"1.234.567,89");
    EXPECT_EQ(ToLocale(u"1234567.5", kEnglishUs).text, u"1234567.5");
    EXPECT_EQ(ToLocale(u"12,34,567", kEnglishUs).text, u"1,234,567");
    EXPECT_EQ(ToLocale(u"1,234,567.5", kEnglishIndia).text, u"12,34,567.5");
    EXPECT_EQ(ToLocale(u"-1,234.5", kSwedish).text, u"\u22121\u00A0234,5");
    EXPECT_EQ(ToLocale(u"+1,234.5", kFrench).text, u"+1\u202F234,5");
    EXPECT_EQ(ToLocale(u"-12.5", kGerman).text, u"-12,5");
    EXPECT_EQ(ToLocale(u"1,234E5", kGerman).text, u"1.234E5");
    EXPECT_EQ(ToLocale(u"1.2.3", kGerman).hr, DRAVIK_E_INVALID_NUMBER);
}

TEST(NumberConversion, DoublesAsShortestText) {
    EXPECT_EQ(Convert(ASVeskGetLocalizedNumberEx, -1234.5, kGerman).text, u"-1234,5");
    EXPECT_EQ(Convert(ASVeskGetLocalizedNumberEx, -0.1, kSwedish).text, u"\u22120,1");
    EXPECT_EQ(Convert(ASVeskGetLocalizedNumberEx, 1e21, kEnglishUs).text, u"1E+21");
    EXPECT_EQ(Convert(ASVeskGetLocalizedNumberEx, 1234567.0, kEnglishUs).text, u"1234567");
    EXPECT_EQ(Convert(ASVeskGetNonLocaleNumberEx, -1234.5, kSwedish).text, u"-1234.5");
    EXPECT_EQ(Convert(ASVeskGetNonLocaleNumberEx, 2.5e-9, kGerman).text, u"2.5E-9");
    // The text reads back as the very same double.
    const std::u16string third = Convert(ASVeskGetNonLocaleNumberEx, 1.0 / 3, kGerman).text;
    EXPECT_EQ(std::stod(std::string(third.begin(), third.end())), 1.0 / 3);
    EXPECT_LT(Convert(ASVeskGetLocalizedNumberEx, std::nan(""), kEnglishUs).hr, 0);
}

TEST(NumberFormats, FormattingLibraryNeverSeesNaNOrInfinity) {
    const auto format = [](const char16_t* picture, double value) {
        BSTR out = nullptr;
        EXPECT_EQ(ASVeskFormatNumber(picture, value, &out), S_OK);
        std::u16string text(out ? out : u"");
        SysFreeString(out);
        return text;
    };
    EXPECT_EQ(format(u"%.2f", 3.14159), u"3.14");
    EXPECT_EQ(format(u"%.1f", std::nan("")), u"0.0");
    EXPECT_EQ(format(u"%g", HUGE_VAL), u"1.79769e+308");
    EXPECT_EQ(format(u"%.16e", -HUGE_VAL), u"-1.7976931348623157e+308");
    BSTR out = nullptr;
    EXPECT_EQ(ASVeskGetExcelFormat(2, -1234.5, 1, &out), S_OK);
    EXPECT_EQ(std::u16string(out), u"-1,234.50");
    SysFreeString(out);
}

TEST(NumberConversion, OutputMustBeEmptyOnEntry) {
    BSTR taken = SysAllocString(u"keep");
    EXPECT_EQ(ASVeskGetLocalizedNumber(u"1", &taken, kEnglishUs), E_INVALIDARG);
    EXPECT_EQ(ASVeskGetNonLocaleNumber(u"1", &taken, kEnglishUs), E_INVALIDARG);
    EXPECT_EQ(ASVeskGetLocalizedNumberEx(1.0, &taken, kEnglishUs), E_INVALIDARG);
    EXPECT_EQ(ASVeskGetNonLocaleNumberEx(1.0, &taken, kEnglishUs), E_INVALIDARG);
    EXPECT_EQ(std::u16string(taken), u"keep");
    SysFreeString(taken);
    taken = nullptr;
    EXPECT_EQ(ASVeskGetLocalizedNumber(nullptr, &taken, kEnglishUs), E_INVALIDARG);
}

} // namespace
