// Loading the library in a fresh process, with and without its language
// resources.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The driver's standard output and error, run with extra environment.
std::string RunDriver(const std::string& environment) {
    const std::string command = "env " + environment + " " FRAME_DRIVER " 2>&1";
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

} // namespace
