// A private registry folder and trace folder for each test, the settings key
// written through the real registry layer, and a collector of debugger lines.
#pragma once

#include "platform/debugout.h"
#include "platform/registry.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace morvale::testing {

inline constexpr const char16_t* kKey = u"SOFTWARE\\Tarvex\\Olvani\\Trace";
// The unprivileged account that plays the other local user.
inline constexpr uid_t kNobody = 65534;

// Runs `step` in a child process as that user; whether it returned true.
inline bool AsNobody(const std::function<bool()>& step) {
    pid_t child = ::fork();
    if (child == 0) {
        bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 &&
                  ::setuid(kNobody) == 0 && step();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tmp = std::getenv("TMPDIR"))
            savedTmpDir_ = tmp;
        std::filesystem::create_directory(dir_ + "/registry");
        ::setenv("OLVANI_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
        olvani::SetDebugOutputSink([this](std::string_view text) {
            std::lock_guard lock(debugMutex_);
            debug_.emplace_back(text);
        });
    }
    void TearDown() override {
        olvani::SetDebugOutputSink({});
        if (savedTmpDir_)
            ::setenv("TMPDIR", savedTmpDir_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    static void CreateKey() {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void SetValue(const char16_t* name, DWORD type, const void* data, size_t size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void Set(const char16_t* name, const std::u16string& text) {
        SetValue(name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    }
    static void Set(const char16_t* name, const std::string& utf8) {
        std::u16string text;
        for (char c : utf8)
            text.push_back(static_cast<unsigned char>(c));
        Set(name, text);
    }
    static void SetDword(const char16_t* name, DWORD value) {
        SetValue(name, REG_DWORD, &value, sizeof value);
    }
    // Tracing on, every level, records to `file`. TraceFlag comes last, so a
    // watching process sees tracing on only with the rest in place.
    void TraceToFile(const std::string& file, const std::u16string& keys = u"*") {
        Set(u"TraceFile", file);
        Set(u"TraceLevel", u"9");
        Set(u"TraceKey", keys);
        Set(u"WriteToFile", u"1");
        Set(u"TraceFlag", u"1");
    }

    static std::string ReadFile(const std::string& path) { return olvani_test::ReadFile(path); }
    // The file's lines without their CR LF; a last line without one is kept.
    static std::vector<std::string> Lines(const std::string& path) {
        std::string text = ReadFile(path);
        std::vector<std::string> lines;
        size_t start = 0, end;
        while ((end = text.find("\r\n", start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        if (start < text.size())
            lines.push_back(text.substr(start));
        return lines;
    }
    // The message column of a record line, quotes included.
    static std::string Message(const std::string& line) {
        size_t open = line.find('"');
        size_t close = line.find("\", ", open);
        return line.substr(open, close + 1 - open);
    }

    size_t DebugCount(std::string_view text) {
        std::lock_guard lock(debugMutex_);
        size_t n = 0;
        for (const auto& line : debug_)
            n += line == text;
        return n;
    }

    olvani_test::ScratchDir scratch_{"morvale-test"};
    std::string dir_ = scratch_.path();

private:
    std::optional<std::string> savedTmpDir_;
    std::mutex debugMutex_;
    std::vector<std::string> debug_;
};

} // namespace morvale::testing
