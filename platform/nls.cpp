#include "platform/nls.h"

#include <langinfo.h>
#include <locale.h>
#include <unicode/ucal.h>
#include <unicode/udat.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace {

constexpr LCID kEnglishUs = 0x409;
// ICU's earliest date, used as the Gregorian change so that every date is
// read and written in the proleptic Gregorian calendar, as OLE dates are.
constexpr UDate kProlepticGregorian = -184303902528000000.0;

// The locale number of a C library locale name ("de_DE.UTF-8@euro").
LCID LcidFromCategory(int category) {
    const locale_t own = uselocale(static_cast<locale_t>(nullptr));
    const char* name = own == LC_GLOBAL_LOCALE ? setlocale(category, nullptr)
                                               : nl_langinfo_l(_NL_LOCALE_NAME(category), own);
    if (!name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
        std::strncmp(name, "C.", 2) == 0)
        return kEnglishUs;
    thread_local std::string lastName;
    thread_local LCID lastLcid = kEnglishUs;
    if (lastName != name) {
        std::string base(name, std::strcspn(name, ".@"));
        const uint32_t lcid = uloc_getLCID(base.c_str());
        lastName = name;
        lastLcid = lcid ? lcid : kEnglishUs;
    }
    return lastLcid;
}

// The ICU locale of a locale number with the given keywords, or "" when
// ICU knows no such number.
std::string IcuLocale(LCID locale, const char* keywords) {
    if (locale == 0 || locale == LOCALE_USER_DEFAULT)
        locale = GetUserDefaultLCID();
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLocaleForLCID(locale, name, sizeof name, &status);
    if (U_FAILURE(status) || !*name)
        return {};
    return std::string(name) + keywords;
}

struct DateFormatCloser {
    void operator()(UDateFormat* format) const { udat_close(format); }
};
using DateFormatPtr = std::unique_ptr<UDateFormat, DateFormatCloser>;

// A date format over UTC wall fields in the proleptic Gregorian calendar.
DateFormatPtr OpenDateFormat(const std::string& locale, UDateFormatStyle timeStyle,
                             UDateFormatStyle dateStyle, const std::u16string* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    const UChar* patternText = pattern ? pattern->c_str() : nullptr;
    const int32_t patternLength = pattern ? static_cast<int32_t>(pattern->size()) : 0;
    DateFormatPtr format(udat_open(timeStyle, dateStyle, locale.c_str(), u"UTC", 3, patternText,
                                   patternLength, &status));
    if (U_FAILURE(status))
        return nullptr;
    UCalendar* calendar = ucal_clone(udat_getCalendar(format.get()), &status);
    if (U_SUCCESS(status)) {
        ucal_setGregorianChange(calendar, kProlepticGregorian, &status);
        udat_setCalendar(format.get(), calendar);
        ucal_close(calendar);
    }
    return format;
}

UDate UDateFromSystemTime(const SYSTEMTIME& time) {
    const int64_t days = olvani::DaysFromCivil(time.wYear, time.wMonth, time.wDay);
    const int64_t seconds = days * 86400 + time.wHour * 3600 + time.wMinute * 60 + time.wSecond;
    return static_cast<UDate>(seconds) * 1000.0 + time.wMilliseconds;
}

int FormatFields(LCID locale, const SYSTEMTIME* time, const char16_t* picture, char16_t* out,
                 int capacity) {
    if (!time || !picture || capacity < 0 || (capacity > 0 && !out))
        return 0;
    const std::string icuLocale = IcuLocale(locale, "@calendar=gregorian;numbers=latn");
    if (icuLocale.empty())
        return 0;
    const std::u16string pattern = olvani::IcuPatternFromPicture(picture);
    DateFormatPtr format = OpenDateFormat(icuLocale, UDAT_PATTERN, UDAT_PATTERN, &pattern);
    if (!format)
        return 0;
    UErrorCode status = U_ZERO_ERROR;
    std::u16string text(64, u'\0');
    int32_t length = udat_format(format.get(), UDateFromSystemTime(*time), text.data(),
                                 static_cast<int32_t>(text.size()), nullptr, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        text.assign(static_cast<size_t>(length) + 1, u'\0');
        length = udat_format(format.get(), UDateFromSystemTime(*time), text.data(),
                             static_cast<int32_t>(text.size()), nullptr, &status);
    }
    if (U_FAILURE(status))
        return 0;
    if (capacity == 0)
        return length + 1;
    if (length + 1 > capacity)
        return 0;
    std::memcpy(out, text.data(), static_cast<size_t>(length) * sizeof(char16_t));
    out[length] = 0;
    return length + 1;
}

