// Conversions between OLE Automation dates, text, 32-bit Unix times and
// UTC/local time, and the time-zone bias at a date. A bias is the minutes to
// add to UTC for local time (positive east), the negative of the platform's.
#include "platform/strings.h"
#include "trace/client/module_trace.h"
#include "utils/date_format.h"
#include "utils/dravik.h"
#include "utils/frame.h"
#include "utils/report.h"

#include <string>

namespace {

enum DateError : UINT {
    kUnreadableDateText = 22,
    kInvalidDate = 23,
    kTimeZoneFailure = 24,
    kCurrentDateFailure = 25,
};

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000u;
constexpr uint64_t kTicksPerSecond = 10000000u;

uint64_t FileTimeTicks(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

HRESULT InvalidArgument(const ScopeTrace& scope, const char16_t* name) {
    TraceFormat(scope, u"Invalid Argument - '%s'", name);
    return E_INVALIDARG;
}

HRESULT Fail(const ScopeTrace& scope, const char16_t* trace, UINT error) {
    TraceFormat(scope, trace);
    dravik::ReportError(error);
    return E_UNEXPECTED;
}

// The rule's concrete date in `year`: occurrence 1-4 of its weekday in its
// month, 5 the last. A rule naming a year stays as it is.
bool GetAbsoluteTime(WORD year, SYSTEMTIME* rule) {
    ScopeTrace scope(7, u"GetAbsoluteTime");
    if (rule->wYear != 0)
        return true;
    SYSTEMTIME first{year, rule->wMonth, 0, 1, 0, 0, 0, 0};
    FILETIME unused{};
    if (!SystemTimeToFileTime(&first, &unused)) {
        TraceFormat(scope, u"Error calling SystemTimeToFileTime().");
        return false;
    }
    const WORD occurrence = rule->wDay < 1 ? 1 : rule->wDay;
    rule->wDay = static_cast<WORD>(
        olvani::RuleDay(year, rule->wMonth, rule->wDayOfWeek % 7, occurrence > 5 ? 5 : occurrence));
    rule->wYear = year;
    return true;
}

// File-time ticks of calendar fields; 0 (the earliest) when they do not convert.
uint64_t TicksOf(const SYSTEMTIME& time) {
    FILETIME fileTime{};
    return SystemTimeToFileTime(&time, &fileTime) ? FileTimeTicks(fileTime) : 0;
}

// Both ends of the daylight period count as inside it. Where the daylight
// transition comes later in the year than the standard one (the southern
// hemisphere), the period runs across the new year.
bool InDaylightPeriod(const SYSTEMTIME& local, TIME_ZONE_INFORMATION zone) {
    const uint64_t daylightStart =
        GetAbsoluteTime(local.wYear, &zone.DaylightDate) ? TicksOf(zone.DaylightDate) : 0;
    const uint64_t standardStart =
        GetAbsoluteTime(local.wYear, &zone.StandardDate) ? TicksOf(zone.StandardDate) : 0;
    const uint64_t at = TicksOf(local);
    if (daylightStart <= standardStart)
        return at >= daylightStart && at <= standardStart;
    return at >= daylightStart || at <= standardStart;
}

bool UtcToLocal(const ScopeTrace& scope, DATE utc, DATE* local) {
    SYSTEMTIME utcFields{}, localFields{};
    if (!VariantTimeToSystemTime(utc, &utcFields)) {
        TraceFormat(scope, u"Invalid input date.");
        return false;
    }
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utcFields, &localFields) ||
        !SystemTimeToVariantTime(&localFields, local)) {
        TraceFormat(scope, u"Error calling SystemTimeToTzSpecificLocalTime().");
        return false;
    }
    return true;
}

