// The registry shared between processes: permissions, concurrent writers,
// change notification and a hive file that does not parse.
#include "platform/debugout.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "platform/tests/registry_test_support.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using RegistryProcesses = olvani::testing::TempRegistry;

constexpr const char* kTrace = "SOFTWARE\\Tarvex\\Olvani\\Trace";

using olvani::testing::BecomeUnprivileged;
using olvani::testing::InChild;

TEST_F(RegistryProcesses, WriteAccessToAReadOnlyHiveIsDenied) {
    SetString(kTrace, "TraceFlag", "1");
    ASSERT_EQ(::chmod(HiveFile().c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    const std::string before = ReadFile(HiveFile());

    int status = InChild([] {
        if (!BecomeUnprivileged())
            return 10;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_ALL_ACCESS, &key) !=
            ERROR_ACCESS_DENIED)
            return 11;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_WRITE, &key) != ERROR_ACCESS_DENIED)
            return 12;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) != ERROR_ACCESS_DENIED)
            return 13;
        // Reading still works.
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 14;
        char buffer[8];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key, "TraceFlag", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS ||
            std::string(buffer) != "1")
            return 15;
        RegCloseKey(key);
        // Writing through the root handle fails at the file, not silently.
        if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTrace) != ERROR_ACCESS_DENIED)
            return 16;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadFile(HiveFile()), before);
}

TEST_F(RegistryProcesses, AMissingFolderThatCannotBeCreatedDeniesWriteAccess) {
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    ::setenv("OLVANI_REGISTRY_DIR", (dir_ + "/not/yet").c_str(), 1);
    int status = InChild([] {
        if (!BecomeUnprivileged())
            return 10;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_ALL_ACCESS, &key) != ERROR_ACCESS_DENIED)
            return 11;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 12;
        return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 13;
    });
    EXPECT_EQ(status, 0);
}

// "w<writer>v<value>", built by appending: "w" + a temporary string makes
// g++ 12 warn of an overlapping copy that cannot happen (-Wrestrict).
std::string ValueName(int writer, int value) {
    std::string name = "w";
    name += std::to_string(writer);
    name += 'v';
    name += std::to_string(value);
    return name;
}

TEST_F(RegistryProcesses, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kValues = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                HKEY key = nullptr;
                std::string path = "SOFTWARE\\Tarvex\\Writer" + std::to_string(w % 2);
                if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &key, nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                std::string name = ValueName(w, i);
                failures += RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(name.c_str()),
                                           static_cast<DWORD>(name.size() + 1)) != ERROR_SUCCESS;
                RegCloseKey(key);
            }
            ::_exit(failures ? 1 : 0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int found = 0;
    for (int w = 0; w < kWriters; ++w) {
        std::string path = "SOFTWARE\\Tarvex\\Writer" + std::to_string(w % 2);
        for (int i = 0; i < kValues; ++i) {
            std::string name = ValueName(w, i);
            found += GetString(path.c_str(), name.c_str()) == name;
        }
    }
    EXPECT_EQ(found, kWriters * kValues);
}

class Notification : public RegistryProcesses {
protected:
    void SetUp() override {
        RegistryProcesses::SetUp();
        SetString(kTrace, "TraceFlag", "0");
        SetString("SOFTWARE\\Tarvex\\Olvani\\BootpSettings", "EnableLogging", "0");
        event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key_), ERROR_SUCCESS);
        ASSERT_EQ(RegNotifyChangeKeyValue(key_, TRUE, 15, event_, TRUE), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        CloseHandle(event_);
        CloseHandle(stop_);
        RegistryProcesses::TearDown();
    }
    // Waits like the trace library: the change event together with a stop event.
    DWORD Wait(DWORD milliseconds) {
        HANDLE both[2] = {event_, stop_};
        return WaitForMultipleObjects(2, both, FALSE, milliseconds);
    }

    HKEY key_ = nullptr;
    HANDLE event_ = nullptr;
    HANDLE stop_ = nullptr;
};