// Picture letters and their ICU fields; a run longer than listed takes the
// last entry.
const char16_t* IcuField(char16_t letter, size_t run) {
    static const std::unordered_map<char16_t, std::vector<const char16_t*>> kFields = {
        {u'd', {u"d", u"dd", u"EEE", u"EEEE"}},
        {u'M', {u"M", u"MM", u"MMM", u"MMMM"}},
        {u'y', {u"yy", u"yy", u"yyyy"}},
        {u'g', {u"G"}},
        {u'h', {u"h", u"hh"}},
        {u'H', {u"H", u"HH"}},
        {u'm', {u"m", u"mm"}},
        {u's', {u"s", u"ss"}},
        {u't', {u"aaaaa", u"a"}},
    };
    const auto found = kFields.find(letter);
    if (found == kFields.end())
        return nullptr;
    const auto& forms = found->second;
    return forms[run <= forms.size() ? run - 1 : forms.size() - 1];
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

} // namespace

LCID GetThreadLocale() {
    return LcidFromCategory(LC_NUMERIC);
}

LCID GetUserDefaultLCID() {
    return LcidFromCategory(LC_TIME);
}

namespace olvani {

std::u16string IcuPatternFromPicture(std::u16string_view picture) {
    std::u16string pattern;
    size_t i = 0;
    while (i < picture.size()) {
        char16_t c = picture[i];
        if (c == u'\'') { // 'quoted text', '' for a quote
            const size_t end = picture.find(u'\'', i + 1);
            const size_t stop = end == std::u16string_view::npos ? picture.size() : end;
            pattern += stop == i + 1 ? u"''" : u"'";
            for (size_t k = i + 1; k < stop; ++k)
                pattern +=
                    picture[k] == u'\'' ? std::u16string(u"''") : std::u16string(1, picture[k]);
            if (stop > i + 1)
                pattern += u'\'';
            i = stop + 1;
            continue;
        }
        // D, Y, S and T mean nothing in a picture; read them as d, y, s and t.
        if (c == u'D' || c == u'Y' || c == u'S' || c == u'T')
            c = static_cast<char16_t>(c + 32);
        size_t run = 1;
        while (i + run < picture.size() && (picture[i + run] == picture[i]))
            ++run;
        if (const char16_t* field = IcuField(c, run))
            pattern += field;
        else if (IsAsciiLetter(c))
            pattern += u"'" + std::u16string(picture.substr(i, run)) + u"'";
        else
            pattern += picture.substr(i, run);
        i += run;
    }
    return pattern;
}

const NumberSymbols* LocaleNumberSymbols(LCID locale) {
    thread_local std::unordered_map<LCID, std::optional<NumberSymbols>> cache;
    if (locale == 0)
        locale = GetThreadLocale();
    auto found = cache.find(locale);
    if (found != cache.end())
        return found->second ? &*found->second : nullptr;
    std::optional<NumberSymbols>& entry = cache[locale];
    const std::string icuLocale = IcuLocale(locale, "@numbers=latn");
    UErrorCode status = U_ZERO_ERROR;
    UNumberFormat* format = icuLocale.empty() ? nullptr
                                              : unum_open(UNUM_DECIMAL, nullptr, 0,
                                                          icuLocale.c_str(), nullptr, &status);
    if (!format || U_FAILURE(status))
        return nullptr;
    const auto symbol = [format](UNumberFormatSymbol which) {
        UChar text[16];
        UErrorCode error = U_ZERO_ERROR;
        const int32_t n = unum_getSymbol(format, which, text, 16, &error);
        return U_SUCCESS(error) ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
    };
    NumberSymbols symbols;
    symbols.decimal = symbol(UNUM_DECIMAL_SEPARATOR_SYMBOL);
    symbols.group = symbol(UNUM_GROUPING_SEPARATOR_SYMBOL);
    symbols.positiveSign = symbol(UNUM_PLUS_SIGN_SYMBOL);
    symbols.negativeSign = symbol(UNUM_MINUS_SIGN_SYMBOL);
    const int first = unum_getAttribute(format, UNUM_GROUPING_SIZE);
    const int second = unum_getAttribute(format, UNUM_SECONDARY_GROUPING_SIZE);
    symbols.firstGroupSize = first > 0 ? first : 3;
    symbols.secondGroupSize = second > 0 ? second : symbols.firstGroupSize;
    unum_close(format);
    entry = std::move(symbols);
    return &*entry;
}

} // namespace olvani

