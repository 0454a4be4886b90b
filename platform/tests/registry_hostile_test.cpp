// The registry folder as a local attacker leaves it: links and FIFOs planted
// by a member of the writers' group, hives others may not write, names
// beyond the limits, a cut lock file, a rewrite that hides its time, and a
// child forked in the middle of a write.
#include "platform/registry_store.h"
#include "platform/tests/registry_test_support.h"

#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace {

using HostileRegistry = olvani::testing::TempRegistry;
using olvani::testing::BecomeUnprivileged;
using olvani::testing::InChild;

constexpr const char* kTrace = "SOFTWARE\\Tarvex\\Olvani\\Trace";
constexpr unsigned kNobody = 65534;

// Runs olvani-reg with `arguments` (shell syntax); its exit status.
int Tool(const std::string& arguments) {
    int status = std::system((std::string(OLVANI_REG_TOOL) + " " + arguments).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Planting as another user and giving files away need root, as in CI.
#define NEEDS_ROOT()                                                                               \
    if (::geteuid() != 0)                                                                          \
    GTEST_SKIP() << "runs as root only"

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

TEST_F(HostileRegistry, LinksPlantedInTheFolderAreNeverFollowed) {
    NEEDS_ROOT();
    SetString(kTrace, "TraceFlag", "1");
    // The installer's group-writable folder; a file of root's elsewhere.
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    const std::string victims = dir_ + "/victims";
    ASSERT_EQ(::mkdir(victims.c_str(), 0700), 0);
    const std::string secret = victims + "/secret";
    WriteFile(secret, "root only");
    ASSERT_EQ(InChild([&] {
                  if (!BecomeUnprivileged())
                      return 10;
                  // The old fixed temporary name, and the lock of a root without a hive.
                  return ::symlink(secret.c_str(),
                                   (dir_ + "/.HKEY_LOCAL_MACHINE.reg.tmp").c_str()) +
                         ::symlink((victims + "/created").c_str(),
                                   (dir_ + "/HKEY_CURRENT_USER.reg.lock").c_str());
              }),
              0);
    SetString(kTrace, "TraceFlag", "2");
    EXPECT_EQ(GetString(kTrace, "TraceFlag"), "2");
    EXPECT_TRUE(S_ISREG(StatOf(HiveFile()).st_mode));
    HKEY key = nullptr;
    EXPECT_NE(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_NE(std::string(olvani::RegistryErrorText()).find("symbolic link"), std::string::npos)
        << olvani::RegistryErrorText();
    EXPECT_FALSE(std::filesystem::exists(victims + "/created"));

    // The hive itself swapped for a link: neither read nor written through.
    ASSERT_EQ(InChild([&] {
                  if (!BecomeUnprivileged())
                      return 10;
                  const std::string planted = dir_ + "/planted";
                  return ::symlink(secret.c_str(), planted.c_str()) +
                         ::rename(planted.c_str(), HiveFile().c_str());
              }),
              0);
    SeeEditorChangesAtOnce();
    EXPECT_EQ(GetString(kTrace, "TraceFlag"), "<error 1009>"); // ERROR_BADDB
    EXPECT_EQ(
        RegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2),
        ERROR_BADDB);
    EXPECT_EQ(ReadFile(secret), "root only");
    EXPECT_EQ(StatOf(secret).st_uid, 0u);
    EXPECT_TRUE(S_ISLNK(StatOf(HiveFile()).st_mode));
}

TEST_F(HostileRegistry, AFifoInPlaceOfTheHiveOrTheLockHangsNoOne) {
    ASSERT_EQ(::mkfifo(HiveFile().c_str(), 0666), 0);
    // A reader that hangs is ended by the alarm and fails the test.
    EXPECT_EQ(InChild([] {
                  ::alarm(20);
                  return GetString(kTrace, "TraceFlag") == "<error 1009>" ? 0 : 1;
              }),
              0);
    ASSERT_EQ(::unlink(HiveFile().c_str()), 0);
    SetString(kTrace, "TraceFlag", "1");
    const std::string lock = HiveFile() + ".lock";
    ASSERT_EQ(::unlink(lock.c_str()), 0);
    ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0);
    EXPECT_EQ(InChild([] {
                  ::alarm(20);
                  if (GetString(kTrace, "TraceFlag") != "1")
                      return 1;
                  // Writers refuse the lock instead of using whatever it is.
                  return RegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>("y"), 2) == ERROR_SUCCESS
                             ? 2
                             : 0;
              }),
              0);
}

