// The trace object against the real registry layer and real files, one
// private instance per test.
#include "trace/ctrace.h"
#include "trace/tests/trace_test_support.h"
#include "trace/trace_watch.h"

#include <barrier>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace morvale {
namespace {

using testing::TraceTest;

class CTraceTest : public TraceTest {
protected:
    std::string File() const { return dir_ + "/trace.csv"; }
    LONG Module(CTrace& trace, const char16_t* name) {
        LONG id = 0;
        EXPECT_TRUE(trace.CreateModuleId(&id));
        EXPECT_TRUE(trace.SetNameOfModule(id, name));
        return id;
    }
    static std::string PrivateFolder(const std::string& temporary) {
        return temporary + "/morvale-" + std::to_string(::geteuid());
    }
    static mode_t Umask() {
        mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const auto& line : Lines(File()))
            out.push_back(Message(line));
        return out;
    }
};

TEST_F(CTraceTest, ModuleIdsAndNames) {
    CTrace trace;
    LONG ids[3];
    for (LONG& id : ids)
        ASSERT_TRUE(trace.CreateModuleId(&id));
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 3);
    EXPECT_EQ(trace.NameOfModule(2), u"Default");
    auto before = trace.NameOfModule(2);
    EXPECT_TRUE(trace.SetNameOfModule(2, u"dravik"));
    EXPECT_EQ(before, u"Default");
    EXPECT_EQ(trace.NameOfModule(2), u"dravik");

    // Unknown ids fail without starting anything.
    for (LONG bad : {0, 4, -1}) {
        EXPECT_FALSE(trace.Entry(bad, 1, u"f"));
        EXPECT_FALSE(trace.Exit(bad, 1, u"f"));
        EXPECT_FALSE(trace.TracePrint(bad, 1, u"f", u"t"));
        EXPECT_FALSE(trace.SetNameOfModule(bad, u"x"));
        EXPECT_FALSE(trace.NameOfModule(bad));
    }
    EXPECT_EQ(DebugCount("No Tarvex trace key found. Trace is disabled.\n"), 0u);
}

TEST_F(CTraceTest, MissingKeyOrDisableTraceTurnsTracingOffForGood) {
    {
        CTrace trace;
        TraceWatchData watch(trace);
        LONG id = Module(trace, u"dravik");
        EXPECT_TRUE(trace.Entry(id, 1, u"f"));
        EXPECT_FALSE(trace.IsTraceOn());
        LONG flag = -1;
        EXPECT_TRUE(trace.GetTraceFlag(&flag));
        EXPECT_EQ(flag, 0);
        EXPECT_EQ(DebugCount("No Tarvex trace key found. Trace is disabled.\n"), 1u);
        EXPECT_FALSE(watch.Running());
        // A key made after the first call changes nothing in this process.
        TraceToFile(File());
        EXPECT_FALSE(trace.IsTraceOn());
    }
    {
        SetDword(u"DisableTrace", 1);
        CTrace trace;
        TraceWatchData watch(trace);
        EXPECT_FALSE(trace.IsTraceOn());
        EXPECT_FALSE(watch.Running());
    }
    {
        // Typed in as text, "0" means not disabled.
        Set(u"DisableTrace", u"0");
        CTrace trace;
        TraceWatchData watch(trace);
        EXPECT_TRUE(trace.IsTraceOn());
        SetDword(u"DisableTrace", 1);
        trace.ReadTraceSettings();
        EXPECT_TRUE(trace.IsTraceOn());
    }
    EXPECT_FALSE(std::filesystem::exists(File()) && !ReadFile(File()).empty());
}

TEST_F(CTraceTest, DefaultsAndClamps) {
    CreateKey();
    CTrace trace;
    LONG flag = -1;
    EXPECT_TRUE(trace.GetTraceFlag(&flag));
    EXPECT_EQ(flag, 1); // not disabled, although TraceFlag is absent
    EXPECT_FALSE(trace.IsTraceOn());
    EXPECT_EQ(trace.TraceLevel(), 1);
    EXPECT_FALSE(trace.WritesToFile());

    const std::pair<std::u16string, LONG> levels[] = {
        {u"0", 1}, {u"12", 9}, {u"abc", 1}, {u" +7x", 7}, {u"-3", 1}, {u"99999999999", 9}};
    for (const auto& [text, expected] : levels) {
        Set(u"TraceLevel", text);
        trace.ReadTraceSettings();
        EXPECT_EQ(trace.TraceLevel(), expected) << std::string(text.begin(), text.end());
    }

    // A number stored as REG_DWORD reads as text without digits.
    SetDword(u"TraceFlag", 1);
    trace.ReadTraceSettings();
    EXPECT_FALSE(trace.IsTraceOn());
    Set(u"TraceFlag", u" 2");
    trace.ReadTraceSettings();
    EXPECT_TRUE(trace.IsTraceOn());

    Set(u"TraceFile", File());
    for (const char16_t* text : {u"2", u"on", u""}) {
        Set(u"WriteToFile", text);
        trace.ReadTraceSettings();
        EXPECT_FALSE(trace.WritesToFile());
    }
    Set(u"WriteToFile", u"1");
    trace.ReadTraceSettings();
    EXPECT_TRUE(trace.WritesToFile());

    std::u16string keys;
    for (int i = 0; i < 60; ++i)
        keys += u"module" + std::u16string(1, static_cast<char16_t>(u'A' + i)) + u", ";
    Set(u"TraceKey", keys);
    trace.ReadTraceSettings();
    EXPECT_EQ(trace.KeyCount(), 50u);
    // Longer than the 1024 units a value is read into: no keys at all.
    Set(u"TraceKey", std::u16string(1024, u'k'));
    trace.ReadTraceSettings();
    EXPECT_EQ(trace.KeyCount(), 0u);
}

