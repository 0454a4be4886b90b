// A private registry folder for each test, and small helpers around the calls.
#pragma once

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
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

    // A change made without the registry calls (an editor) shows within 10 ms.
    static void WaitForEditorChangeToShow() {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