TEST_F(Notification, AnotherProcessChangingTheKeySignalsOnce) {
    EXPECT_EQ(InChild([] {
                  SetString(kTrace, "TraceFlag", "1");
                  return 0;
              }),
              0);
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
    // One shot: a later change does not signal until asked again.
    ResetEvent(event_);
    SetString(kTrace, "TraceFlag", "2");
    EXPECT_EQ(Wait(300), WAIT_TIMEOUT);
    ASSERT_EQ(RegNotifyChangeKeyValue(key_, TRUE, 15, event_, TRUE), ERROR_SUCCESS);
    SetString(kTrace, "TraceFlag", "3");
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
}

TEST_F(Notification, AChangeBelowTheKeySignalsWithTheSubtree) {
    SetString("SOFTWARE\\Tarvex\\Olvani\\Trace\\Modules", "Bootp", "1");
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
}

TEST_F(Notification, AnUnrelatedKeyDoesNotSignal) {
    EXPECT_EQ(InChild([] {
                  SetString("SOFTWARE\\Tarvex\\Olvani\\BootpSettings", "EnableLogging", "1");
                  SetString("SOFTWARE\\Tarvex\\Olvani\\LNS", "PFILE", "x");
                  return 0;
              }),
              0);
    // Rewriting the watched key with the same value changes nothing either.
    SetString(kTrace, "TraceFlag", "0");
    EXPECT_EQ(Wait(500), WAIT_TIMEOUT);
    // The stop event ends the wait as it ends the trace library's watch thread.
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SetEvent(stop_);
    });
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0 + 1);
    stopper.join();
}

TEST_F(Notification, TheCommandLineToolsChangeIsSeen) {
    std::string command =
        std::string(OLVANI_REG_TOOL) + " set 'HKLM\\" + kTrace + "' TraceLevel 5 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
    EXPECT_EQ(GetString(kTrace, "TraceLevel"), "5");
}

TEST_F(Notification, DeletingTheKeySignals) {
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kTrace), ERROR_SUCCESS);
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
}

TEST_F(Notification, ReplacingTheRegistryFolderKeepsNotificationsComing) {
    SeeEditorChangesAtOnce(); // the folders are replaced by other means than the calls
    // Moved away and a new folder put in its place, as a restore does.
    const std::string old = dir_ + ".old";
    ASSERT_EQ(::rename(dir_.c_str(), old.c_str()), 0);
    ASSERT_EQ(::mkdir(dir_.c_str(), 0755), 0);
    EXPECT_EQ(InChild([] {
                  SetString(kTrace, "TraceFlag", "1");
                  return 0;
              }),
              0);
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
    // Removed, and created again only later.
    ResetEvent(event_);
    std::filesystem::remove_all(old);
    ASSERT_EQ(RegNotifyChangeKeyValue(key_, TRUE, 15, event_, TRUE), ERROR_SUCCESS);
    std::filesystem::remove_all(dir_);
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0) << "the key is gone with its folder";
    ResetEvent(event_);
    ASSERT_EQ(::mkdir(dir_.c_str(), 0755), 0);
    SetString(kTrace, "TraceFlag", "2");
    ASSERT_EQ(RegNotifyChangeKeyValue(key_, TRUE, 15, event_, TRUE), ERROR_SUCCESS);
    SetString(kTrace, "TraceFlag", "3");
    EXPECT_EQ(Wait(5000), WAIT_OBJECT_0);
}

