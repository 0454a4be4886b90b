#include "bootp/host_directory.h"
#include "table_fixture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace bootp_test;

namespace {

std::vector<std::string> Entries(const std::string& text, int capacity = kEntryBufferSize) {
    FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    std::vector<std::string> entries;
    std::vector<char> buffer(static_cast<size_t>(capacity));
    for (int n; (n = ReadEntry(file, buffer.data(), capacity)) > 0;) {
        entries.emplace_back(buffer.data(), static_cast<size_t>(n));
    }
    std::fclose(file);
    return entries;
}

using Strings = std::vector<std::string>;

// The layout the server application writes, with CR LF line ends.
const char kServerTable[] = "# OXL Bootptab file\r\n\r\n# global defaults\r\n"
                            "global.defaults:\\\r\nsm=:\\\r\ngw=:\r\n"
                            "\r\n# bench\r\nlab1:\\\r\nht=1:\\\r\nha=02004C123456:\\\r\n"
                            "ip=10.1.1.5:\\\r\nsm=255.255.255.0:\\\r\ngw=10.1.1.1:\\\r\n"
                            "vm=auto:\\\r\nhn:\\\r\nbs=auto:\\\r\nT145=64:T146=01:T147=01\r\n";

void SetMtime(const std::string& path, time_t seconds, long nanoseconds) {
    timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

} // namespace

TEST(ReadEntry, CommentsContinuationsAndBlanksAfterColons) {
    EXPECT_EQ(Entries("# only a comment\n\n   \t\n#another"), Strings{});
    EXPECT_EQ(Entries("  # c\n\nlab1:\\\n   # inside\n\n  ht=1:   ip=1.2.3.4 \n b:x\n"),
              (Strings{"lab1:ht=1:ip=1.2.3.4 ", "b:x"}));
    // A colon at the end of a line ends the entry without a backslash.
    EXPECT_EQ(Entries("a:b:\nc:"), (Strings{"a:b:", "c:"}));
    // A backslash stores the next character as it is, line ends included.
    EXPECT_EQ(Entries("a\\:  b\\\nc\nd:\\x"), (Strings{"a:  b\nc", "d:x"}));
    EXPECT_EQ(Entries("a\\"), Strings{"a"});
}

TEST(ReadEntry, QuotesKeepEverythingUpToTheClosingQuote) {
    EXPECT_EQ(Entries("a:T1=\"x:# \\\ny\":b\nnext"), (Strings{"a:T1=\"x:# \\\ny\":b", "next"}));
    EXPECT_EQ(Entries("a:bf=\"never closed\nb:"), (Strings{"a:bf=\"never closed\nb:"}));
}

TEST(ReadEntry, CrLfReadsLikeLf) {
    std::string lf = kServerTable;
    for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) {
        lf.erase(at, 1);
    }
    Strings entries = Entries(kServerTable);
    EXPECT_EQ(entries, Entries(lf));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1], "lab1:ht=1:ha=02004C123456:ip=10.1.1.5:sm=255.255.255.0:gw=10.1.1.1:"
                          "vm=auto:hn:bs=auto:T145=64:T146=01:T147=01");
    // A lone CR is white space, not a line end.
    EXPECT_EQ(Entries("a\rb\r"), Strings{"a\rb\r"});
}

TEST(ReadEntry, LongLinesAreCutAndTheRestIsTheNextEntry) {
    std::string line(1500, 'a');
    Strings entries = Entries(line + "\nb:");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].size(), 1023u);
    EXPECT_EQ(entries[1].size(), 477u);
    EXPECT_EQ(entries[2], "b:");
    // The cut applies inside quotes and escapes too.
    EXPECT_EQ(Entries("ab\"cdef\"g", 4), (Strings{"ab\"", "cde", "f\"g"}));
    EXPECT_EQ(Entries("a\\bc", 2), (Strings{"a", "b", "c"}));
    EXPECT_EQ(Entries("a:   b", 3), (Strings{"a:", "b"}));
}