// One part of a formatted date, formatted whole however long its picture.
bool FormatPart(int (*format)(LCID, DWORD, const SYSTEMTIME*, const char16_t*, char16_t*, int),
                const SYSTEMTIME& fields, std::u16string_view picture, std::u16string* out) {
    out->clear();
    if (picture.empty())
        return true;
    const std::u16string text(picture);
    const int size = format(LOCALE_USER_DEFAULT, 0, &fields, text.c_str(), nullptr, 0);
    if (size <= 0)
        return false;
    out->resize(static_cast<size_t>(size));
    if (format(LOCALE_USER_DEFAULT, 0, &fields, text.c_str(), out->data(), size) != size)
        return false;
    out->resize(static_cast<size_t>(size - 1));
    return true;
}

} // namespace

HRESULT ASVeskGetCurrentDate(DATE* local, DATE* utc) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetCurrentDate");
    if (local)
        *local = 0;
    if (utc)
        *utc = 0;
    SYSTEMTIME utcFields{}, localFields{};
    GetSystemTime(&utcFields);
    TIME_ZONE_INFORMATION zone{};
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return Fail(scope, u"Error calling GetTimeZoneInformation().", kTimeZoneFailure);
    if (!SystemTimeToTzSpecificLocalTime(&zone, &utcFields, &localFields))
        return Fail(scope, u"Error calling SystemTimeToTzSpecificLocalTime().",
                    kCurrentDateFailure);
    if ((utc && !SystemTimeToVariantTime(&utcFields, utc)) ||
        (local && !SystemTimeToVariantTime(&localFields, local)))
        return Fail(scope, u"Error calling SystemTimeToVariantTime().", kCurrentDateFailure);
    return S_OK;
}

HRESULT ASVeskGetDateInFormat(DATE date, const char16_t* format, BSTR* result) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDateInFormat");
    if (!result)
        return InvalidArgument(scope, u"result");
    *result = nullptr;
    SYSTEMTIME fields{};
    if (!VariantTimeToSystemTime(date, &fields))
        return Fail(scope, u"Invalid input date.", kInvalidDate);
    const std::u16string_view picture(format ? format : u"");
    const dravik::DateFormatParts parts = dravik::SplitDateFormat(picture);
    std::u16string text(picture);
    if (parts.hasLetters) {
        std::u16string datePart, timePart;
        if (!FormatPart(GetDateFormatW, fields, parts.datePart, &datePart))
            return Fail(scope, u"Error calling GetDateFormat().", kInvalidDate);
        if (!FormatPart(GetTimeFormatW, fields, parts.timePart, &timePart))
            return Fail(scope, u"Error calling GetTimeFormat().", kInvalidDate);
        text = parts.timeFirst ? timePart + std::u16string(parts.separator) + datePart
                               : datePart + std::u16string(parts.separator) + timePart;
    }
    *result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT ASVeskGetDateFromFormat(DATE* result, const char16_t* format, const char16_t* text) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDateFromFormat");
    if (!result)
        return InvalidArgument(scope, u"result");
    const SYSTEMTIME fields = dravik::ReadDateFields(format ? format : u"", text ? text : u"");
    if (!SystemTimeToVariantTime(&fields, result))
        return Fail(scope, u"Error calling SystemTimeToVariantTime().", kInvalidDate);
    return S_OK;
}

HRESULT ASVeskGetDateFromString(const char16_t* text, DATE* result) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetDateFromString");
    if (!result)
        return InvalidArgument(scope, u"result");
    *result = 0;
    text = text ? text : u"";
    DATE date = 0;
    if (SUCCEEDED(VarDateFromStr(text, LOCALE_USER_DEFAULT, 0, &date))) {
        *result = date;
        return S_OK;
    }
    DATE now = 0;
    BSTR example = nullptr;
    ASVeskGetCurrentDate(&now, nullptr);
    VarBstrFromDate(now, LOCALE_USER_DEFAULT, 0, &example);
    const char16_t* exampleText = example ? example : u"";
    TraceFormat(scope, u"Unable to convert '%s' to a date.", text);
    TraceFormat(scope, u"Please enter a date in the form '%s'.", exampleText);
    dravik::ReportError(kUnreadableDateText, text, exampleText);
    SysFreeString(example);
    return E_UNEXPECTED;
}

