// Date conversions through the library, under real zones set with TZ.
#include "utils/dravik.h"
#include "utils/tests/error_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

DATE Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
    const SYSTEMTIME fields{year, month, 0, day, hour, minute, second, 0};
    DATE date = 0;
    EXPECT_TRUE(SystemTimeToVariantTime(&fields, &date));
    return date;
}

SYSTEMTIME Fields(DATE date) {
    SYSTEMTIME fields{};
    EXPECT_TRUE(VariantTimeToSystemTime(date, &fields));
    return fields;
}

class ZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = getenv("TZ");
        saved_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
    }
    void TearDown() override {
        hadTz_ ? setenv("TZ", saved_.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    static void Zone(const char* name) {
        setenv("TZ", name, 1);
        tzset();
    }
    static LONG BiasAtLocal(DATE local) {
        LONG bias = 12345;
        EXPECT_EQ(ASVeskGetTimeZoneBiasFromLocalDate(local, &bias), S_OK);
        return bias;
    }

private:
    std::string saved_;
    bool hadTz_ = false;
};

TEST_F(ZoneTest, BiasIsPositiveEastInEverySeason) {
    const struct {
        const char* zone;
        LONG winter, summer; // January and July
    } kZones[] = {
        {"Europe/Berlin", 60, 120},
        {"America/New_York", -300, -240},
        {"Australia/Sydney", 660, 600},
        {"Asia/Kolkata", 330, 330},
        {"UTC", 0, 0},
    };
    for (const auto& zone : kZones) {
        Zone(zone.zone);
        EXPECT_EQ(BiasAtLocal(Date(2003, 1, 15, 12)), zone.winter) << zone.zone;
        EXPECT_EQ(BiasAtLocal(Date(2003, 7, 15, 12)), zone.summer) << zone.zone;
        LONG fromUtc = 0;
        EXPECT_EQ(ASVeskGetTimeZoneBiasFromUTCDate(Date(2003, 7, 15, 12), &fromUtc), S_OK);
        EXPECT_EQ(fromUtc, zone.summer) << zone.zone;
    }
    Zone("Asia/Kolkata");
    LONG current = 0;
    EXPECT_EQ(ASVeskGetCurrentTimeZoneBias(&current), S_OK);
    EXPECT_EQ(current, 330);
}

TEST_F(ZoneTest, DaylightPeriodEndsAreExactToTheSecond) {
    Zone("Europe/Berlin"); // last Sunday of March 02:00 to last Sunday of October 03:00
    EXPECT_EQ(BiasAtLocal(Date(2003, 3, 30, 1, 59, 59)), 60);
    EXPECT_EQ(BiasAtLocal(Date(2003, 3, 30, 2, 0, 0)), 120);
    EXPECT_EQ(BiasAtLocal(Date(2003, 10, 26, 3, 0, 0)), 120);
    EXPECT_EQ(BiasAtLocal(Date(2003, 10, 26, 3, 0, 1)), 60);
    // A rule given in TZ itself: first Sunday of April, which in 2001 is April 1.
    Zone("XST5XDT,M4.1.0,M10.5.0");
    EXPECT_EQ(BiasAtLocal(Date(2001, 3, 31, 23)), -300);
    EXPECT_EQ(BiasAtLocal(Date(2001, 4, 1, 2)), -240);
}

TEST_F(ZoneTest, UtcAndLocalConvertBothWays) {
    Zone("Europe/Berlin");
    DATE local = 0, utc = 0;
    ASSERT_EQ(ASVeskConvertUTCToLocalDate(Date(2003, 7, 1, 12), &local), S_OK);
    EXPECT_EQ(local, Date(2003, 7, 1, 14));
    ASSERT_EQ(ASVeskConvertLocalDateToUTC(Date(2003, 1, 1, 0, 30), &utc), S_OK);
    EXPECT_EQ(utc, Date(2002, 12, 31, 23, 30));
    Zone("Australia/Sydney");
    ASSERT_EQ(ASVeskConvertUTCToLocalDate(Date(2003, 1, 1), &local), S_OK);
    EXPECT_EQ(local, Date(2003, 1, 1, 11));
    ASSERT_EQ(ASVeskConvertLocalDateToUTC(Date(2003, 1, 1, 11), &utc), S_OK);
    EXPECT_EQ(utc, Date(2003, 1, 1));
    ASSERT_EQ(ASVeskConvertUTCAndBiasToLocalDate(Date(2003, 1, 1), 330, &local), S_OK);
    EXPECT_EQ(local, Date(2003, 1, 1, 5, 30));
    ASSERT_EQ(ASVeskConvertLocalDateAndBiasToUTC(Date(2003, 1, 1), 330, &utc), S_OK);
    EXPECT_EQ(utc, Date(2002, 12, 31, 18, 30));
    EXPECT_EQ(ASVeskConvertUTCToLocalDate(1e9, &local), E_UNEXPECTED);
}

TEST(UnixTimes, EpochAndTheEndOfTheUnsignedRange) {
    DATE date = -1;
    ASSERT_EQ(ASVeskConvertTimeTToDate(0, &date), S_OK);
    EXPECT_EQ(date, 25569.0);
    ASSERT_EQ(ASVeskConvertTimeTToDate(static_cast<LONG>(0xFFFFFFFFu), &date), S_OK);
    EXPECT_EQ(Fields(date).wYear, 2106);
    LONG seconds = -1;
    ASSERT_EQ(ASVeskConvertDateToTimeT(25569.5, &seconds), S_OK);
    EXPECT_EQ(seconds, 43200);
    EXPECT_EQ(ASVeskConvertDateToTimeT(1e9, &seconds), E_UNEXPECTED);
    EXPECT_EQ(seconds, 0);
}

TEST(DateText, FieldsReadAtTheirPatternPositions) {
    DATE date = 0;
    ASSERT_EQ(ASVeskGetDateFromFormat(&date, u"yyyy-MM-dd", u"2003-02-12"), S_OK);
    EXPECT_EQ(date, Date(2003, 2, 12));
    ASSERT_EQ(ASVeskGetDateFromFormat(&date, u"dd.MM.yyyy HH:mm:ss", u" 1.02.2003 14:05:09"), S_OK);
    EXPECT_EQ(date, Date(2003, 2, 1, 14, 5, 9));
    // Text ending before the time's patterns: those fields are absent.
    ASSERT_EQ(ASVeskGetDateFromFormat(&date, u"yyyy-MM-dd HH:mm", u"2003-02-12"), S_OK);
    EXPECT_EQ(date, Date(2003, 2, 12));
    EXPECT_EQ(ASVeskGetDateFromFormat(&date, u"MM/dd", u"02/12"), E_UNEXPECTED);
}

TEST(DateText, FormatsKeepTheirOrderAndLength) {
    const DATE date = Date(2003, 2, 12, 14, 5, 9);
    const auto format = [date](const char16_t* picture) {
        BSTR out = nullptr;
        EXPECT_EQ(ASVeskGetDateInFormat(date, picture, &out), S_OK);
        std::u16string text(out ? out : u"");
        SysFreeString(out);
        return text;
    };
    EXPECT_EQ(format(u"HH:mm dd.MM.yyyy"), u"14:05 12.02.2003");
    EXPECT_EQ(format(u"dd/MM/yyyy HH:mm"), u"12/02/2003 14:05");
    EXPECT_EQ(format(u"-- "), u"-- ");
    EXPECT_EQ(format(u""), u"");
    const std::u16string longPicture = u"dd" + std::u16string(300, u'-') + u"yyyy";
    EXPECT_EQ(format(longPicture.c_str()), u"12" + std::u16string(300, u'-') + u"2003");
    BSTR out = nullptr;
    EXPECT_EQ(ASVeskGetDateInFormat(-1e9, u"dd", &out), E_UNEXPECTED);
    EXPECT_EQ(out, nullptr);
}

TEST(DateText, FreeTextInTheDefaultLocale) {
    DATE date = -1;
    ASSERT_EQ(ASVeskGetDateFromString(u"2003-02-12 14:05:09", &date), S_OK);
    EXPECT_EQ(date, Date(2003, 2, 12, 14, 5, 9));
    ASSERT_EQ(ASVeskGetDateFromString(u"2/12/03", &date), S_OK); // en-US short date
    EXPECT_EQ(date, Date(2003, 2, 12));
    EXPECT_EQ(ASVeskGetDateFromString(u"not a date", &date), E_UNEXPECTED);
    EXPECT_EQ(date, 0);
    // The example in the message is a date the function reads.
    const std::u16string message = dravik::testing::ErrorMessage();
    const std::u16string lead = u"'not a date' is not a date. Please enter a date in the form '";
    ASSERT_TRUE(message.starts_with(lead)) << std::string(message.begin(), message.end());
    const std::u16string example = message.substr(lead.size(), message.size() - lead.size() - 2);
    EXPECT_EQ(ASVeskGetDateFromString(example.c_str(), &date), S_OK);
    EXPECT_GT(date, 40000);
    EXPECT_EQ(ASVeskGetDateFromString(nullptr, &date), E_UNEXPECTED);
}

} // namespace
