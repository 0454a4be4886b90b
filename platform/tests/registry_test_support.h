// A private registry folder for each test, and small helpers around the calls.
#pragma once

#include "platform/registry.h"
#include "platform/registry_store.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace olvani::testing {

// Runs `body` in a child process; its exit status is what `body` returns,
// 128 + the signal when a signal ended it.
inline int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Root bypasses permission bits, so the checks run as "nobody" there.
inline bool BecomeUnprivileged() {
    if (::geteuid() != 0)
        return true;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
           ::setresuid(65534, 65534, 65534) == 0;
}

class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("OLVANI_REGISTRY_DIR", dir_.c_str(), 1); }
    void TearDown() override { olvani::registry::SetRecheckInterval(-1); }

    std::string HiveFile(const char* root = "HKEY_LOCAL_MACHINE") const {
        return dir_ + "/" + root + ".reg";
    }

    static std::string ReadFile(const std::string& path) { return olvani_test::ReadFile(path); }
    static void WriteFile(const std::string& path, const std::string& text) {
        olvani_test::WriteFile(path, text);
    }

    // Reads until `seen` holds after a change made without the registry calls
    // (an editor). False when it still fails on a read made after the time
    // such a change may go unseen (and one tick of the coarse clock) is over.
    template <typename Seen> static bool EditorChangeShows(Seen seen) {
        timespec tick{};
        ::clock_getres(CLOCK_MONOTONIC_COARSE, &tick);
        auto limit = std::chrono::steady_clock::now() +
                     std::chrono::nanoseconds(registry::kUnseenEditNanoseconds + tick.tv_nsec);
        for (;;) {
            bool late = std::chrono::steady_clock::now() > limit;
            if (seen())
                return true;
            if (late)
                return false;
            std::this_thread::yield();
        }
    }

    // A change made without the registry calls (an editor) shows once the
    // reader's recheck interval has passed; the test sets it to nothing
    // instead of sleeping through it.
    static void SeeEditorChangesAtOnce() { olvani::registry::SetRecheckInterval(0); }

    // Creates the key (and its parents) and stores a string value in it.
    static void SetString(const char* key, const char* name, const std::string& value) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(handle, name, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegCloseKey(handle), ERROR_SUCCESS);
    }

    // The string value, or "<error N>" when it cannot be read.
    static std::string GetString(const char* key, const char* name) {
        HKEY handle = nullptr;
        LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle);
        if (r != ERROR_SUCCESS)
            return "<error " + std::to_string(r) + ">";
        char buffer[4096];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        r = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(handle);
        if (r != ERROR_SUCCESS)
            return "<error " + std::to_string(r) + ">";
        return std::string(buffer, size ? size - 1 : 0);
    }

    olvani_test::ScratchDir scratch_{"olvani-reg"};
    std::string dir_ = scratch_.path();
};

} // namespace olvani::testing
