#include "server/core/tests/doc_fixture.h"

#include <cerrno>
#include <sched.h>
#include <sys/mount.h>

using namespace doctest;

namespace {

// Files in the folder other than the table, its backup and the writers'
// lock file.
std::vector<std::string> Leftovers(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name != "bootptab" && name != "bootptab.bak" && name != "bootptab.lock")
            names.push_back(name);
    }
    return names;
}

// A replacement that runs out of disk space part-way: nothing is replaced.
olvani::FileError DiskFull(const std::string& path, std::string_view, const olvani::ReplaceOptions&,
                           olvani::ReplaceOutcome*) {
    return {ENOSPC, "cannot write " + path + ": No space left on device"};
}

class WriterTest : public LoadedDocTest {};

} // namespace

TEST_F(WriterTest, NewEntryIsAppendedInTheServerLayout) {
    Load(kHeader);
    EntryRow row =
        MakeEntryRow({"02004C123456", "lab1", "10.1.1.5", "bench", "255.255.255.0", "10.1.1.1"});
    row.isNew = true;
    Rows().Append(row);
    EntryRow plain = Row("02004C654321", "lab2", "10.1.1.6");
    plain.SetField(FieldComment, "");
    plain.SetField(FieldSubnetMask, "");
    plain.isNew = true;
    Rows().Append(plain);
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table),
              kHeader +
                  "\r\n# bench\r\nlab1:\\\r\nht=1:\\\r\nha=02004C123456:\\\r\nip=10.1.1.5:\\\r\n"
                  "sm=255.255.255.0:\\\r\ngw=10.1.1.1:\\\r\nvm=auto:\\\r\nhn:\\\r\nbs=auto:\\\r\n"
                  "T145=64:T146=01:T147=01\r\n"
                  "\r\n# \r\nlab2:\\\r\nht=1:\\\r\nha=02004C654321:\\\r\nip=10.1.1.6:\\\r\n"
                  "sm=:\\\r\nvm=auto:\\\r\nhn:\\\r\nbs=auto:\\\r\nT145=64:T146=01:T147=01\r\n");
    EXPECT_EQ(ReadFile(doc->BackupPath()), kHeader);
    EXPECT_EQ(doc->BackupPath(), table + ".bak");
    EXPECT_TRUE(Leftovers(dir).empty());
}

TEST_F(WriterTest, NothingPendingWritesNothing) {
    Load(kHeader + kLab1);
    Rows().Append(Row("02004C000001", "lab1", "10.0.0.1")); // unmarked
    EntryRow addedThenDeleted = Row("02004C000009", "lab9", "10.0.0.9");
    addedThenDeleted.isNew = addedThenDeleted.deleted = true;
    Rows().Append(addedThenDeleted);
    struct stat before;
    ::stat(table.c_str(), &before);
    EXPECT_EQ(Told(doc->ApplyChanges()), 0);
    struct stat after;
    ::stat(table.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(table), kHeader + kLab1);
    EXPECT_FALSE(std::filesystem::exists(table + ".bak"));
    EXPECT_TRUE(told.empty());
}

TEST_F(WriterTest, ModifyMovesTheBlockToTheEndAndDeleteKeepsTheNextEmptyLine) {
    Load(kHeader + kLab1 + kLab2 + kLab3);
    Rows().Rebuild({{"02004C000001", "lab1", "10.0.0.1", "lab", "255.255.255.0", ""},
                    {"02004C000002", "lab2", "10.0.0.2", "lab", "255.255.255.0", ""}});
    Rows()[0].modified = true;
    Rows()[0].SetField(FieldIpAddress, "10.0.0.11");
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table),
              kHeader + kLab2 + kLab3 + Block("lab1", "02004C000001", "10.0.0.11"));

    Rows().Rebuild({{"02004C000002", "lab2", "10.0.0.2", "", "", ""}});
    Rows()[0].deleted = true;
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + kLab3 + Block("lab1", "02004C000001", "10.0.0.11"));
}

TEST_F(WriterTest, LowerCaseHardwareAddressIsWrittenInUpperCase) {
    std::string lower = Block("lab1", "02004c00abcd", "10.0.0.1", "Mixed Case");
    Load(kHeader + lower);
    Rows().Append(Row("02004C00ABCD", "lab1", "10.0.0.1"));
    EXPECT_EQ(doc->IsListedAddress("02004c00abcd"), 1);
    EntryRow added = Row("02004C000002", "lab2", "10.0.0.2");
    added.isNew = true;
    Rows().Append(added);
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + Block("lab1", "02004C00ABCD", "10.0.0.1", "Mixed Case") +
                                   Block("lab2", "02004C000002", "10.0.0.2"));
}

TEST_F(WriterTest, EntryWhoseAddressLineIsNotAloneCannotBeRemoved) {
    std::string shared = "\r\n# two tags\r\nlab1:\\\r\nht=1:ha=02004C000001:\\\r\nip=10.0.0.1:\r\n";
    Load(kHeader + shared + kLab2);
    Rows().Rebuild({{"02004C000002", "lab2", "10.0.0.2", "", "", ""},
                    {"02004C000001", "lab1", "10.0.0.1", "", "", ""}});
    Rows()[0].deleted = Rows()[1].deleted = true;
    // The other deletion is written; the one that cannot be made is named
    // and dropped, so it does not block every later write.
    EXPECT_EQ(Told(doc->ApplyChanges()), 1);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "Entry not found for del request\n\nNot written to the bootptab "
                       "file:\ndelete lab1 (02004C000001, 10.0.0.1)");
    EXPECT_EQ(ReadFile(table), kHeader + shared);
    EXPECT_FALSE(Rows()[1].deleted);

    Rows().Rebuild({{"02004C000001", "lab1", "10.0.0.1", "", "", ""}}); // as after a relist
    EntryRow added = Row("02004C000005", "lab5", "10.0.0.5");
    added.isNew = true;
    Rows().Append(added);
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + shared + Block("lab5", "02004C000005", "10.0.0.5"));
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(WriterTest, HandWrittenEntriesWithoutEmptyLinesStayWhenANeighbourGoes) {
    std::string a = "# a\r\na:\\\r\nha=02004C00000A:\\\r\nip=10.0.0.10:\r\n";
    std::string b = "b:\\\r\nha=02004C00000B:\\\r\n# inside\r\nip=10.0.0.11:\r\n# trailing\r\n";
    std::string c = "c:ha=02004C00000C:ip=10.0.0.12:\r\n";
    Load(kHeader + a + b + c);
    Rows().Rebuild({{"02004C00000B", "b", "10.0.0.11", "", "", ""}});
    Rows()[0].deleted = true;
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + a + "# trailing\r\n" + c);
}

