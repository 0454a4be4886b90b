// A private registry folder for each test, and small helpers around the calls.
#pragma once

#include "platform/registry.h"
#include "platform/registry_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace olvani::testing {

class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "olvani-reg-XXXXXX");
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ::setenv("OLVANI_REGISTRY_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string HiveFile(const char* root = "HKEY_LOCAL_MACHINE") const {
        return dir_ + "/" + root + ".reg";
    }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
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

    std::string dir_;
};

} // namespace olvani::testing
