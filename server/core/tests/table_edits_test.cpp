// The writer among other writers and hand-written entries: edits go onto
// the file as it is now, under the lock every writer takes, and change
// exactly the entry the operator chose, keeping what the dialog does not
// edit.
#include "server/core/tests/doc_fixture.h"

#include <chrono>
#include <sys/file.h>
#include <thread>

using namespace doctest;

namespace {

// True once some thread waits for the flock on the file (the kernel lists
// waiters with "->" in /proc/locks). Gives up after ten seconds.
bool SomeoneWaitsForLock(const std::string& path) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0)
        return false;
    std::string inode = ":" + std::to_string(status.st_ino) + " ";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream locks(ReadFile("/proc/locks"));
        for (std::string line; std::getline(locks, line);) {
            if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos)
                return true;
        }
        std::this_thread::yield();
    }
    return false;
}

class EditsTest : public LoadedDocTest {
protected:
    EditsTest() { agedTable = true; }
};

} // namespace

TEST_F(EditsTest, AnotherProgramsEntriesSurviveEveryWrite) {
    Load(kHeader + kLab1);
    // Written meanwhile by another program, old time stamp and all.
    WriteFile(table, kHeader + kLab1 + kLab3);
    doctest::Age(table);
    Rows().Append(Row("02004C000002", "lab2", "10.0.0.2"));
    Rows()[0].isNew = true;
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + kLab1 + kLab3 + kLab2);

    // Default Settings: the defaults are stored, another program writes,
    // then the table is written.
    doc->SetDefaultSubnetMask("255.255.0.0");
    doc->StoreDefaults();
    WriteFile(table, kHeader + kLab1 + kLab2);
    EXPECT_EQ(Told(doc->WriteTableFile()), 1);
    std::string expected = kHeader + kLab1 + kLab2;
    expected.replace(expected.find("sm=:"), 4, "sm=255.255.0.0:");
    EXPECT_EQ(ReadFile(table), expected);
    EXPECT_TRUE(told.empty());
}

TEST_F(EditsTest, TheWriterWaitsForTheTableLockAndReadsAfterIt) {
    Load(kHeader + kLab1);
    Rows().Append(Row("02004C000002", "lab2", "10.0.0.2"));
    Rows()[0].isNew = true;
    std::string lockPath = table + ".lock";
    int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    int applied = -1;
    std::thread writer([&] { applied = Told(doc->ApplyChanges()); });
    bool waited = SomeoneWaitsForLock(lockPath);
    // The other writer, still holding the lock, finishes its own change.
    WriteFile(table, kHeader + kLab1 + kLab3);
    ::close(held);
    writer.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(ReadFile(table), kHeader + kLab1 + kLab3 + kLab2);
}

TEST_F(EditsTest, SameHardwareAddressOnTwoSubnetsChangesOnlyTheChosenEntry) {
    std::string first = Block("lab1", "02004C000001", "10.0.1.5");
    std::string second = Block("lab1b", "02004C000001", "10.0.2.5");
    Load(kHeader + first + second + kLab3);
    Rows().Rebuild({{"02004C000001", "lab1b", "10.0.2.5", "lab", "255.255.255.0", ""}});
    Rows()[0].deleted = true;
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table), kHeader + first + kLab3);

    // The file writes the address another way; the engine reads it as the
    // same, and so does the writer.
    std::string octal = Block("lab1b", "02004C000001", "10.0.2.005");
    WriteFile(table, kHeader + first + octal);
    Rows().Rebuild({{"02004C000001", "lab1", "10.0.1.5", "lab", "255.255.255.0", ""},
                    {"02004C000001", "lab1b", "10.0.2.5", "lab", "255.255.255.0", ""}});
    Rows()[1].modified = true;
    Rows()[1].SetField(FieldComment, "moved");
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table),
              kHeader + first + Block("lab1b", "02004C000001", "10.0.2.5", "moved"));
    EXPECT_TRUE(told.empty());
}

TEST_F(EditsTest, ModifyKeepsWhatTheDialogDoesNotEdit) {
    std::string handWritten = "\r\n# bench\r\nlab1:\\\r\n ht=6:\\\r\nha=02004C000001:\\\r\n"
                              "ip=10.0.0.1:\\\r\nsm=255.255.255.0:\\\r\n"
                              "gw=10.0.0.254 10.0.0.253:\\\r\n# boot file:\r\n"
                              "bf=\"boot:file\":ds=10.0.0.53:\\\r\nT150=0x41:bs=12:hn@\r\n";
    Load(kHeader + handWritten + kLab2);
    Rows().Rebuild({{"02004C000001", "lab1", "10.0.0.1", "bench", "255.255.255.0", "10.0.0.254"}});
    Rows()[0].modified = true;
    Rows()[0].SetField(FieldIpAddress, "10.0.0.9");
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table),
              kHeader + kLab2 +
                  "\r\n# bench\r\nlab1:\\\r\nht=6:\\\r\nha=02004C000001:\\\r\nip=10.0.0.9:\\\r\n"
                  "sm=255.255.255.0:\\\r\ngw=10.0.0.254 10.0.0.253:\\\r\nvm=auto:\\\r\n"
                  "T145=64:T146=01:T147=01:\\\r\nbf=\"boot:file\":\\\r\nds=10.0.0.53:\\\r\n"
                  "T150=0x41:\\\r\nbs=12:\\\r\nhn@\r\n");

    // A new gateway replaces the list; a second Modify changes nothing else.
    Rows().Rebuild({{"02004C000001", "lab1", "10.0.0.9", "bench", "255.255.255.0", "10.0.0.254"}});
    Rows()[0].modified = true;
    Rows()[0].SetField(FieldGateway, "10.0.0.1");
    ASSERT_EQ(Told(doc->ApplyChanges()), 1);
    EXPECT_EQ(ReadFile(table),
              kHeader + kLab2 +
                  "\r\n# bench\r\nlab1:\\\r\nht=6:\\\r\nha=02004C000001:\\\r\nip=10.0.0.9:\\\r\n"
                  "sm=255.255.255.0:\\\r\ngw=10.0.0.1:\\\r\nvm=auto:\\\r\n"
                  "T145=64:T146=01:T147=01:\\\r\nbf=\"boot:file\":\\\r\nds=10.0.0.53:\\\r\n"
                  "T150=0x41:\\\r\nbs=12:\\\r\nhn@\r\n");
}
