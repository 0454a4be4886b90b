// olvani-reg as an operator uses it: output, errors and exit codes.
#include "platform/tests/registry_test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

using RegistryTool = olvani::testing::TempRegistry;

struct ToolRun {
    int status;
    std::string out;
};

// Runs olvani-reg with `arguments` (shell syntax); standard error joins the output.
ToolRun Tool(const std::string& arguments) {
    std::string command = std::string(OLVANI_REG_TOOL) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST_F(RegistryTool, SetGetListAndDelete) {
    EXPECT_EQ(Tool("set 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace' TraceFlag 1").status, 0);
    EXPECT_EQ(Tool("set 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Olvani\\Trace' DisableTrace 0x10 "
                   "--dword")
                  .status,
              0);
    EXPECT_EQ(Tool("set 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\LNS' Blob 01,ff --binary").status, 0);
    ToolRun get = Tool("get 'hklm\\software\\tarvex\\olvani\\trace' traceflag");
    EXPECT_EQ(get.status, 0);
    EXPECT_EQ(get.out, "1\n");
    EXPECT_EQ(Tool("get 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace' DisableTrace").out, "16\n");
    EXPECT_EQ(Tool("get 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\LNS' Blob").out, "01,ff\n");
    EXPECT_EQ(Tool("get 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace'").out,
              "\"TraceFlag\"=\"1\"\n\"DisableTrace\"=dword:00000010\n");
    EXPECT_EQ(Tool("list 'HKLM\\SOFTWARE\\Tarvex\\Olvani'").out, "Trace\nLNS\n");
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag"), "1");

    EXPECT_EQ(Tool("delete 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace' TraceFlag").status, 0);
    EXPECT_EQ(Tool("get 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace' TraceFlag").status, 1);
    EXPECT_EQ(Tool("delete 'HKLM\\SOFTWARE\\Tarvex'").status, 0) << "the whole subtree";
    EXPECT_EQ(Tool("list 'HKLM\\SOFTWARE'").out, "");
}

TEST_F(RegistryTool, ExitCodesAndReadableErrors) {
    ToolRun missing = Tool("get 'HKLM\\SOFTWARE\\Nowhere' Value");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("HKLM\\SOFTWARE\\Nowhere: not found"), std::string::npos)
        << missing.out;
    EXPECT_EQ(Tool("").status, 2);
    EXPECT_EQ(Tool("frobnicate").status, 2);
    EXPECT_EQ(Tool("get").status, 2);
    EXPECT_EQ(Tool("get 'HKXX\\A'").status, 2);
    EXPECT_EQ(Tool("set 'HKLM\\A' N notanumber --dword").status, 2);
    ToolRun help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);

    WriteFile(HiveFile(), "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=what\n");
    ToolRun corrupt = Tool("set 'HKLM\\A' x 1");
    EXPECT_EQ(corrupt.status, 3);
    EXPECT_NE(corrupt.out.find(HiveFile() + ":2:"), std::string::npos) << corrupt.out;
}

TEST_F(RegistryTool, ExportThenImportRestoresTheRegistry) {
    Tool("set 'HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace' TraceFile 'C:\\x \"y\" \xC3\xA9'");
    Tool("set 'HKCU\\Software\\Tarvex' Level 3 --dword");
    ToolRun exported = Tool("export");
    ASSERT_EQ(exported.status, 0);
    const std::string file = dir_ + "/saved.reg";
    WriteFile(file, exported.out);
    EXPECT_EQ(Tool("delete 'HKLM\\SOFTWARE'").status, 0);
    EXPECT_EQ(Tool("delete 'HKCU\\Software'").status, 0);
    EXPECT_EQ(Tool("import '" + file + "'").status, 0);
    EXPECT_EQ(Tool("export").out, exported.out);
    EXPECT_EQ(GetString("SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFile"), "C:\\x \"y\" \xC3\xA9");
}

} // namespace