TEST_F(HostileRegistry, EveryChangeToAHiveTheUserMayNotWriteIsDenied) {
    NEEDS_ROOT();
    SetString("SOFTWARE\\Tarvex\\Olvani\\Trace\\Old", "TraceFlag", "1");
    // A folder the user may write, a hive file of root's the user may only read.
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
    const std::string import = dir_ + "/takeover.reg";
    WriteFile(import, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex]\n\"Owner\"=\"me\"\n");
    ASSERT_EQ(::chmod(import.c_str(), 0644), 0);
    const std::string before = ReadFile(HiveFile());
    int status = InChild([&] {
        if (!BecomeUnprivileged())
            return 10;
        if (RegSetValueExA(HKEY_LOCAL_MACHINE, "Taken", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>("y"), 2) != ERROR_ACCESS_DENIED)
            return 11;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 12;
        LONG deleted = RegDeleteKeyA(key, "Old");
        RegCloseKey(key);
        if (deleted != ERROR_ACCESS_DENIED)
            return 13;
        return Tool("import " + import + " 2>/dev/null") == 3 ? 0 : 14;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(HiveFile()), before);
    EXPECT_EQ(StatOf(HiveFile()).st_uid, 0u);
}

TEST_F(HostileRegistry, TheHiveKeepsItsOwnerAndModeOnWrite) {
    NEEDS_ROOT();
    SetString(kTrace, "TraceFlag", "1");
    ASSERT_EQ(::chown(HiveFile().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(HiveFile().c_str(), 0640), 0);
    SetString(kTrace, "TraceFlag", "2");
    struct stat st = StatOf(HiveFile());
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobody);
}

TEST_F(HostileRegistry, LimitsHoldForCallsAndImportAndADeepImportIsRefusedAtOnce) {
    auto create = [](const std::string& path) {
        HKEY key = nullptr;
        LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &key, nullptr);
        RegCloseKey(key);
        return r;
    };
    auto deep = [](size_t levels) {
        std::string path = "k";
        for (size_t i = 1; i < levels; ++i)
            path += "\\k";
        return path;
    };
    EXPECT_EQ(create(std::string(255, 'n')), ERROR_SUCCESS);
    EXPECT_EQ(create(std::string(256, 'n')), ERROR_INVALID_PARAMETER);
    EXPECT_NE(std::string(olvani::RegistryErrorText()).find("255"), std::string::npos);
    // Characters, not bytes: 255 two-byte letters are a valid name.
    std::string accented;
    for (int i = 0; i < 255; ++i)
        accented += "\xC3\xA9";
    EXPECT_EQ(create(accented), ERROR_SUCCESS);
    EXPECT_EQ(create(deep(512)), ERROR_SUCCESS);
    EXPECT_EQ(create(deep(513)), ERROR_INVALID_PARAMETER);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "k", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const BYTE data[] = "v";
    EXPECT_EQ(RegSetValueExA(key, std::string(16383, 'v').c_str(), 0, REG_SZ, data, 2),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, std::string(16384, 'v').c_str(), 0, REG_SZ, data, 2),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);

    // 16 KB of one key 8,000 levels deep once grew a hive to 64 MB: refused
    // with the line and the reason, the hive untouched. `timeout` ends a run
    // that would take minutes.
    const std::string before = ReadFile(HiveFile());
    WriteFile(dir_ + "/deep.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + deep(8000) + "]\n");
    const std::string out = dir_ + "/out.txt";
    EXPECT_EQ(Tool("import " + dir_ + "/deep.reg > " + out + " 2>&1"), 3);
    EXPECT_NE(ReadFile(out).find("deep.reg:3: keys nest deeper than 512 levels"), std::string::npos)
        << ReadFile(out);
    WriteFile(dir_ + "/long.reg",
              "REGEDIT4\n\n[HKLM\\k]\n\"" + std::string(16384, 'v') + "\"=\"x\"\n");
    EXPECT_EQ(Tool("import " + dir_ + "/long.reg > " + out + " 2>&1"), 3);
    EXPECT_NE(ReadFile(out).find("long.reg:4: a value name is longer than 16383 characters"),
              std::string::npos)
        << ReadFile(out);
    EXPECT_EQ(ReadFile(HiveFile()), before);
    EXPECT_EQ(Tool("import " + dir_ + "/deep.reg > /dev/null 2>&1; timeout 60 " + OLVANI_REG_TOOL +
                   " get HKLM\\\\k > /dev/null"),
              0);
}