int GetDateFormatW(LCID locale, DWORD, const SYSTEMTIME* time, const char16_t* picture,
                   char16_t* out, int capacity) {
    return FormatFields(locale, time, picture, out, capacity);
}

int GetTimeFormatW(LCID locale, DWORD, const SYSTEMTIME* time, const char16_t* picture,
                   char16_t* out, int capacity) {
    return FormatFields(locale, time, picture, out, capacity);
}

namespace {

// Shortest round-trip digits of a finite, non-zero magnitude and its decimal
// exponent: value = d.ddd x 10^exponent.
void ShortestDigits(double magnitude, std::string* digits, int* exponent) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
    const std::string_view all(text, static_cast<size_t>(result.ptr - text));
    const size_t e = all.find('e');
    digits->clear();
    for (char c : all.substr(0, e))
        if (c != '.')
            *digits += c;
    *exponent = std::atoi(std::string(all.substr(e + 1)).c_str());
}

std::string PlainNumberText(double value) {
    if (value == 0.0)
        return "0";
    std::string digits;
    int exponent = 0;
    ShortestDigits(std::fabs(value), &digits, &exponent);
    std::string text = value < 0 ? "-" : "";
    const int count = static_cast<int>(digits.size());
    if (exponent < -7 || exponent >= 15) {
        text += digits[0];
        if (count > 1)
            text += "." + digits.substr(1);
        text += exponent < 0 ? "E-" : "E+";
        text += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        text += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (exponent >= count - 1) {
        text += digits + std::string(static_cast<size_t>(exponent - (count - 1)), '0');
    } else {
        text += digits.substr(0, static_cast<size_t>(exponent) + 1) + "." +
                digits.substr(static_cast<size_t>(exponent) + 1);
    }
    return text;
}

// The date styles a user may write, most specific first; time-only styles
// last (their date is day 0).
struct ParseStyle {
    UDateFormatStyle time;
    UDateFormatStyle date;
};
constexpr ParseStyle kParseStyles[] = {
    {UDAT_MEDIUM, UDAT_SHORT},  {UDAT_SHORT, UDAT_SHORT},  {UDAT_NONE, UDAT_SHORT},
    {UDAT_MEDIUM, UDAT_MEDIUM}, {UDAT_SHORT, UDAT_MEDIUM}, {UDAT_NONE, UDAT_MEDIUM},
    {UDAT_MEDIUM, UDAT_LONG},   {UDAT_SHORT, UDAT_LONG},   {UDAT_NONE, UDAT_LONG},
    {UDAT_NONE, UDAT_FULL},     {UDAT_MEDIUM, UDAT_NONE},  {UDAT_SHORT, UDAT_NONE},
};
const char16_t* const kIsoPatterns[] = {u"yyyy-MM-dd HH:mm:ss", u"yyyy-MM-dd'T'HH:mm:ss",
                                        u"yyyy-MM-dd HH:mm", u"yyyy-MM-dd"};

struct ParserSet {
    std::string locale;
    std::vector<std::pair<DateFormatPtr, bool>> formats; // format, reads a date
};

const ParserSet& ParsersFor(const std::string& locale) {
    thread_local std::unordered_map<std::string, ParserSet> cache;
    ParserSet& set = cache[locale];
    if (set.locale.empty()) {
        set.locale = locale;
        for (const char16_t* iso : kIsoPatterns) {
            const std::u16string pattern = iso;
            if (DateFormatPtr format = OpenDateFormat(locale, UDAT_PATTERN, UDAT_PATTERN, &pattern))
                set.formats.emplace_back(std::move(format), true);
        }
        for (const ParseStyle& style : kParseStyles)
            if (DateFormatPtr format = OpenDateFormat(locale, style.time, style.date, nullptr))
                set.formats.emplace_back(std::move(format), style.date != UDAT_NONE);
    }
    return set;
}

} // namespace

