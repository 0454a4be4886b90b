// GetTimeZoneInformation: the zone's POSIX rule, read from the TZif file the
// C library uses (or from TZ itself when it holds a rule), kept until the
// zone or its file changes.
#include "platform/datetime.h"
#include "platform/strings.h"

#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

namespace {

constexpr off_t kMaxZoneFileSize = 1 << 20;
constexpr const char* kDefaultZoneFolder = "/usr/share/zoneinfo";

// --- the POSIX rule ---------------------------------------------------------

bool ReadZoneName(const char*& p, std::string* name) {
    const char* start = p;
    if (*p == '<') {
        start = ++p;
        while (*p && *p != '>')
            ++p;
        if (*p != '>')
            return false;
        name->assign(start, p++);
        return !name->empty();
    }
    while (std::isalpha(static_cast<unsigned char>(*p)))
        ++p;
    name->assign(start, p);
    return name->size() >= 3;
}

bool ReadNumber(const char*& p, int limit, int* value) {
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    int n = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        n = n * 10 + (*p++ - '0');
        if (n > limit)
            return false;
    }
    *value = n;
    return true;
}

// [+-]hh[:mm[:ss]] in seconds.
bool ReadClock(const char*& p, int* seconds) {
    int sign = 1;
    if (*p == '+' || *p == '-')
        sign = *p++ == '-' ? -1 : 1;
    int hours = 0, minutes = 0, secs = 0;
    if (!ReadNumber(p, 167, &hours))
        return false;
    if (*p == ':' && (++p, !ReadNumber(p, 59, &minutes)))
        return false;
    if (*p == ':' && (++p, !ReadNumber(p, 59, &secs)))
        return false;
    *seconds = sign * (hours * 3600 + minutes * 60 + secs);
    return true;
}

// ,Mm.w.d[/time] into the record's day-in-month form. A Julian-day rule
// (Jn or n) has no such form; it is read and leaves `julian` set.
bool ReadTransition(const char*& p, SYSTEMTIME* rule, bool* julian) {
    int month = 0, week = 0, weekday = 0, time = 2 * 3600;
    if (*p == 'M') {
        ++p;
        if (!ReadNumber(p, 12, &month) || month < 1 || *p++ != '.' || !ReadNumber(p, 5, &week) ||
            week < 1 || *p++ != '.' || !ReadNumber(p, 6, &weekday))
            return false;
    } else {
        int day = 0;
        if (*p == 'J')
            ++p;
        if (!ReadNumber(p, 365, &day))
            return false;
        *julian = true;
    }
    if (*p == '/' && (++p, !ReadClock(p, &time)))
        return false;
    // The record holds a time of day; rules firing before midnight or after
    // 24:00 (a few zones) are kept at the nearest end of the day.
    time = time < 0 ? 0 : time >= 86400 ? 86399 : time;
    *rule = SYSTEMTIME{0,
                       static_cast<WORD>(month),
                       static_cast<WORD>(weekday),
                       static_cast<WORD>(week),
                       static_cast<WORD>(time / 3600),
                       static_cast<WORD>(time / 60 % 60),
                       static_cast<WORD>(time % 60),
                       0};
    return true;
}

void CopyName(const std::string& name, char16_t (&out)[32]) {
    const std::u16string wide = olvani::Utf8ToUtf16(name);
    const size_t n = wide.size() < 31 ? wide.size() : 31;
    std::memcpy(out, wide.data(), n * sizeof(char16_t));
    out[n] = 0;
}

} // namespace

namespace olvani {

bool ParsePosixZoneRule(const char* rule, TIME_ZONE_INFORMATION* zone) {
    if (!rule || !zone)
        return false;
    const char* p = rule;
    std::string standardName, daylightName;
    int standardOffset = 0;
    if (!ReadZoneName(p, &standardName) || !ReadClock(p, &standardOffset))
        return false;
    TIME_ZONE_INFORMATION out{};
    out.Bias = standardOffset / 60; // POSIX offsets, like the bias, count west
    CopyName(standardName, out.StandardName);
    if (*p == '\0') {
        *zone = out;
        return true;
    }
    if (!ReadZoneName(p, &daylightName))
        return false;
    int daylightOffset = standardOffset - 3600;
    if (*p && *p != ',' && !ReadClock(p, &daylightOffset))
        return false;
    // No rule after the daylight name: the US rule, as the C library assumes.
    const char* rules = *p ? p : ",M3.2.0,M11.1.0";
    bool julian = false;
    if (*rules++ != ',' || !ReadTransition(rules, &out.DaylightDate, &julian) || *rules++ != ',' ||
        !ReadTransition(rules, &out.StandardDate, &julian) || *rules != '\0')
        return false;
    CopyName(daylightName, out.DaylightName);
    out.DaylightBias = (daylightOffset - standardOffset) / 60;
    if (julian) {
        out.DaylightDate = SYSTEMTIME{};
        out.StandardDate = SYSTEMTIME{};
        out.DaylightBias = 0;
    }
    *zone = out;
    return true;
}

} // namespace olvani

