// The library in a fresh process: loading with and without its language
// resources, and what it traces.
#include "platform/tests/registry_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The driver's standard output and error, run with extra environment.
std::string RunDriver(const std::string& environment, const char* mode = "") {
    const std::string command = "env " + environment + " " FRAME_DRIVER " " + mode + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    if (pipe) {
        EXPECT_EQ(pclose(pipe), 0);
    }
    return output;
}

TEST(LibraryFrame, WithoutLanguageResourcesEveryExportFailsAtOnce) {
    const std::string output =
        RunDriver("DISPLAY= WAYLAND_DISPLAY= OLVANI_RESOURCE_DIR=/nonexistent-olvani-resources");
    EXPECT_NE(output.find("NLS DLL not installed !"), std::string::npos) << output;
    EXPECT_NE(output.find("result 8000ffff"), std::string::npos) << output;
}

TEST(LibraryFrame, WithItsResourcesTheLibraryWorks) {
    EXPECT_NE(RunDriver("DISPLAY=").find("result 00000000"), std::string::npos);
}

using TracedLibrary = olvani::testing::TempRegistry;

TEST_F(TracedLibrary, WriteWithNeitherKeyNorNameNamesOnlyTheKey) {
    const char* trace = "SOFTWARE\\Tarvex\\Olvani\\Trace";
    const std::string traceFile = dir_ + "/trace.csv";
    SetString(trace, "TraceFile", traceFile);
    SetString(trace, "TraceLevel", "9");
    SetString(trace, "TraceKey", "*");
    SetString(trace, "WriteToFile", "1");
    SetString(trace, "TraceFlag", "1");
    EXPECT_NE(RunDriver("OLVANI_REGISTRY_DIR=" + dir_, "put-nulls").find("result 80070057"),
              std::string::npos);
    const std::string written = ReadFile(traceFile);
    EXPECT_NE(written.find("Invalid Argument - 'regKey'"), std::string::npos) << written;
    EXPECT_EQ(written.find("'strName'"), std::string::npos) << written;
}

} // namespace