TEST_F(CTraceTest, RecordsReachTheFileWithDepthAndCrLf) {
    TraceToFile(File());
    CTrace trace;
    LONG dravik = Module(trace, u"dravik");
    LONG unnamed = 0;
    trace.CreateModuleId(&unnamed);
    LONG longName = Module(trace, u"a_module_name_of_exactly_30_ch");

    EXPECT_TRUE(trace.Entry(dravik, 5, u"ASVeskGetCurrentDate"));
    EXPECT_TRUE(trace.Entry(dravik, 6, u"Inner"));
    EXPECT_TRUE(trace.TracePrint(dravik, 6, u"Inner", u"Invalid input date."));
    EXPECT_TRUE(trace.Exit(dravik, 6, u"Inner"));
    EXPECT_TRUE(trace.Exit(dravik, 5, u"ASVeskGetCurrentDate"));
    EXPECT_TRUE(trace.TracePrint(unnamed, 1, u"", u"text at depth 0"));
    EXPECT_TRUE(trace.TracePrint(longName, 1, u"", u"x"));

    std::string text = ReadFile(File());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1);
    auto lines = Lines(File());
    ASSERT_EQ(lines.size(), 7u);
    char ids[64];
    std::snprintf(ids, sizeof ids, "%04d,%04d,", static_cast<int>(::getpid()),
                  static_cast<int>(::gettid()));
    const std::regex tail(std::string("\", ") + ids +
                          R"(\d\d:\d\d:\d\d:\d\d\d,\d\d/\d\d/\d\d\d\d$)");
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_search(line, tail)) << line;
    EXPECT_EQ(lines[0].substr(0, 31), "dravik                        ,");
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "\"Enter<5>: ASVeskGetCurrentDate \"",
                              "\"  |  Enter<6>: Inner \"",
                              "\"  |    |  Invalid input date.\"",
                              "\"  |  Exit: Inner \"",
                              "\"Exit: ASVeskGetCurrentDate \"",
                              "\"  |  text at depth 0\"",
                              "\"  |  x\"",
                          }));
    EXPECT_EQ(lines[5].substr(0, 31), "Default                       ,");
    EXPECT_EQ(lines[6].substr(0, 32), "a_module_name_of_exactly_30_ch,\"");
}

TEST_F(CTraceTest, ForkedChildWritesItsOwnIds) {
    TraceToFile(File());
    CTrace trace;
    LONG id = Module(trace, u"m");
    trace.TracePrint(id, 1, u"", u"parent");
    pid_t child = ::fork();
    if (child == 0) {
        trace.TracePrint(id, 1, u"", u"child");
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    auto lines = Lines(File());
    ASSERT_EQ(lines.size(), 2u);
    char pid[32];
    std::snprintf(pid, sizeof pid, "\", %04d,%04d,", static_cast<int>(child),
                  static_cast<int>(child));
    EXPECT_NE(lines[1].find(pid), std::string::npos) << lines[1];
}

// A child forked while another thread holds the trace lock must not inherit
// it held: its first record would wait forever.
TEST_F(CTraceTest, ChildrenForkedWhileAnotherThreadTracesCanTrace) {
    TraceToFile(File());
    CTrace trace;
    LONG id = Module(trace, u"m");
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop.load())
            trace.TracePrint(id, 1, u"", u"busy");
    });
    constexpr int kChildren = 20;
    std::vector<pid_t> children;
    std::vector<pollfd> ends;
    for (int i = 0; i < kChildren; ++i) {
        pid_t child = ::fork();
        if (child == 0) {
            trace.TracePrint(id, 1, u"", u"child");
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
        children.push_back(child);
        int end = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
        ASSERT_GE(end, 0);
        ends.push_back({end, POLLIN, 0});
    }
    stop.store(true);
    busy.join();
    // All children end within the deadline; the ones that do not are stuck.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    size_t ended = 0;
    while (ended < ends.size() && std::chrono::steady_clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        ::poll(ends.data(), ends.size(), static_cast<int>(left.count()) + 1);
        ended = std::count_if(ends.begin(), ends.end(), [](const pollfd& p) { return p.revents; });
    }
    EXPECT_EQ(ended, ends.size());
    for (size_t i = 0; i < children.size(); ++i) {
        ::kill(children[i], SIGKILL);
        ::waitpid(children[i], nullptr, 0);
        ::close(ends[i].fd);
    }
    auto messages = Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "\"  |  child\""), kChildren);
}

