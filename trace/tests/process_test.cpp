// The shared library and the module helper in processes of their own (the
// trace object is process-wide), switched and shared across processes.
#include "trace/tests/trace_test_support.h"

#include <fcntl.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morvale {
namespace {

class ProcessTest : public testing::TraceTest {
protected:
    struct Child {
        pid_t pid = -1;
        int out = -1; // the child's standard output
    };

    std::string File() const { return dir_ + "/trace.csv"; }
    std::string ErrFile(const Child& child) const {
        return dir_ + "/stderr." + std::to_string(child.pid);
    }

    // Standard output comes back through a pipe, standard error (the
    // debugger output) goes to a file named after the child.
    Child Spawn(std::vector<std::string> args) {
        int pipeFds[2];
        EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        std::string err = dir_ + "/stderr.tmp" + std::to_string(spawned_++);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::setenv("OLVANI_DEBUG_OUTPUT", "stderr", 1);
        Child child;
        EXPECT_EQ(::posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        child.out = pipeFds[0];
        std::filesystem::rename(err, ErrFile(child));
        return child;
    }
    static std::string ReadAll(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    static std::string ReadLine(int fd) {
        std::string line;
        char c;
        while (::read(fd, &c, 1) == 1 && c != '\n')
            line.push_back(c);
        return line;
    }
    static int Wait(Child& child) {
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Run(std::vector<std::string> args, std::string* out = nullptr) {
        Child child = Spawn(std::move(args));
        std::string text = ReadAll(child.out);
        if (out)
            *out = text;
        return Wait(child);
    }
    size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }

private:
    int spawned_ = 0;
};

TEST_F(ProcessTest, ExportsOfTheSharedLibrary) {
    CreateKey();
    std::string out;
    ASSERT_EQ(Run({TRACE_DRIVER, "exports"}, &out), 0);
    // The driver's own module object took id 1 at load; with TraceFlag 0 an
    // Entry leaves the depth alone.
    EXPECT_EQ(
        out,
        "ids 2 3 4\nfn 42 n 0\nunknown 0 0 0 0\nnames 1 6 6 0\ncopies 1\nflag 1 on 0 indent 0\n");
}

TEST_F(ProcessTest, ModuleHelperRecords) {
    TraceToFile(File());
    Child child = Spawn({TRACE_DRIVER, "client"});
    ASSERT_EQ(Wait(child), 0);
    auto lines = Lines(File());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].substr(0, 31), "TraceDriver                   ,");
    EXPECT_EQ(Message(lines[0]), "\"Enter<5>: Client \"");
    EXPECT_EQ(Message(lines[1]), "\"  |  Enter<6>: ParseCount \"");
    EXPECT_EQ(Message(lines[2]), "\"  |    |  Invalid count '', error 87\"");
    EXPECT_EQ(Message(lines[3]), "\"  |  Exit: ParseCount \"");
    EXPECT_EQ(Message(lines[4]), "\"  |  " + std::string(4095, 'a') + "\"");
    EXPECT_EQ(Message(lines[5]), "\"  |  " + std::string(4095, 'b') + "\"");
    EXPECT_EQ(Message(lines[6]), "\"Exit: Client \"");
    std::string err = ReadFile(ErrFile(child));
    EXPECT_EQ(Count(err, "WARNING: string passed to trace is larger than the trace buffer, the "
                         "string is truncated\n"),
              1u);
    EXPECT_EQ(Count(err, "failed"), 0u);
}

TEST_F(ProcessTest, TraceFlagSwitchedOnByAnotherProcess) {
    Set(u"TraceFile", File());
    Set(u"WriteToFile", u"1");
    Set(u"TraceKey", u"TraceDriver");
    Set(u"TraceFlag", u"0");
    Child child = Spawn({TRACE_DRIVER, "wait-on"});
    ASSERT_EQ(ReadLine(child.out), "ready");
    EXPECT_EQ(Run({OLVANI_REG, "set", "HKLM\\SOFTWARE\\Tarvex\\Olvani\\Trace", "TraceFlag", "1"}),
              0);
    ASSERT_EQ(Wait(child), 0);
    auto lines = Lines(File());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Message(lines[0]), "\"Enter<1>: SwitchedOn \"");
    EXPECT_EQ(Message(lines[1]), "\"Exit: SwitchedOn \"");
    // At exit the watch thread is stopped before the trace object goes.
    std::string err = ReadFile(ErrFile(child));
    size_t stopped = err.find("TRACE : Stopped NotifyRegistryChange Thread\n");
    size_t freed = err.find("Freed NotifyRegistryChange Thread data\n");
    size_t gone = err.find("TRACE : ~CTrace is successful \n");
    EXPECT_LT(stopped, freed);
    EXPECT_LT(freed, gone);
    EXPECT_NE(gone, std::string::npos);
}

TEST_F(ProcessTest, TwoProcessesAppendOnlyWholeLines) {
    TraceToFile(File());
    constexpr int kRecords = 3000;
    Child a = Spawn({TRACE_DRIVER, "append", std::to_string(kRecords), "first"});
    Child b = Spawn({TRACE_DRIVER, "append", std::to_string(kRecords), "second"});
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);
    const std::regex whole(
        R"(^(first {25}|second {24}),"  \|  record \d+ of (first|second) x{180}", )"
        R"(\d{4,},\d{4,},\d\d:\d\d:\d\d:\d{3},\d\d/\d\d/\d{4}$)");
    std::map<std::string, int> counts;
    for (const auto& line : Lines(File())) {
        if (line.find("record") == std::string::npos)
            continue; // the Enter and Exit records
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
        ++counts[line.substr(0, line.find(' '))];
    }
    EXPECT_EQ(counts["first"], kRecords);
    EXPECT_EQ(counts["second"], kRecords);
}

// Running out of memory inside the library, at start-up, in an export or in
// the watch thread's re-read, never ends the traced program.
TEST_F(ProcessTest, OutOfMemoryNeverEndsTheTracedProgram) {
    constexpr size_t kUnits = 600;
    const std::string size = std::to_string((kUnits + 1) * sizeof(char16_t));
    const std::u16string longKey(kUnits, u'k');
    TraceToFile(File(), longKey);
    Child first = Spawn({TRACE_DRIVER, "no-memory", size});
    EXPECT_EQ(ReadAll(first.out), "on 0 named 0 failed 1\n");
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Count(ReadFile(ErrFile(first)), "TRACE Exception in Initialize. Trace turned OFF"),
              1u);

    Set(u"TraceKey", u"*");
    Child child = Spawn({TRACE_DRIVER, "no-memory-watch", size});
    ASSERT_EQ(ReadLine(child.out), "ready");
    Set(u"TraceKey", longKey);
    EXPECT_EQ(ReadLine(child.out), "failed 1");
    // The thread still follows the settings.
    Set(u"TraceFlag", u"0");
    EXPECT_EQ(Wait(child), 0);
    EXPECT_GE(Count(ReadFile(ErrFile(child)), "TRACE : Exception while reading the trace settings"),
              1u);
}

} // namespace
} // namespace morvale