TEST_F(HostileRegistry, ATruncatedLockFileKillsNoReader) {
    EXPECT_EQ(InChild([this] {
                  SetString(kTrace, "TraceFlag", "1");
                  if (GetString(kTrace, "TraceFlag") != "1" ||
                      ::truncate((HiveFile() + ".lock").c_str(), 0) != 0)
                      return 1;
                  if (GetString(kTrace, "TraceFlag") != "1")
                      return 2;
                  SetString(kTrace, "TraceFlag", "2");
                  return GetString(kTrace, "TraceFlag") == "2" ? 0 : 3;
              }),
              0); // a SIGBUS would give 135
}

TEST_F(HostileRegistry, ARewriteThatKeepsSizeAndTimeIsSeenAndNotReverted) {
    SetString(kTrace, "TraceFlag", "0");
    EXPECT_EQ(GetString(kTrace, "TraceFlag"), "0");
    const struct stat written = StatOf(HiveFile());
    // Past the file system's coarse clock tick, as any later edit would be.
    timespec now;
    do
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    while (now.tv_sec == written.st_ctim.tv_sec && now.tv_nsec == written.st_ctim.tv_nsec);
    // cp -p of an edited copy: same inode and size, the old modification time.
    std::string text = ReadFile(HiveFile());
    text.replace(text.find("\"TraceFlag\"=\"0\""), 15, "\"TraceFlag\"=\"1\"");
    WriteFile(HiveFile(), text);
    const timespec times[2] = {written.st_mtim, written.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, HiveFile().c_str(), times, 0), 0);
    ASSERT_EQ(StatOf(HiveFile()).st_ino, written.st_ino);

    SeeEditorChangesAtOnce();
    EXPECT_EQ(GetString(kTrace, "TraceFlag"), "1");
    SetString(kTrace, "Other", "x");
    EXPECT_NE(ReadFile(HiveFile()).find("\"TraceFlag\"=\"1\""), std::string::npos)
        << "the next writer must not revert the edit";
}

TEST_F(HostileRegistry, AChildForkedDuringAWriteDoesNotBlockWriters) {
    SetString(kTrace, "TraceFlag", "0");
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false, forked = false;
    // A thread holds the write lock while the main thread forks, as any
    // thread of a program may fork while another writes.
    std::thread writer([&] {
        olvani::registry::UpdateHive(*olvani::registry::FindRoot("HKLM"),
                                     [&](olvani::registry::Hive&, bool& change) {
                                         std::unique_lock lock(mutex);
                                         inside = true;
                                         changed.notify_all();
                                         changed.wait(lock, [&] { return forked; });
                                         change = false;
                                         return ERROR_SUCCESS;
                                     });
    });
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return inside; });
    int hold[2];
    ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
    pid_t child = ::fork();
    if (child == 0) {
        char c;
        ::close(hold[1]);
        ::_exit(::read(hold[0], &c, 1) < 0 ? 1 : 0); // lives on, as a daemon would
    }
    forked = true;
    changed.notify_all();
    lock.unlock();
    writer.join();

    EXPECT_EQ(InChild([] {
                  ::alarm(20); // a writer blocked by the child fails the test
                  SetString(kTrace, "TraceFlag", "1");
                  return 0;
              }),
              0);
    ::close(hold[0]);
    ::close(hold[1]);
    ::waitpid(child, nullptr, 0);
}

} // namespace