TEST_F(CTraceTest, FilterAndLevelGate) {
    TraceToFile(File(), u"*,dravik");
    Set(u"TraceLevel", u"5");
    CTrace trace;
    LONG dravik = Module(trace, u"dravik");
    LONG events = Module(trace, u"VeskEvents");
    LONG traceModule = Module(trace, u"Trace");

    EXPECT_TRUE(trace.Entry(dravik, 1, u"excluded"));
    LONG depth = -1;
    trace.GetIndent(&depth);
    EXPECT_EQ(depth, 0); // a filtered record leaves the depth alone
    trace.TracePrint(events, 5, u"", u"level 5");
    trace.TracePrint(events, 6, u"", u"level 6");
    trace.TracePrint(events, 0, u"", u"level 0");
    trace.TracePrint(events, -4, u"", u"level -4");
    trace.TracePrint(traceModule, 1, u"", u"TRACE excluded too");

    Set(u"TraceKey", u"dravik,*");
    Set(u"TraceLevel", u"1");
    trace.ReadTraceSettings();
    trace.TracePrint(dravik, 1, u"", u"dravik listed");
    trace.TracePrint(events, 1, u"", u"events not listed");
    trace.TracePrint(traceModule, 1, u"", u"TRACE always listed");
    trace.TracePrint(dravik, 0, u"", u"level 0 passes at 1");

    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "\"  |  level 5\"",
                              "\"  |  level 0\"",
                              "\"  |  level -4\"",
                              "\"  |  dravik listed\"",
                              "\"  |  TRACE always listed\"",
                              "\"  |  level 0 passes at 1\"",
                          }));
}

TEST_F(CTraceTest, ThreadsKeepTheirOwnDepth) {
    TraceToFile(File());
    CTrace trace;
    LONG id = Module(trace, u"m");
    std::barrier step(2);
    LONG depthA = -1, depthB = -1;
    std::thread a([&] {
        trace.Entry(id, 1, u"a1");
        step.arrive_and_wait();
        step.arrive_and_wait();
        trace.Entry(id, 1, u"a2");
        trace.GetIndent(&depthA);
    });
    std::thread b([&] {
        step.arrive_and_wait();
        trace.Entry(id, 1, u"b1");
        step.arrive_and_wait();
        trace.GetIndent(&depthB);
    });
    a.join();
    b.join();
    EXPECT_EQ(depthA, 2);
    EXPECT_EQ(depthB, 1);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"\"Enter<1>: a1 \"", "\"Enter<1>: b1 \"",
                                                    "\"  |  Enter<1>: a2 \""}));
    LONG mine = -1;
    trace.GetIndent(&mine);
    EXPECT_EQ(mine, 0);
}

TEST_F(CTraceTest, ConcurrentFirstCallsInitializeOnce) {
    TraceToFile(File());
    CTrace trace;
    TraceWatchData watch(trace);
    LONG id = Module(trace, u"m");
    std::barrier start(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            start.arrive_and_wait();
            EXPECT_TRUE(trace.TracePrint(id, 1, u"", u"first"));
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(DebugCount("TRACE : Successful Thread creation \n"), 1u);
    EXPECT_EQ(Lines(File()).size(), 8u);
}

TEST_F(CTraceTest, MissingFolderFallsBackToTheTemporaryDirectoryAndStays) {
    std::filesystem::create_directory(dir_ + "/tmp");
    ::setenv("TMPDIR", (dir_ + "/tmp").c_str(), 1);
    TraceToFile(dir_ + "/missing/trace.csv");
    CTrace trace;
    LONG id = Module(trace, u"m");
    trace.TracePrint(id, 1, u"", u"one");
    const std::string fallback = PrivateFolder(dir_ + "/tmp") + "/trace.csv";
    EXPECT_EQ(DebugCount("TRACE :Couldn't Open specified file opening default instead"), 1u);
    EXPECT_EQ(trace.TraceFileName(), std::u16string(fallback.begin(), fallback.end()));

    // A re-read without TraceFile keeps the fallback and appends to it.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, testing::kKey, 0, KEY_ALL_ACCESS, &key), 0);
    RegDeleteValueW(key, u"TraceFile");
    RegCloseKey(key);
    trace.ReadTraceSettings();
    EXPECT_EQ(DebugCount("TRACE :Couldn't find trace file settings in registry.Opening earlier "
                         "file instead\n"),
              1u);
    trace.TracePrint(id, 1, u"", u"two");
    auto lines = Lines(fallback);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Message(lines[1]), "\"  |  two\"");

    // No usable temporary directory either: file output switches off.
    ::setenv("TMPDIR", (dir_ + "/missing-too").c_str(), 1);
    Set(u"TraceFile", dir_ + "/missing/trace.csv");
    trace.ReadTraceSettings();
    EXPECT_FALSE(trace.WritesToFile());
    EXPECT_EQ(DebugCount("TRACE :Couldn't open any tracefile.\n"), 1u);
}