TEST_F(TableFileTest, HostileFilesLoseNothingAndCrashNothing) {
    std::string garbage = "before:ip=10.0.0.2\n";
    uint32_t seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245 + 12345;
        garbage.push_back(static_cast<char>(seed >> 16));
    }
    EXPECT_EQ(Load(garbage), 0);
    EXPECT_NE(FindName("before"), nullptr);

    // A 10 MB single line is read in 1023-character pieces.
    std::string huge(10 * 1024 * 1024, 'x');
    EXPECT_EQ(Load("first:ip=10.0.0.3:T1=" + huge + "\nlast:ip=10.0.0.4\n"), 0);
    EXPECT_NE(FindName("last"), nullptr);
    EXPECT_EQ(FindName("first")->generic->length, 2u); // T1 with no hex bytes

    // The file going away leaves the tables of the last read.
    std::filesystem::remove(path_);
    EXPECT_EQ(ReadHostTable(engine_), -1);
    EXPECT_NE(FindName("last"), nullptr);
    std::filesystem::create_directory(path_);
    EXPECT_EQ(ReadHostTable(engine_), -1);
    EXPECT_NE(FindName("last"), nullptr);
}

TEST_F(TableFileTest, ServerWrittenTableBuildsTheThreeTables) {
    ASSERT_EQ(Load(kServerTable), 0);
    EXPECT_EQ(engine_.entryCount, 1); // global.defaults has an empty mask
    const uint8_t mac[] = {0x02, 0x00, 0x4C, 0x12, 0x34, 0x56};
    HostEntry* e = FindHw(1, mac);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(FindIp(inet_addr("10.1.1.5")), e);
    EXPECT_EQ(FindName("lab1"), e);
    EXPECT_EQ(e->linkCount, 3);
    EXPECT_EQ(CountEntries(tables().hwTable) + CountEntries(tables().ipTable) +
                  CountEntries(tables().nameTable),
              3);
    EXPECT_EQ(Load("# nothing\n\n"), 0);
    EXPECT_EQ(CountEntries(tables().hwTable) + CountEntries(tables().ipTable) +
                  CountEntries(tables().nameTable),
              0);
}

TEST_F(TableFileTest, DuplicateHardwareAddressesNeedTheSameMaskOnAnotherSubnet) {
    const uint8_t mac1[] = {2, 0, 0, 0, 0, 1};
    const uint8_t mac2[] = {2, 0, 0, 0, 0, 2};
    ASSERT_EQ(Load("a1:ht=1:ha=020000000001\n"
                   "a2:ht=1:ha=020000000001\n"              // no masks: dropped
                   "a3:ht=1:ha=020000000001:ip=10.9.9.9\n"  // no mask: dropped
                   "a4:ht=1:ha=020000000001:sm=255.0.0.0\n" // mask differs: dropped
                   "c1:ht=6:ha=020000000001\n"              // other type
                   "b1:ht=1:ha=020000000002:sm=255.255.255.0:ip=10.1.1.5\n"
                   "b2:ht=1:ha=020000000002:sm=255.255.255.0:ip=10.1.2.5\n"   // other subnet
                   "b3:ht=1:ha=020000000002:sm=255.255.0.0:ip=10.2.2.5\n"     // mask differs
                   "b4:ht=1:ha=020000000002:sm=255.255.255.0:ip=10.1.1.9\n"), // same subnet
              0);
    for (const char* name : {"a1", "b1", "b2", "c1"}) {
        EXPECT_NE(FindName(name), nullptr) << name;
    }
    // A refused entry is dropped entirely, not only its address.
    for (const char* name : {"a2", "a3", "a4", "b3", "b4"}) {
        EXPECT_EQ(FindName(name), nullptr) << name;
    }
    EXPECT_EQ(FindIp(inet_addr("10.9.9.9")), nullptr);
    EXPECT_EQ(engine_.entryCount, 4);
    EXPECT_EQ(FindHw(1, mac1), FindName("a1"));
    EXPECT_EQ(FindHw(1, mac2), FindName("b2")); // the one read last
    EXPECT_EQ(FindHw(6, mac1), FindName("c1"));
}