HRESULT VarBstrFromR8(double value, LCID locale, ULONG, BSTR* out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    if (!std::isfinite(value))
        return DISP_E_OVERFLOW;
    const olvani::NumberSymbols* symbols = olvani::LocaleNumberSymbols(locale);
    if (!symbols)
        return E_INVALIDARG;
    std::u16string text;
    for (char c : PlainNumberText(value))
        text += c == '.' ? symbols->decimal : std::u16string(1, static_cast<char16_t>(c));
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT VarBstrFromDate(DATE date, LCID locale, ULONG, BSTR* out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    SYSTEMTIME fields{};
    if (!VariantTimeToSystemTime(date, &fields))
        return DISP_E_OVERFLOW;
    const std::string icuLocale = IcuLocale(locale, "@calendar=gregorian;numbers=latn");
    DateFormatPtr format =
        icuLocale.empty() ? nullptr : OpenDateFormat(icuLocale, UDAT_MEDIUM, UDAT_SHORT, nullptr);
    if (!format)
        return E_INVALIDARG;
    UChar text[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        udat_format(format.get(), UDateFromSystemTime(fields), text, 256, nullptr, &status);
    if (U_FAILURE(status) || length >= 256)
        return E_UNEXPECTED;
    *out = SysAllocStringLen(text, static_cast<UINT>(length));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT VarDateFromStr(const char16_t* text, LCID locale, ULONG, DATE* out) {
    if (!text || !out)
        return E_INVALIDARG;
    std::u16string_view input(text);
    while (!input.empty() && (input.front() == u' ' || input.front() == u'\t'))
        input.remove_prefix(1);
    while (!input.empty() && (input.back() == u' ' || input.back() == u'\t'))
        input.remove_suffix(1);
    const std::string icuLocale = IcuLocale(locale, "@calendar=gregorian;numbers=latn");
    if (input.empty() || icuLocale.empty() || input.size() > 256)
        return DISP_E_TYPEMISMATCH;
    const int32_t length = static_cast<int32_t>(input.size());
    for (const auto& [format, readsDate] : ParsersFor(icuLocale).formats) {
        int32_t position = 0;
        UErrorCode status = U_ZERO_ERROR;
        const UDate parsed = udat_parse(format.get(), input.data(), length, &position, &status);
        if (U_FAILURE(status) || position != length)
            continue;
        const double seconds = std::floor(parsed / 1000.0);
        double days = std::floor(seconds / 86400.0);
        const double timeOfDay = (seconds - days * 86400.0) / 86400.0;
        if (!readsDate)
            days = static_cast<double>(olvani::DaysFromCivil(1899, 12, 30));
        SYSTEMTIME fields{};
        int64_t year = 0;
        unsigned month = 0, day = 0;
        olvani::CivilFromDays(static_cast<int64_t>(days), &year, &month, &day);
        if (year < 100 || year > 9999)
            continue;
        fields.wYear = static_cast<WORD>(year);
        fields.wMonth = static_cast<WORD>(month);
        fields.wDay = static_cast<WORD>(day);
        const int64_t secondsOfDay = std::llround(timeOfDay * 86400.0);
        fields.wHour = static_cast<WORD>(secondsOfDay / 3600);
        fields.wMinute = static_cast<WORD>(secondsOfDay / 60 % 60);
        fields.wSecond = static_cast<WORD>(secondsOfDay % 60);
        if (SystemTimeToVariantTime(&fields, out))
            return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}
