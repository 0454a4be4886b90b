// What leaves the library: the designed names and nothing else.
#include "quessa_test_support.h"

#include <cstdio>
#include <set>

namespace quessa::testing {
namespace {

std::set<std::string> DynamicSymbols() {
    std::set<std::string> names;
    std::string command = "nm -D --defined-only '" QUESSA_LIBRARY "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        size_t last = text.find_last_of(' ');
        names.insert(text.substr(last + 1, text.find_first_of("\r\n") - last - 1));
    }
    ::pclose(pipe);
    return names;
}

TEST(ExportsTest, OnlyTheDesignedNamesLeaveTheLibrary) {
    std::set<std::string> expected{
        "ASFormatString1", "ASFormatString2", "ASFormatString3", "ASFormatString4",
        "ASVeskReportError2", "ASVeskReportError3", "ASVeskReportError4", "ASVeskEventExists",
        "ASGetErrorMsg", "ASLogEvent1", "ASLogEvent2", "ASLogEvent3", "ASLogEvent4",
        "ASLogAuditEvent1", "ASLogAuditEvent2", "ASLogAuditEvent3", "ASLogErrorEvent1",
        "ASLogErrorEvent2", "ASLogErrorEvent3", "ASLogFullEvent1", "ASLogFullEvent2",
        "ASLogFullEvent3",
        // The three C++ overloads of ASVeskReportError.
        "_Z17ASVeskReportErrorRK4GUIDjS1_iPKDsj", "_Z17ASVeskReportErrorRK4GUIDPKDsS1_i",
        "_Z17ASVeskReportErrorRK4GUIDjjPKDsS1_ijz",
        // The thread's error slot, shared by every module of a process.
        "olvani_thread_error_slot"};
    EXPECT_EQ(DynamicSymbols(), expected);
    for (const std::string& name : expected)
        EXPECT_NE(Library::Get().Function<void>(name.c_str()), nullptr) << name;
}

} // namespace
} // namespace quessa::testing
