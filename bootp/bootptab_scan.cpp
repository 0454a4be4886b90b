// Value scanners of the table file reader.
#include "bootp/bootptab_scan.h"

#include "bootp/bootp_message.h"

#include <arpa/inet.h>

namespace bootptab_scan {

size_t ScanString(const char*& p, char* out, size_t capacity) {
    bool quoted = false;
    size_t n = 0;
    for (; *p != '\0' && (quoted || *p != ':'); ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (n + 1 < capacity) {
            out[n++] = *p;
        }
    }
    while (n > 0 && IsSpace(out[n - 1])) {
        --n;
    }
    out[n] = '\0';
    return n;
}

uint32_t ScanNumber(const char*& p) {
    uint32_t base = 10;
    if (*p == '0') {
        base = 8;
        ++p;
    }
    if (*p == 'x' || *p == 'X') {
        base = 16;
        ++p;
    }
    uint32_t value = 0;
    for (;; ++p) {
        int digit = HexDigit(*p);
        if (digit < 0 || (digit > 9 && base != 16)) {
            return value;
        }
        value = value * base + static_cast<uint32_t>(digit);
    }
}

int ScanAddressList(const char*& p, uint32_t* out) {
    int count = 0;
    while (count < kMaxListAddresses) {
        SkipSpace(p);
        uint32_t address = 0;
        if (*p == '\0' || !ScanAddress(&p, &address)) {
            break;
        }
        out[count++] = address;
    }
    return count;
}

bool ScanHexByte(const char*& p, uint8_t* out) {
    const char* q = p;
    if (q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) {
        q += 2;
    }
    int high = HexDigit(q[0]);
    if (high < 0) {
        return false;
    }
    int low = HexDigit(q[1]);
    if (low < 0) {
        return false;
    }
    *out = static_cast<uint8_t>(high << 4 | low);
    p = q + 2;
    return true;
}

bool ScanTimeOffset(const char* p, int32_t* out) {
    SkipSpace(p);
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    if (!IsDigit(*p)) {
        return false;
    }
    int64_t value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t{1} << 31) {
            return false;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return false;
    }
    *out = static_cast<int32_t>(value);
    return true;
}

} // namespace bootptab_scan

using namespace bootptab_scan;

bool ScanAddress(const char** cursor, uint32_t* networkOrder) {
    const char* p = *cursor;
    uint32_t parts[4];
    int count = 0;
    for (;;) {
        if (!IsDigit(*p) || count == 4) {
            return false;
        }
        parts[count++] = ScanNumber(p);
        if (*p != '.') {
            break;
        }
        ++p;
    }
    if (*p != '\0' && !IsSpace(*p) && *p != ':') {
        return false;
    }
    uint32_t value = parts[0];
    if (count == 2) {
        value = parts[0] << 24 | (parts[1] & 0xFFFFFF);
    } else if (count == 3) {
        value = parts[0] << 24 | (parts[1] & 0xFF) << 16 | (parts[2] & 0xFFFF);
    } else if (count == 4) {
        value =
            parts[0] << 24 | (parts[1] & 0xFF) << 16 | (parts[2] & 0xFF) << 8 | (parts[3] & 0xFF);
    }
    *networkOrder = htonl(value);
    *cursor = p;
    return true;
}

bool GoodHostName(const char* name) {
    const char* p = name;
    for (;;) {
        if (!IsLetter(*p)) {
            return false;
        }
        char last = *p++;
        while (IsLetter(*p) || IsDigit(*p) || *p == '-') {
            last = *p++;
        }
        if (last == '-') {
            return false;
        }
        if (*p == '\0') {
            return true;
        }
        if (*p++ != '.') {
            return false;
        }
    }
}
