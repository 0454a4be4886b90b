#include "platform/datetime.h"

#include <cmath>
#include <ctime>

namespace olvani {

// Howard Hinnant's civil-date algorithms, exact over the whole proleptic
// Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    *day = static_cast<unsigned>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<unsigned>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(int64_t year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

unsigned RuleDay(int64_t year, unsigned month, unsigned weekday, unsigned occurrence) {
    const int64_t first = DaysFromCivil(year, month, 1);
    const unsigned firstWeekday = static_cast<unsigned>(((first + 4) % 7 + 7) % 7);
    unsigned day = 1 + (weekday + 7 - firstWeekday) % 7 + 7 * (occurrence - 1);
    while (day > DaysInMonth(year, month))
        day -= 7;
    return day;
}

} // namespace olvani

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// 1899-12-30, day 0 of OLE dates, and 1601-01-01, the file-time epoch.
const int64_t kOleEpochDays = olvani::DaysFromCivil(1899, 12, 30);
const int64_t kFileTimeEpochDays = olvani::DaysFromCivil(1601, 1, 1);

bool ValidFields(const SYSTEMTIME& t) {
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= olvani::DaysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 &&
           t.wSecond < 60 && t.wMilliseconds < 1000;
}

int64_t SecondsOfDay(const SYSTEMTIME& t) {
    return t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
}

// Seconds since 1970 of a valid calendar time.
int64_t UnixSeconds(const SYSTEMTIME& t) {
    return olvani::DaysFromCivil(t.wYear, t.wMonth, t.wDay) * kSecondsPerDay + SecondsOfDay(t);
}

bool FromUnixSeconds(int64_t seconds, WORD milliseconds, SYSTEMTIME* out) {
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    int64_t year = 0;
    unsigned month = 0, day = 0;
    olvani::CivilFromDays(days, &year, &month, &day);
    if (year < 1 || year > 30827)
        return false;
    *out = SYSTEMTIME{static_cast<WORD>(year),
                      static_cast<WORD>(month),
                      static_cast<WORD>(((days + 4) % 7 + 7) % 7),
                      static_cast<WORD>(day),
                      static_cast<WORD>(rest / 3600),
                      static_cast<WORD>(rest / 60 % 60),
                      static_cast<WORD>(rest % 60),
                      milliseconds};
    return true;
}

// The instant in local wall time at which a yearly rule fires in `year`.
int64_t RuleSeconds(int64_t year, const SYSTEMTIME& rule) {
    const int64_t ruleYear = rule.wYear ? rule.wYear : year;
    const unsigned day = rule.wYear ? rule.wDay
                                    : olvani::RuleDay(ruleYear, rule.wMonth, rule.wDayOfWeek % 7,
                                                      rule.wDay < 1 ? 1 : rule.wDay);
    return olvani::DaysFromCivil(ruleYear, rule.wMonth, day) * kSecondsPerDay + SecondsOfDay(rule);
}

bool ToLocalWithRecord(const TIME_ZONE_INFORMATION& zone, int64_t utc, int64_t* local) {
    int64_t offset = zone.Bias + zone.StandardBias;
    if (zone.StandardDate.wMonth != 0 && zone.DaylightDate.wMonth != 0) {
        SYSTEMTIME standard{};
        if (!FromUnixSeconds(utc - offset * 60, 0, &standard))
            return false;
        // The daylight rule fires in standard wall time, the standard rule in
        // daylight wall time.
        const int64_t start = RuleSeconds(standard.wYear, zone.DaylightDate) + offset * 60;
        const int64_t end = RuleSeconds(standard.wYear, zone.StandardDate) +
                            int64_t{zone.Bias + zone.DaylightBias} * 60;
        const bool daylight = start < end ? utc >= start && utc < end : utc >= start || utc < end;
        if (daylight)
            offset = zone.Bias + zone.DaylightBias;
    }
    *local = utc - offset * 60;
    return true;
}

} // namespace

void GetSystemTime(SYSTEMTIME* utc) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    FromUnixSeconds(now.tv_sec, static_cast<WORD>(now.tv_nsec / 1000000), utc);
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     SYSTEMTIME* local) {
    if (!utc || !local || !ValidFields(*utc))
        return FALSE;
    const int64_t seconds = UnixSeconds(*utc);
    int64_t localSeconds = 0;
    if (zone) {
        if (!ToLocalWithRecord(*zone, seconds, &localSeconds))
            return FALSE;
    } else {
        tzset(); // follow TZ changes made while the process runs
        const time_t t = static_cast<time_t>(seconds);
        tm fields{};
        if (!localtime_r(&t, &fields))
            return FALSE;
        localSeconds = seconds + fields.tm_gmtoff;
    }
    return FromUnixSeconds(localSeconds, utc->wMilliseconds, local) ? TRUE : FALSE;
}

int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date) {
    if (!time || !date || time->wYear < 100 || time->wYear > 9999 || !ValidFields(*time))
        return FALSE;
    const int64_t days =
        olvani::DaysFromCivil(time->wYear, time->wMonth, time->wDay) - kOleEpochDays;
    const double fraction = static_cast<double>(SecondsOfDay(*time)) / kSecondsPerDay;
    // Before day 0 the fraction still counts forward from midnight.
    *date = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
    return TRUE;
}

int VariantTimeToSystemTime(DATE date, SYSTEMTIME* time) {
    // 100-01-01 to the last second of 9999-12-31.
    if (!time || !(date >= -657434.0 && date < 2958466.0))
        return FALSE;
    const double whole = std::trunc(date);
    int64_t days = static_cast<int64_t>(whole);
    int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        ++days;
    }
    SYSTEMTIME out{};
    if (!FromUnixSeconds((days + kOleEpochDays) * kSecondsPerDay + seconds, 0, &out) ||
        out.wYear < 100 || out.wYear > 9999)
        return FALSE;
    *time = out;
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime) {
    if (!time || !fileTime || time->wYear < 1601 || time->wYear > 30827 || !ValidFields(*time))
        return FALSE;
    const int64_t days = olvani::DaysFromCivil(time->wYear, time->wMonth, time->wDay);
    const uint64_t seconds =
        static_cast<uint64_t>((days - kFileTimeEpochDays) * kSecondsPerDay + SecondsOfDay(*time));
    const uint64_t ticks = seconds * 10000000u + time->wMilliseconds * 10000u;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* time) {
    if (!fileTime || !time)
        return FALSE;
    const uint64_t ticks = (uint64_t{fileTime->dwHighDateTime} << 32) | fileTime->dwLowDateTime;
    if (ticks >= 0x8000000000000000u)
        return FALSE;
    const int64_t seconds = static_cast<int64_t>(ticks / 10000000u);
    const WORD milliseconds = static_cast<WORD>(ticks % 10000000u / 10000u);
    return FromUnixSeconds(seconds + kFileTimeEpochDays * kSecondsPerDay, milliseconds, time)
               ? TRUE
               : FALSE;
}