HRESULT ASVeskConvertUTCToLocalDate(DATE utc, DATE* local) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskConvertUTCToLocalDate");
    if (!local)
        return InvalidArgument(scope, u"local");
    DATE converted = 0;
    if (!UtcToLocal(scope, utc, &converted)) {
        dravik::ReportError(kInvalidDate);
        return E_UNEXPECTED;
    }
    *local = converted;
    return S_OK;
}

HRESULT ASVeskConvertLocalDateToUTC(DATE local, DATE* utc) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskConvertLocalDateToUTC");
    LONG bias = 0;
    const HRESULT hr = ASVeskGetTimeZoneBiasFromLocalDate(local, &bias);
    return SUCCEEDED(hr) ? ASVeskConvertLocalDateAndBiasToUTC(local, bias, utc) : hr;
}

HRESULT ASVeskConvertTimeTToDate(LONG unixTime, DATE* result) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskConvertTimeTToDate");
    if (!result)
        return InvalidArgument(scope, u"result");
    *result = 0;
    // Unsigned: the range ends in 2106.
    const uint64_t ticks =
        (uint64_t{static_cast<uint32_t>(unixTime)} + 11644473600u) * kTicksPerSecond;
    const FILETIME fileTime{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME fields{};
    if (!FileTimeToSystemTime(&fileTime, &fields))
        return Fail(scope, u"Error calling FileTimeToSystemTime().", kInvalidDate);
    if (!SystemTimeToVariantTime(&fields, result))
        return Fail(scope, u"Error calling SystemTimeToVariantTime().", kInvalidDate);
    return S_OK;
}

HRESULT ASVeskConvertDateToTimeT(DATE date, LONG* unixTime) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskConvertDateToTimeT");
    if (!unixTime)
        return InvalidArgument(scope, u"unixTime");
    *unixTime = 0;
    SYSTEMTIME fields{};
    if (!VariantTimeToSystemTime(date, &fields))
        return Fail(scope, u"Invalid input date.", kInvalidDate);
    FILETIME fileTime{};
    if (!SystemTimeToFileTime(&fields, &fileTime))
        return Fail(scope, u"Error calling SystemTimeToFileTime().", kInvalidDate);
    // Outside 1970-2106 the value wraps; no caller relies on it.
    const uint64_t seconds = (FileTimeTicks(fileTime) - kUnixEpochAsFileTime) / kTicksPerSecond;
    *unixTime = static_cast<LONG>(static_cast<uint32_t>(seconds));
    return S_OK;
}

HRESULT ASVeskGetTimeZoneBiasFromUTCDate(DATE utc, LONG* bias) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetTimeZoneBiasFromUTCDate");
    if (!bias)
        return InvalidArgument(scope, u"bias");
    *bias = 0;
    DATE local = 0;
    if (!UtcToLocal(scope, utc, &local)) {
        dravik::ReportError(kInvalidDate);
        return E_UNEXPECTED;
    }
    return ASVeskGetTimeZoneBiasFromLocalDate(local, bias);
}

HRESULT ASVeskGetTimeZoneBiasFromLocalDate(DATE local, LONG* bias) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetTimeZoneBiasFromLocalDate");
    if (!bias)
        return InvalidArgument(scope, u"bias");
    *bias = 0;
    TIME_ZONE_INFORMATION zone{};
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return Fail(scope, u"Error calling GetTimeZoneInformation().", kTimeZoneFailure);
    SYSTEMTIME fields{};
    if (!VariantTimeToSystemTime(local, &fields))
        return Fail(scope, u"Error calling VariantTimeToSystemTime().", kTimeZoneFailure);
    LONG platformBias = zone.Bias;
    if (zone.DaylightDate.wMonth != 0 && zone.StandardDate.wMonth != 0) {
        if (InDaylightPeriod(fields, zone)) {
            TraceFormat(scope, u"We are in the daylight savings time period.");
            platformBias = zone.Bias + zone.DaylightBias;
        } else {
            TraceFormat(scope, u"We are not in the daylight savings time period.");
            platformBias = zone.Bias + zone.StandardBias;
        }
    }
    *bias = -platformBias;
    return S_OK;
}

