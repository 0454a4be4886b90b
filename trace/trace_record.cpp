#include "trace/trace_record.h"

#include <algorithm>
#include <limits>

namespace morvale {
namespace {

constexpr std::u16string_view kDepthUnit = u"  |  ";
constexpr std::u16string_view kOpenQuote = u"\"";
constexpr std::u16string_view kCloseQuote = u"\", ";
constexpr std::u16string_view kEnterPrefix = u"Enter<";
constexpr std::u16string_view kEnterMiddle = u">: ";
constexpr std::u16string_view kExitPrefix = u"Exit: ";
constexpr size_t kModuleWidth = 30;

bool PutModuleColumn(RecordBuffer& out, std::u16string_view module) {
    size_t width = std::max(module.size(), kModuleWidth);
    if (!out.Fits(width + 1))
        return false;
    out.Put(module);
    out.PutRepeated(u" ", width - module.size());
    out.Put(u',');
    return true;
}

size_t UnitCount(RecordKind kind, LONG depth) {
    if (kind == RecordKind::Text)
        return depth <= 1 ? 1 : static_cast<size_t>(depth);
    return depth <= 0 ? 0 : static_cast<size_t>(depth);
}

bool PutMessageColumn(RecordBuffer& out, const RecordInput& in, LONG depth) {
    size_t units = UnitCount(in.kind, depth);
    size_t length = kOpenQuote.size() + units * kDepthUnit.size() + in.text.size();
    switch (in.kind) {
    case RecordKind::Enter:
        length += kEnterPrefix.size() + DecimalWidth(in.level) + kEnterMiddle.size() + 1;
        break;
    case RecordKind::Exit:
        length += kExitPrefix.size() + 1;
        break;
    case RecordKind::Text:
        break;
    }
    length += kCloseQuote.size();
    if (!out.Fits(length))
        return false;

    out.Put(kOpenQuote);
    out.PutRepeated(kDepthUnit, units);
    if (in.kind == RecordKind::Enter) {
        out.Put(kEnterPrefix);
        out.PutSigned(in.level);
        out.Put(kEnterMiddle);
    } else if (in.kind == RecordKind::Exit) {
        out.Put(kExitPrefix);
    }
    out.Put(in.text);
    if (in.kind != RecordKind::Text)
        out.Put(u' ');
    out.Put(kCloseQuote);
    return true;
}

// "%04ld,%04ld,%02d:%02d:%02d:%03d,%02d/%02d/%04d\n"
bool PutTail(RecordBuffer& out, const RecordInput& in) {
    const RecordTime& t = in.time;
    size_t timeLength = DecimalWidth(t.hour, 2) + DecimalWidth(t.minute, 2) +
                        DecimalWidth(t.second, 2) + DecimalWidth(t.millisecond, 3) +
                        DecimalWidth(t.month, 2) + DecimalWidth(t.day, 2) +
                        DecimalWidth(t.year, 4) + 6;
    size_t length =
        DecimalWidth(in.processId, 4) + 1 + DecimalWidth(in.threadId, 4) + 1 + timeLength + 1;
    if (!out.Fits(length))
        return false;
    out.PutUnsigned(in.processId, 4);
    out.Put(u',');
    out.PutUnsigned(in.threadId, 4);
    out.Put(u',');
    const auto field = [&](int value, int digits, char16_t after) {
        if (value < 0) {
            out.PutSigned(value);
        } else {
            out.PutUnsigned(static_cast<uint64_t>(value), digits);
        }
        if (after)
            out.Put(after);
    };
    field(t.hour, 2, u':');
    field(t.minute, 2, u':');
    field(t.second, 2, u':');
    field(t.millisecond, 3, u',');
    field(t.month, 2, u'/');
    field(t.day, 2, u'/');
    field(t.year, 4, u'\n');
    return true;
}

} // namespace

void RecordBuffer::Put(std::u16string_view text) {
    std::copy(text.begin(), text.end(), data_ + length_);
    length_ += text.size();
}

void RecordBuffer::PutRepeated(std::u16string_view unit, size_t times) {
    for (size_t i = 0; i < times; ++i)
        Put(unit);
}

void RecordBuffer::PutUnsigned(uint64_t value, int minDigits) {
    char16_t digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < minDigits && n < 24)
        digits[n++] = u'0';
    while (n > 0)
        Put(digits[--n]);
}

void RecordBuffer::PutSigned(int64_t value) {
    if (value < 0) {
        Put(u'-');
        PutUnsigned(0 - static_cast<uint64_t>(value), 1);
    } else {
        PutUnsigned(static_cast<uint64_t>(value), 1);
    }
}

size_t DecimalWidth(int64_t value, int minDigits) {
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
    int digits = 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++digits;
    }
    return static_cast<size_t>(std::max(digits, minDigits)) + (value < 0 ? 1 : 0);
}

RecordResult FormatRecord(RecordBuffer& out, const RecordInput& input, LONG& depth) {
    out.Clear();
    if (input.kind == RecordKind::Exit && depth > std::numeric_limits<LONG>::min())
        --depth;
    bool formatted = PutModuleColumn(out, input.module) && PutMessageColumn(out, input, depth);
    if (input.kind == RecordKind::Enter && depth < std::numeric_limits<LONG>::max())
        ++depth;
    if (!formatted)
        return RecordResult::Dropped;
    return PutTail(out, input) ? RecordResult::Complete : RecordResult::NoTail;
}

size_t EncodeForFile(std::u16string_view record, char* out) {
    size_t n = 0;
    const auto put = [&](unsigned value) { out[n++] = static_cast<char>(value); };
    for (size_t i = 0; i < record.size(); ++i) {
        char32_t cp = record[i];
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            bool paired = cp <= 0xDBFF && i + 1 < record.size() && record[i + 1] >= 0xDC00 &&
                          record[i + 1] <= 0xDFFF;
            if (paired) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (record[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        }
        if (cp == u'\n') {
            put('\r');
            put('\n');
        } else if (cp < 0x80) {
            put(cp);
        } else if (cp < 0x800) {
            put(0xC0 | (cp >> 6));
            put(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            put(0xE0 | (cp >> 12));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        } else {
            put(0xF0 | (cp >> 18));
            put(0x80 | ((cp >> 12) & 0x3F));
            put(0x80 | ((cp >> 6) & 0x3F));
            put(0x80 | (cp & 0x3F));
        }
    }
    return n;
}

} // namespace morvale
