#include "platform/debugout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DebugOut, SinkReceivesWideAndNarrowTextAsUtf8) {
    std::vector<std::string> seen;
    auto previous = olvani::SetDebugOutputSink([&](std::string_view s) { seen.emplace_back(s); });
    OutputDebugStringW(u"TRACE : caf\u00e9\n");
    OutputDebugStringA("plain");
    OutputDebugStringW(nullptr);
    olvani::SetDebugOutputSink(std::move(previous));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "TRACE : caf\xC3\xA9\n");
    EXPECT_EQ(seen[1], "plain");
    EXPECT_EQ(seen[2], "");
}

TEST(DebugOut, StderrModeWritesWholeLines) {
    setenv("OLVANI_DEBUG_OUTPUT", "stderr", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("one");
    OutputDebugStringA("two\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "one\ntwo\n");
}