HRESULT ASVeskGetCurrentTimeZoneBias(LONG* bias) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskGetCurrentTimeZoneBias");
    if (!bias)
        return InvalidArgument(scope, u"bias");
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = GetTimeZoneInformation(&zone);
    if (state == TIME_ZONE_ID_INVALID)
        return Fail(scope, u"Error calling GetTimeZoneInformation().", kTimeZoneFailure);
    TraceFormat(scope,
                u"timeZone.Bias: %ld, timeZone.DaylightBias: %ld, timeZone.StandardBias: %ld",
                zone.Bias, zone.DaylightBias, zone.StandardBias);
    LONG platformBias = zone.Bias;
    if (zone.DaylightDate.wMonth != 0 && zone.StandardDate.wMonth != 0) {
        SYSTEMTIME now{};
        GetSystemTime(&now);
        TraceFormat(scope, u"localDate: %u/%u/%u  %u:%u:%u:%u", now.wYear, now.wMonth, now.wDay,
                    now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
        for (const auto& [name, rule] : {std::pair{u"DaylightDate", zone.DaylightDate},
                                         std::pair{u"StandardDate", zone.StandardDate}})
            TraceFormat(scope, u"timeZone.%s: %u/%u/%u  %u:%u:%u:%u", name, now.wYear, rule.wMonth,
                        rule.wDay, rule.wHour, rule.wMinute, rule.wSecond, rule.wMilliseconds);
        if (state == TIME_ZONE_ID_STANDARD) {
            TraceFormat(scope, u"We are not in the daylight savings time period.");
            platformBias = zone.Bias + zone.StandardBias;
        } else if (state == TIME_ZONE_ID_DAYLIGHT) {
            TraceFormat(scope, u"We are in the daylight savings time period.");
            platformBias = zone.Bias + zone.DaylightBias;
        } else {
            return E_UNEXPECTED;
        }
    } else {
        TraceFormat(scope, u"DaylightDate.wMonth == 0 || StandardDate.wMonth == 0");
    }
    TraceFormat(scope, u"calculated bias: %ld", platformBias);
    TraceFormat(scope, u"returned bias: %ld", -platformBias);
    *bias = -platformBias;
    return S_OK;
}

HRESULT ASVeskConvertUTCAndBiasToLocalDate(DATE utc, LONG bias, DATE* local) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskConvertUTCAndBiasToLocalDate");
    if (!local)
        return InvalidArgument(scope, u"local");
    *local = 0;
    SYSTEMTIME utcFields{}, localFields{};
    if (!VariantTimeToSystemTime(utc, &utcFields))
        return Fail(scope, u"Invalid input date.", kInvalidDate);
    TIME_ZONE_INFORMATION zone{};
    zone.Bias = -bias;
    if (!SystemTimeToTzSpecificLocalTime(&zone, &utcFields, &localFields) ||
        !SystemTimeToVariantTime(&localFields, local))
        return Fail(scope, u"Error calling SystemTimeToVariantTime().", kInvalidDate);
    return S_OK;
}

HRESULT ASVeskConvertLocalDateAndBiasToUTC(DATE local, LONG bias, DATE* utc) {
    DRAVIK_REQUIRE_USABLE();
    ScopeTrace scope(5, u"ASVeskConvertLocalDateAndBiasToUTC");
    return ASVeskConvertUTCAndBiasToLocalDate(local, -bias, utc);
}