TEST_F(WriterTest, BackupHoldsThePreviousTableAfterEachWrite) {
    Load(kHeader);
    ::chmod(table.c_str(), 0640);
    Rows().Append(Row("02004C000001", "lab1", "10.0.0.1"));
    Rows()[0].isNew = true;
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    std::string first = ReadFile(table);
    EXPECT_EQ(ReadFile(table + ".bak"), kHeader);

    Rows().Rebuild({});
    Rows().Append(Row("02004C000002", "lab2", "10.0.0.2"));
    Rows()[0].isNew = true;
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table + ".bak"), first);
    EXPECT_EQ(ReadFile(table), first + kLab2);
    struct stat status;
    ::stat(table.c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0640u); // the table keeps its permissions
    EXPECT_TRUE(Leftovers(dir).empty());
}

TEST_F(WriterTest, LinesNotReadWholeAreNeverWritten) {
    WriteFile(table, kHeader + kLab1);
    CKorrindDoc unread(table);
    EXPECT_EQ(Told(unread.WriteTableFile()), 0);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "Problem reading bootptab file");
    EXPECT_EQ(ReadFile(table), kHeader + kLab1);
}

TEST_F(WriterTest, FailedWriteLeavesTheTableAndTheBackup) {
    Load(kHeader + kLab1);
    WriteFile(table + ".bak", "old backup");
    Rows().Append(Row("02004C000002", "lab2", "10.0.0.2"));
    Rows()[0].isNew = true;
    SetReplaceCallForTest(DiskFull);
    EXPECT_EQ(Told(doc->ApplyChanges()), 0);
    SetReplaceCallForTest({});
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "Exception while writing bootptab file");
    EXPECT_EQ(ReadFile(table), kHeader + kLab1);
    EXPECT_EQ(ReadFile(table + ".bak"), "old backup");
    EXPECT_TRUE(Leftovers(dir).empty());

    // The edits of the failed attempt neither ride along with the defaults
    // nor are applied twice.
    doc->StoreDefaults();
    ASSERT_EQ(Told(doc->WriteTableFile()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + kLab1);
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + kLab1 + kLab2);
}

TEST_F(WriterTest, FullDiskLeavesTheTable) {
    // A 64 KiB file system of our own, in a mount namespace of a child.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a private tmpfs";
    std::string table36k = kHeader;
    for (int i = 0; table36k.size() < 36 * 1024; ++i)
        table36k += kLab1;
    pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
            ::_exit(2);
        WriteFile(table, table36k);
        CKorrindDoc full(table);
        doctest::Messages inChild;
        bool ok = Told(full.ReadTableLines()) == TRUE;
        full.EntryRows().Append(Row("02004C000002", "lab2", "10.0.0.2"));
        full.EntryRows()[0].isNew = true;
        ok = ok && Told(full.ApplyChanges()) == 0 && inChild.texts.empty() && told.size() == 1 &&
             told[0] == "Exception while writing bootptab file" && ReadFile(table) == table36k &&
             Leftovers(dir).empty();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(WriterTest, BindMountedTableAndLinkToAnotherFileSystemAreWrittenWithABackup) {
    // Where no rename can replace the table: a file bind-mounted over it, a
    // link to a file on another file system. In a child's own mount
    // namespace, so the mounts go with it.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a private mount namespace";
    std::string source = dir + "/source";
    std::string other = dir + "/other";
    WriteFile(source, kHeader + kLab1);
    WriteFile(table, "");
    ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
    pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(source.c_str(), table.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount("tmpfs", other.c_str(), "tmpfs", 0, "size=1m") != 0)
            ::_exit(2);
        doctest::Messages inChild;
        auto addLab2 = [this](const std::string& path) {
            CKorrindDoc doc(path);
            EntryRow row = Row("02004C000002", "lab2", "10.0.0.2");
            row.isNew = true;
            doc.EntryRows().Append(row);
            return Told(doc.ReadTableLines()) == TRUE && Told(doc.ApplyChanges()) == 1;
        };
        if (!addLab2(table) || ReadFile(source) != kHeader + kLab1 + kLab2 ||
            ReadFile(table + ".bak") != kHeader + kLab1)
            ::_exit(3);
        std::string linked = dir + "/linked";
        WriteFile(other + "/bootptab", kHeader + kLab1);
        if (::symlink((other + "/bootptab").c_str(), linked.c_str()) != 0 || !addLab2(linked) ||
            ReadFile(other + "/bootptab") != kHeader + kLab1 + kLab2 ||
            !std::filesystem::is_symlink(linked) || ReadFile(linked + ".bak") != kHeader + kLab1)
            ::_exit(4);
        ::_exit(inChild.texts.empty() && told.empty() ? 0 : 5);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