TEST_F(TableFileTest, SameNameOrAddressFindsTheEntryReadLast) {
    ASSERT_EQ(Load("twin:ip=10.0.0.1:bf=one\ntwin:ip=10.0.0.2:bf=two\nother:ip=10.0.0.2\n"), 0);
    EXPECT_STREQ(FindName("twin")->bootFile->text(), "two");
    EXPECT_STREQ(HostNameText(FindIp(inet_addr("10.0.0.2"))), "other");
    EXPECT_EQ(CountEntries(tables().nameTable), 3);
}

TEST_F(TableFileTest, RereadsExactlyWhenTheFileChanged) {
    const time_t past = 1600000000;
    Write("one:ip=10.0.0.1\n");
    SetMtime(path_, past, 5);
    ASSERT_EQ(ReadHostTable(engine_), 0);
    unsigned generation = engine_.generation;
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_EQ(engine_.generation, generation); // unchanged: no rebuild

    SetMtime(path_, past, 6); // touched, one nanosecond later
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_EQ(engine_.generation, ++generation);

    // Replaced by rename with the same size and time: another inode.
    std::string other = path_ + ".new";
    Write("two:ip=10.0.0.1\n", other);
    SetMtime(other, past, 6);
    std::filesystem::rename(other, path_);
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_EQ(engine_.generation, ++generation);
    EXPECT_NE(FindName("two"), nullptr);

    // Rewritten in place within one clock tick: same time, other size.
    Write("three:ip=10.0.0.1\n");
    SetMtime(path_, past, 6);
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_NE(FindName("three"), nullptr);
    // An older time than before counts as a change as well.
    SetMtime(path_, past - 100, 0);
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_EQ(engine_.generation, generation + 2);
}

TEST_F(TableFileTest, ARewriteKeepingSizeAndTimeIsReadAgain) {
    // cp -p or touch -r: only the status-change time tells.
    const time_t past = 1600000000;
    Write("aaaa:ip=10.0.0.1\n");
    SetMtime(path_, past, 0);
    ASSERT_EQ(ReadHostTable(engine_), 0);
    ASSERT_EQ(ReadHostTable(engine_), 0); // settled: the next read trusts the stamp
    Write("bbbb:ip=10.0.0.1\n");
    SetMtime(path_, past, 0);
    ASSERT_EQ(ReadHostTable(engine_), 0);
    EXPECT_NE(FindName("bbbb"), nullptr);
}

