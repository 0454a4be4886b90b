// Calendar times, file times, OLE Automation dates and the local time zone,
// with their Windows names, over the C library's time zone data.
//
// The time-zone record comes from the POSIX rule at the end of the zone's
// TZif file (TZ, else /etc/localtime), e.g. "CET-1CEST,M3.5.0,M10.5.0/3",
// whose Mm.w.d transitions are the record's day-in-month form. A zone without
// daylight rules has no transition months.
#pragma once

#include "platform/wintypes.h"

using DATE = double;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek; // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct TIME_ZONE_INFORMATION {
    LONG Bias; // minutes to add to local time to get UTC (positive west)
    char16_t StandardName[32];
    SYSTEMTIME StandardDate; // wMonth 0: no daylight rules
    LONG StandardBias;
    char16_t DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
};

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFFu;

void GetSystemTime(SYSTEMTIME* utc);
// The current zone's record and whether daylight time is in force now
// (UNKNOWN when the zone has no daylight rules), or TIME_ZONE_ID_INVALID.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone);
// With a null zone the C library's full history of the current zone is used;
// with a record, its bias and yearly rules.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     SYSTEMTIME* local);
// Days since 1899-12-30, the fraction being the time of day; years 100-9999.
// Milliseconds are ignored, as on Windows.
int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* date);
// Rounded to the nearest second.
int VariantTimeToSystemTime(DATE date, SYSTEMTIME* time);
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* time);

namespace olvani {

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day);
bool IsLeapYear(int64_t year);
unsigned DaysInMonth(int64_t year, unsigned month);
// Day of the month of the `occurrence`th (1-4, 5 = the last) `weekday`
// (0 = Sunday) of a month.
unsigned RuleDay(int64_t year, unsigned month, unsigned weekday, unsigned occurrence);

// Reads a POSIX TZ rule ("AEST-10AEDT,M10.1.0,M4.1.0/3") into a record.
// False for text that is not one; rules in Julian-day form have no record
// form and leave the zone without transition months.
bool ParsePosixZoneRule(const char* rule, TIME_ZONE_INFORMATION* zone);

} // namespace olvani