TEST_F(CTraceTest, FailuresAreReportedNotFatal) {
    // A regular file that refuses every record.
    TraceToFile("/proc/self/clear_refs");
    CTrace trace;
    LONG id = Module(trace, u"m");
    EXPECT_FALSE(trace.TracePrint(id, 1, u"", u"lost"));
    EXPECT_TRUE(trace.Entry(id, 1, u"lost"));
    EXPECT_EQ(DebugCount("TRACE : Writing to trace file failed"), 2u);

    Set(u"TraceFile", File());
    trace.ReadTraceSettings();
    EXPECT_FALSE(trace.TracePrint(id, 1, u"", std::u16string(8200, u'x').c_str()));
    EXPECT_EQ(DebugCount("TRACE : Too long string to Trace"), 1u);
    EXPECT_TRUE(trace.Exit(id, 1, u"lost"));
    EXPECT_EQ(Lines(File()).size(), 1u);
}

TEST_F(CTraceTest, OnlyARegularFileIsOpenedAndAFifoDoesNotHang) {
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::setenv("TMPDIR", dir_.c_str(), 1);
    TraceToFile(fifo);
    CTrace trace;
    LONG id = Module(trace, u"m");
    // Even with a reader there nothing enters the FIFO (where a write would
    // block the traced program once nobody reads); the record goes to the
    // fallback.
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(trace.TracePrint(id, 1, u"", u"one"));
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    // The fallback is created without access for others.
    const std::string fallback = PrivateFolder(dir_) + "/trace.csv";
    EXPECT_EQ(Lines(fallback).size(), 1u);
    struct stat status {};
    ASSERT_EQ(::stat(fallback.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640 & ~Umask());
    ASSERT_EQ(::stat(PrivateFolder(dir_).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700 & ~Umask());
}

// Root traces into folders another user can write: nothing that user planted
// there, in the named folder or in the temporary one, is written through.
TEST_F(CTraceTest, RootTraceRefusesWhatAnotherUserPlanted) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    const std::string shared = dir_ + "/shared", tmp = dir_ + "/tmp", victim = dir_ + "/victim";
    const std::string squatted = PrivateFolder(tmp);
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(::chown(shared.c_str(), testing::kNobody, testing::kNobody), 0);
    ASSERT_EQ(::mkdir(tmp.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tmp.c_str(), 01777), 0);
    std::ofstream(victim) << "root's own\n";
    ASSERT_TRUE(testing::AsNobody([&] {
        int planted = -1;
        bool ok = ::symlink(victim.c_str(), (shared + "/trace.csv").c_str()) == 0 &&
                  ::symlink(victim.c_str(), (tmp + "/trace.csv").c_str()) == 0 &&
                  ::mkdir(squatted.c_str(), 0700) == 0 &&
                  (planted = ::creat((squatted + "/trace.csv").c_str(), 0666)) >= 0;
        ::close(planted);
        return ok;
    }));
    ::setenv("TMPDIR", tmp.c_str(), 1);
    TraceToFile(shared + "/trace.csv");
    CTrace trace;
    LONG id = Module(trace, u"m");
    EXPECT_TRUE(trace.TracePrint(id, 1, u"", u"one"));

    EXPECT_EQ(ReadFile(victim), "root's own\n");
    EXPECT_EQ(ReadFile(squatted + "/trace.csv"), "");
    std::u16string wide = trace.TraceFileName();
    std::string name(wide.begin(), wide.end());
    EXPECT_EQ(name.rfind(squatted + "-", 0), 0u) << name;
    EXPECT_EQ(Lines(name).size(), 1u);
}

} // namespace
} // namespace morvale
