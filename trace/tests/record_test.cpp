#include "trace/trace_record.h"

#include <gtest/gtest.h>

#include <string>

namespace morvale {
namespace {

RecordInput Input(std::u16string_view module, RecordKind kind, LONG level,
                  std::u16string_view text) {
    RecordInput in;
    in.module = module;
    in.kind = kind;
    in.level = level;
    in.text = text;
    in.processId = 1234;
    in.threadId = 456;
    in.time = RecordTime{9, 5, 7, 89, 2, 3, 2003};
    return in;
}

std::u16string Format(const RecordInput& in, LONG& depth,
                      RecordResult expected = RecordResult::Complete) {
    RecordBuffer buffer;
    EXPECT_EQ(FormatRecord(buffer, in, depth), expected);
    return std::u16string(buffer.View());
}

TEST(TraceRecord, EntryTextExitLayoutByteForByte) {
    LONG depth = 0;
    EXPECT_EQ(Format(Input(u"dravik", RecordKind::Enter, 5, u"ASVeskGetCurrentDate"), depth),
              u"dravik                        ,\"Enter<5>: ASVeskGetCurrentDate \", "
              u"1234,0456,09:05:07:089,02/03/2003\n");
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(Format(Input(u"dravik", RecordKind::Text, 5, u"Invalid input date."), depth),
              u"dravik                        ,\"  |  Invalid input date.\", "
              u"1234,0456,09:05:07:089,02/03/2003\n");
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(Format(Input(u"dravik", RecordKind::Exit, 5, u"ASVeskGetCurrentDate"), depth),
              u"dravik                        ,\"Exit: ASVeskGetCurrentDate \", "
              u"1234,0456,09:05:07:089,02/03/2003\n");
    EXPECT_EQ(depth, 0);
}

TEST(TraceRecord, DepthUnitsFollowNesting) {
    // Enter, Enter, text, Exit, Exit: 0, 1, 2, 1, 0 units.
    LONG depth = 0;
    const auto message = [&](RecordKind kind, std::u16string_view text) {
        std::u16string line = Format(Input(u"m", kind, 3, text), depth);
        size_t open = line.find(u'"');
        return line.substr(open, line.find(u"\", ") - open);
    };
    EXPECT_EQ(message(RecordKind::Enter, u"outer"), u"\"Enter<3>: outer ");
    EXPECT_EQ(message(RecordKind::Enter, u"inner"), u"\"  |  Enter<3>: inner ");
    EXPECT_EQ(message(RecordKind::Text, u"t"), u"\"  |    |  t");
    EXPECT_EQ(message(RecordKind::Exit, u"inner"), u"\"  |  Exit: inner ");
    EXPECT_EQ(message(RecordKind::Exit, u"outer"), u"\"Exit: outer ");
    // A text record at depth 0 still carries one unit.
    EXPECT_EQ(message(RecordKind::Text, u"t"), u"\"  |  t");
    // Exit without Entry: depth -1 and no units, for the next Entry too.
    EXPECT_EQ(message(RecordKind::Exit, u"lonely"), u"\"Exit: lonely ");
    EXPECT_EQ(depth, -1);
    EXPECT_EQ(message(RecordKind::Enter, u"next"), u"\"Enter<3>: next ");
    EXPECT_EQ(depth, 0);
    depth = 0;
    EXPECT_EQ(Format(Input(u"m", RecordKind::Enter, -2, u"x"), depth).find(u"Enter<-2>: x "), 32u);
}

TEST(TraceRecord, LimitsOfTheBuffer) {
    const std::u16string module = u"m";
    const size_t fixed = 31 + 1 + 5 + 3; // module column, quote, one unit, closing
    const size_t tail = std::u16string(u"1234,0456,09:05:07:089,02/03/2003\n").size();
    LONG depth = 0;

    // Longest text that still takes the tail: 8191 units in all.
    std::u16string text(kRecordCapacity - 1 - fixed - tail, u'a');
    EXPECT_EQ(Format(Input(module, RecordKind::Text, 1, text), depth).size(), kRecordCapacity - 1);

    // One more: written without the tail and line end.
    text.push_back(u'a');
    std::u16string line =
        Format(Input(module, RecordKind::Text, 1, text), depth, RecordResult::NoTail);
    EXPECT_EQ(line.size(), fixed + text.size());
    EXPECT_EQ(line.substr(line.size() - 3), u"\", ");

    // The message column itself does not fit: dropped.
    text.assign(kRecordCapacity - fixed, u'a');
    Format(Input(module, RecordKind::Text, 1, text), depth, RecordResult::Dropped);

    // A dropped Enter still deepens, so its Exit brings the thread back.
    depth = 0;
    Format(Input(module, RecordKind::Enter, 1, text), depth, RecordResult::Dropped);
    EXPECT_EQ(depth, 1);
    Format(Input(module, RecordKind::Exit, 1, text), depth, RecordResult::Dropped);
    EXPECT_EQ(depth, 0);

    // Too many depth units, and a module name longer than the buffer.
    depth = 2000;
    Format(Input(module, RecordKind::Text, 1, u"deep"), depth, RecordResult::Dropped);
    depth = 0;
    Format(Input(std::u16string(kRecordCapacity, u'n'), RecordKind::Text, 1, u"x"), depth,
           RecordResult::Dropped);
}

TEST(TraceRecord, FileFormIsUtf8WithCrLf) {
    char out[kEncodedCapacity];
    std::u16string record = u"a\u00e9\u20ac\U0001F600\n";
    std::string encoded(out, EncodeForFile(record, out));
    EXPECT_EQ(encoded, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n");
    // A lone surrogate becomes U+FFFD instead of broken bytes.
    std::u16string lone = {u'x', 0xD800, u'y'};
    EXPECT_EQ(std::string(out, EncodeForFile(lone, out)), "x\xEF\xBF\xBDy");
    // The worst case fits the buffer.
    std::u16string widest(kRecordCapacity - 1, u'\u20ac');
    EXPECT_LE(EncodeForFile(widest, out), kEncodedCapacity);
}

} // namespace
} // namespace morvale