TEST_F(TableFileTest, FreshlyWrittenFileIsCheckedAgainEvenWithTheSameStatus) {
    Write("aaaa:ip=10.0.0.1\n");
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    ASSERT_EQ(ReadHostTable(engine_), 0);
    // Same size, same inode, same time: only the content differs.
    Write("bbbb:ip=10.0.0.1\n");
    SetMtime(path_, st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    ASSERT_EQ(ReadHostTable(engine_), 0);
    EXPECT_NE(FindName("bbbb"), nullptr);
}

TEST_F(TableFileTest, AFreshOrFutureFileIsReadOnceMoreNotOnEveryRequest) {
    for (time_t ahead : {time_t{0}, time_t{3600}}) {
        SCOPED_TRACE(ahead);
        Write("one:ip=10.0.0.1\n");
        SetMtime(path_, std::time(nullptr) + ahead, 0);
        ForgetHostTableFile(engine_);
        unsigned generation = engine_.generation;
        for (int request = 0; request < 50; ++request) {
            ASSERT_EQ(ReadHostTable(engine_), 0);
        }
        EXPECT_EQ(engine_.generation, generation + 2);
    }
}

TEST_F(TableFileTest, ATableReachedThroughALinkFollowsTheFileBehindIt) {
    const time_t past = 1600000000;
    // The plain file that replaces the link later has the lower inode number,
    // so no ordering of the numbers can pass for "the same file".
    std::string real = (dir_ / "a").string();
    std::string plain = (dir_ / "b").string();
    Write("", real);
    Write("", plain);
    struct stat a {
    }, b{};
    ASSERT_EQ(stat(real.c_str(), &a) | stat(plain.c_str(), &b), 0);
    if (a.st_ino < b.st_ino) {
        std::swap(real, plain);
    }
    Write("one:ip=10.0.0.1\n", real);
    SetMtime(real, past, 0);
    std::filesystem::create_symlink(real, path_);
    ASSERT_EQ(ReadHostTable(engine_), 0);
    EXPECT_NE(FindName("one"), nullptr);
    unsigned generation = engine_.generation;
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_EQ(engine_.generation, generation);

    // The file behind the link changes; the link itself does not.
    Write("two:ip=10.0.0.1\n", real);
    SetMtime(real, past, 1);
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_NE(FindName("two"), nullptr);

    // The link gives way to a plain file of the same size and time.
    Write("thr:ip=10.0.0.1\n", plain);
    SetMtime(plain, past, 1);
    std::filesystem::rename(plain, path_);
    EXPECT_EQ(ReadHostTable(engine_), 0);
    EXPECT_NE(FindName("thr"), nullptr);
    EXPECT_EQ(engine_.generation, generation + 2);
}

namespace {

// Address space cannot be limited under the address sanitizer (gcc names it
// with a macro, clang as a feature).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OLVANI_ADDRESS_SANITIZER 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(OLVANI_ADDRESS_SANITIZER)
TEST_F(TableFileTest, RunningOutOfMemoryKeepsTheLastGoodTables) {
    ASSERT_EQ(Load("old:ht=1:ha=020000000001:ip=10.0.0.1:\n"), 0);
    std::string big;
    for (int i = 0; i < 300000; ++i)
        big += "h" + std::to_string(i) + ":ip=10.1." + std::to_string(i / 256 % 256) + "." +
               std::to_string(i % 256) + ":ds=10.0.0.1:bf=/srv/tftp/boot.bin:\n";
    Write(big);
    EXPECT_EXIT(
        {
            // Room for what the process holds now and a few megabytes more.
            long pages = 0;
            FILE* statm = std::fopen("/proc/self/statm", "r");
            if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1)
                std::_Exit(9);
            std::fclose(statm);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max =
                static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (8 << 20);
            setrlimit(RLIMIT_AS, &limit);
            bool kept = ReadHostTable(engine_) == kReadNoMemory && FindName("old") != nullptr &&
                        FindName("h1") == nullptr && engine_.entryCount == 1;
            std::_Exit(kept ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
}
#endif

TEST_F(TableFileTest, HostListWalksLikeTheTableAndLeavesItsCursorAlone) {
    std::vector<const HostEntry*> listed;
    ForEachHost([&](const HostEntry& e) { listed.push_back(&e); });
    EXPECT_TRUE(listed.empty()); // no engine
    EXPECT_EQ(RereadHostTable(), -1);
    SetHostDirectoryEngine(&engine_);
    std::unique_ptr<void, void (*)(void*)> unset(&engine_,
                                                 [](void*) { SetHostDirectoryEngine(nullptr); });
    ForEachHost([&](const HostEntry& e) { listed.push_back(&e); });
    EXPECT_TRUE(listed.empty()); // no tables yet
    // The same bytes in another order: one bucket, so the order within it shows.
    ASSERT_EQ(Load("a:ht=1:ha=020000000001:\nb:ht=1:ha=010000000002:\n"
                   "c:ht=1:ha=000200000001:\nd:ht=1:ha=020000000003:\n"),
              0);
    ASSERT_EQ(RereadHostTable(), 0);
    HashTable* hw = tables().hwTable;
    std::vector<const HostEntry*> walked{hash_First(hw)};
    ForEachHost([&](const HostEntry& e) { listed.push_back(&e); });
    for (HostEntry* e = hash_Next(hw); e != nullptr; e = hash_Next(hw))
        walked.push_back(e);
    EXPECT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed, walked);
}

} // namespace
