// Windows locale numbers (LCID), locale settings, date and time pictures and
// the OLE Automation number and date texts, over ICU. A locale's data is
// looked up once per thread and kept.
#pragma once

#include "platform/datetime.h"
#include "platform/oleauto.h"
#include "platform/wintypes.h"

#include <string>
#include <string_view>

using LCID = DWORD;

constexpr LCID LOCALE_USER_DEFAULT = 0x400;

// The thread's locale (LC_NUMERIC of the thread) as a locale number; the C
// locale counts as en-US.
LCID GetThreadLocale();
// The user's locale for dates and times (LC_TIME of the thread), likewise.
LCID GetUserDefaultLCID();

// Formats the date fields (or the time fields) of `time` with a Windows
// picture (d dd ddd dddd M MM MMM MMMM y yy yyyy gg; h hh H HH m mm s ss t tt;
// 'quoted text'). Returns the characters written including the terminating
// NUL, 0 when the picture's text does not fit in `capacity` or the locale is
// unknown. A capacity of 0 asks for the size needed.
int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* time, const char16_t* picture,
                   char16_t* out, int capacity);
int GetTimeFormatW(LCID locale, DWORD flags, const SYSTEMTIME* time, const char16_t* picture,
                   char16_t* out, int capacity);

// The shortest text that reads back as the same double, with the locale's
// decimal separator, no grouping and "-" for negative values; exponent form
// ("1.5E+21") outside 1E-7 .. 1E+15. DISP_E_OVERFLOW for NaN and infinities.
HRESULT VarBstrFromR8(double value, LCID locale, ULONG flags, BSTR* out);
// A date and time text in the locale's short date and medium time style; it
// reads back with VarDateFromStr.
HRESULT VarBstrFromDate(DATE date, LCID locale, ULONG flags, BSTR* out);
// Reads a date, a time, or both, written in one of the locale's styles or as
// ISO 8601 (yyyy-MM-dd[ HH:mm[:ss]]). DISP_E_TYPEMISMATCH when nothing fits
// the whole text.
HRESULT VarDateFromStr(const char16_t* text, LCID locale, ULONG flags, DATE* out);

namespace olvani {

// What the number functions need of a locale, from ICU's Latin-digit symbols.
struct NumberSymbols {
    std::u16string decimal;
    std::u16string group;
    std::u16string positiveSign;
    std::u16string negativeSign;
    int firstGroupSize = 3;  // next to the decimal separator
    int secondGroupSize = 3; // every further group
};

// The symbols of a locale number, or nullptr when ICU has no such locale.
// The pointer stays valid for the life of the calling thread.
const NumberSymbols* LocaleNumberSymbols(LCID locale);

// An ICU date pattern for a Windows date or time picture.
std::u16string IcuPatternFromPicture(std::u16string_view picture);

} // namespace olvani