TEST_F(RegistryProcesses, ClosingTheKeyCancelsItsNotification) {
    SetString(kTrace, "TraceFlag", "0");
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegNotifyChangeKeyValue(key, TRUE, 15, event, TRUE), ERROR_SUCCESS);
    RegCloseKey(key);
    SetString(kTrace, "TraceFlag", "1");
    EXPECT_EQ(WaitForSingleObject(event, 300), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST_F(RegistryProcesses, NotificationNeedsAnEventAndAsynchronousMode) {
    SetString(kTrace, "TraceFlag", "0");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &key), ERROR_SUCCESS);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, 15, event, FALSE), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, 15, nullptr, TRUE), ERROR_INVALID_PARAMETER);
    CloseHandle(event);
    RegCloseKey(key);
}

TEST_F(RegistryProcesses, NotificationCreatesAMissingRegistryFolder) {
    const std::string folder = dir_ + "/var/registry";
    ::setenv("OLVANI_REGISTRY_DIR", folder.c_str(), 1);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(RegNotifyChangeKeyValue(HKEY_LOCAL_MACHINE, TRUE, 15, event, TRUE), ERROR_SUCCESS);
    struct stat st;
    EXPECT_EQ(::stat(folder.c_str(), &st), 0);
    SetString(kTrace, "TraceFlag", "1");
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    CloseHandle(event);
}

// Keys and events still open when the program ends, as a library's static
// objects leave them, must not trouble the exit.
struct OpenAtExit {
    HKEY key = nullptr;
    HANDLE event = nullptr;
    ~OpenAtExit() {
        RegCloseKey(key);
        CloseHandle(event);
    }
};

TEST_F(RegistryProcesses, AProcessWithAPendingNotificationExitsCleanly) {
    SetString(kTrace, "TraceFlag", "0");
    int status = InChild([] {
        static OpenAtExit open;
        open.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTrace, 0, KEY_READ, &open.key) != ERROR_SUCCESS ||
            RegNotifyChangeKeyValue(open.key, TRUE, 15, open.event, TRUE) != ERROR_SUCCESS)
            return 1;
        std::exit(7); // atexit handlers and static destructors run
    });
    EXPECT_EQ(status, 7);
}

TEST_F(RegistryProcesses, ThreadsOfOneProcessShareTheRegistrySafely) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::string key = "SOFTWARE\\Tarvex\\Thread" + std::to_string(t);
            for (int i = 0; i < 25; ++i) {
                std::string value = std::to_string(t * 100 + i);
                SetString(key.c_str(), ("v" + value).c_str(), value);
                EXPECT_EQ(GetString(key.c_str(), ("v" + value).c_str()), value);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        std::string key = "SOFTWARE\\Tarvex\\Thread" + std::to_string(t);
        for (int i = 0; i < 25; ++i) {
            std::string value = std::to_string(t * 100 + i);
            EXPECT_EQ(GetString(key.c_str(), ("v" + value).c_str()), value);
        }
    }
}

TEST_F(RegistryProcesses, ACorruptHiveIsReportedAndNeverOverwritten) {
    const std::string corrupt = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex]\n"
                                "\"Good\"=\"1\"\n"
                                "\"Broken\"=dword:xyz\n";
    WriteFile(HiveFile(), corrupt);
    std::vector<std::string> messages;
    auto previous =
        olvani::SetDebugOutputSink([&](std::string_view text) { messages.emplace_back(text); });

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvex", 0, KEY_READ, &key),
              ERROR_BADDB);
    const std::string where = HiveFile() + ":5:";
    EXPECT_NE(std::string(olvani::RegistryErrorText()).find(where), std::string::npos)
        << olvani::RegistryErrorText();
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(
        RegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2),
        ERROR_BADDB);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvex"), ERROR_BADDB);
    olvani::SetDebugOutputSink(std::move(previous));

    EXPECT_EQ(ReadFile(HiveFile()), corrupt) << "the hive file must stay byte for byte";
    ASSERT_EQ(messages.size(), 1u) << "reported once per version of the file";
    EXPECT_NE(messages[0].find(where), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("dword"), std::string::npos) << messages[0];
    // Other roots are not affected.
    HKEY user = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &user, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(user);
}

} // namespace