namespace {

struct ZoneSource {
    bool tzSet = false;
    std::string tz;       // TZ as the process has it
    std::string path;     // the TZif file, or "" when TZ holds a rule
    struct stat stamp {}; // of the file when it was read
};

bool SameStamp(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The file the C library reads for this TZ. Names climbing out of the zone
// folder are refused; in a set-id program TZDIR is ignored.
std::string ZoneFilePath(bool tzSet, const std::string& tz) {
    if (!tzSet)
        return "/etc/localtime";
    const std::string name = tz[0] == ':' ? tz.substr(1) : tz;
    if (name.empty() || name.find("..") != std::string::npos)
        return {};
    if (name[0] == '/')
        return name;
    const char* folder = secure_getenv("TZDIR");
    return std::string(folder && *folder ? folder : kDefaultZoneFolder) + "/" + name;
}

// The rule text at the end of a version 2+ TZif file: the last line.
bool ReadZoneFileRule(int fd, const struct stat& info, std::string* rule) {
    if (!S_ISREG(info.st_mode) || info.st_size < 44 || info.st_size > kMaxZoneFileSize)
        return false;
    std::string data(static_cast<size_t>(info.st_size), '\0');
    if (pread(fd, data.data(), data.size(), 0) != static_cast<ssize_t>(data.size()))
        return false;
    if (data.compare(0, 4, "TZif") != 0)
        return false;
    rule->clear();
    if (data[4] >= '2' && data.back() == '\n') {
        const size_t start = data.rfind('\n', data.size() - 2);
        if (start != std::string::npos)
            rule->assign(data, start + 1, data.size() - start - 2);
    }
    return true;
}

// Without a rule (an old TZif file): the present offset, no daylight rules.
TIME_ZONE_INFORMATION RecordFromLocalTime() {
    TIME_ZONE_INFORMATION zone{};
    tzset();
    const time_t now = time(nullptr);
    tm fields{};
    if (localtime_r(&now, &fields))
        zone.Bias = static_cast<LONG>(-fields.tm_gmtoff / 60);
    return zone;
}

TIME_ZONE_INFORMATION LoadZone(bool tzSet, const std::string& tz, ZoneSource* source) {
    source->tzSet = tzSet;
    source->tz = tz;
    source->path = ZoneFilePath(tzSet, tz);
    TIME_ZONE_INFORMATION zone{};
    const int fd = source->path.empty() ? -1 : open(source->path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string rule;
    bool fromFile = false;
    if (fd >= 0) {
        fromFile = fstat(fd, &source->stamp) == 0 && ReadZoneFileRule(fd, source->stamp, &rule);
        close(fd);
    }
    if (!fromFile) {
        source->path.clear();
        // TZ holding a rule itself; anything unreadable means UTC, as in the C library.
        if (!olvani::ParsePosixZoneRule(tz.c_str(), &zone))
            zone = TIME_ZONE_INFORMATION{};
        return zone;
    }
    if (rule.empty() || !olvani::ParsePosixZoneRule(rule.c_str(), &zone))
        zone = RecordFromLocalTime();
    return zone;
}

std::mutex g_zoneLock;
ZoneSource g_zoneSource;
TIME_ZONE_INFORMATION g_zone{};
bool g_zoneLoaded = false;

} // namespace

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone) {
    if (!zone)
        return TIME_ZONE_ID_INVALID;
    const char* tzValue = getenv("TZ");
    const std::string tz = tzValue ? tzValue : "";
    {
        std::lock_guard<std::mutex> lock(g_zoneLock);
        struct stat now {};
        const bool current =
            g_zoneLoaded && g_zoneSource.tzSet == (tzValue != nullptr) && g_zoneSource.tz == tz &&
            (g_zoneSource.path.empty() ||
             (stat(g_zoneSource.path.c_str(), &now) == 0 && SameStamp(now, g_zoneSource.stamp)));
        if (!current) {
            g_zone = LoadZone(tzValue != nullptr, tz, &g_zoneSource);
            g_zoneLoaded = true;
        }
        *zone = g_zone;
    }
    if (zone->StandardDate.wMonth == 0 || zone->DaylightDate.wMonth == 0)
        return TIME_ZONE_ID_UNKNOWN;
    tzset();
    const time_t now = time(nullptr);
    tm fields{};
    if (!localtime_r(&now, &fields))
        return TIME_ZONE_ID_UNKNOWN;
    return fields.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}
