// Building one trace record: the padded module column, the quoted message
// with its depth units, and the tail with process, thread, time and date.
// Everything works in fixed buffers so that writing a record never touches
// the heap.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <string_view>

namespace morvale {

// Room for one record, terminator included, in UTF-16 units.
constexpr size_t kRecordCapacity = 8192;
// The widest UTF-8 form of a record: three bytes per unit at most (a line
// feed grows to two, a surrogate pair to four for two units).
constexpr size_t kEncodedCapacity = kRecordCapacity * 3;

struct RecordTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int month = 0;
    int day = 0;
    int year = 0;
};

enum class RecordKind { Enter, Exit, Text };

enum class RecordResult {
    Complete, // the whole record with its line end
    NoTail,   // the tail did not fit: written without tail and line end
    Dropped,  // the module or message column did not fit: nothing to write
};

struct RecordInput {
    std::u16string_view module;
    RecordKind kind = RecordKind::Text;
    LONG level = 0;
    std::u16string_view text;
    DWORD processId = 0;
    DWORD threadId = 0;
    RecordTime time;
};

// A fixed buffer of kRecordCapacity units. A step is appended whole or not at
// all, and always leaves room for the terminator.
class RecordBuffer {
public:
    void Clear() { length_ = 0; }
    std::u16string_view View() const { return {data_, length_}; }
    // NUL-terminated text of the record.
    const char16_t* CStr() {
        data_[length_] = 0;
        return data_;
    }
    size_t Room() const { return kRecordCapacity - 1 - length_; }
    bool Fits(size_t units) const { return units <= Room(); }

    // The raw appenders do not check the room; callers check a whole step.
    void Put(char16_t c) { data_[length_++] = c; }
    void Put(std::u16string_view text);
    void PutRepeated(std::u16string_view unit, size_t times);
    void PutUnsigned(uint64_t value, int minDigits);
    void PutSigned(int64_t value);

private:
    char16_t data_[kRecordCapacity];
    size_t length_ = 0;
};

// Number of decimal digits (and sign) `value` prints with.
size_t DecimalWidth(int64_t value, int minDigits = 1);

// Formats one record into `out` and moves `depth`, the calling thread's
// depth, as the record kind demands: an Exit lowers it before formatting, an
// Enter raises it afterwards, even when the record itself is dropped, so that
// the pairs stay balanced.
RecordResult FormatRecord(RecordBuffer& out, const RecordInput& input, LONG& depth);

// Converts a record to the file's form: UTF-8 with every line feed written as
// CR LF, ill-formed UTF-16 as U+FFFD. `out` holds kEncodedCapacity bytes.
// Returns the byte count.
size_t EncodeForFile(std::u16string_view record, char* out);

} // namespace morvale
