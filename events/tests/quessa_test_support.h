// Quessa loaded as its clients load it: the real libquessa.so through
// dlopen, in a process whose registry, event file and trace file live in a
// private temporary folder set up before the library is loaded.
#pragma once

#include "events/quessa.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace quessa::testing {

// Message ids of the tests' own catalog (quessa_tests_en.msg).
constexpr UINT kCantOpen = 1; // Can't open '%s'
constexpr UINT kCopied = 2;   // #2%s copied to #1%s
constexpr UINT kBackup = 3;   // The backup failed.
constexpr UINT kTwoParts = 4; // #1%s-#2%s
constexpr UINT kFilesIn = 5;  // %d files in %s
constexpr UINT kMixed = 6;    // #1%d and %d
constexpr UINT kMissing = 99; // in no catalog

inline void WriteString(HKEY root, const std::u16string& path, const char16_t* name,
                        const std::u16string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The process's private folder and the loaded library, made on first use.
class Library {
public:
    static Library& Get() {
        static Library library;
        return library;
    }
    template <class F> F* Function(const char* name) {
        void* symbol = dlsym(handle_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<F*>(symbol);
    }
    HMODULE Module() { return OlvaniModuleFromAddress(dlsym(handle_, "ASFormatString3")); }
    const std::string& Folder() const { return folder_; }
    std::string EventFile() const { return folder_ + "/events.jsonl"; }
    std::string TraceFile() const { return folder_ + "/trace.csv"; }

private:
    Library() {
        std::filesystem::create_directory(folder_ + "/registry");
        ::setenv("OLVANI_REGISTRY_DIR", (folder_ + "/registry").c_str(), 1);
        ::setenv("OLVANI_EVENT_LOG", EventFile().c_str(), 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        ::setenv("LANG", "C", 1);
        std::u16string trace = u"SOFTWARE\\Tarvex\\Olvani\\Trace";
        WriteString(HKEY_LOCAL_MACHINE, trace, u"TraceFile", U16(TraceFile()));
        WriteString(HKEY_LOCAL_MACHINE, trace, u"TraceLevel", u"9");
        WriteString(HKEY_LOCAL_MACHINE, trace, u"TraceKey", u"*");
        WriteString(HKEY_LOCAL_MACHINE, trace, u"WriteToFile", u"1");
        WriteString(HKEY_LOCAL_MACHINE, trace, u"TraceFlag", u"1");
        handle_ = dlopen(QUESSA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            ADD_FAILURE() << dlerror();
            std::abort();
        }
    }
    olvani_test::ScratchDir scratch_{"quessa-test"};
    std::string folder_ = scratch_.path();
    void* handle_ = nullptr;
};

#define QUESSA_FN(name) (Library::Get().Function<decltype(name)>(#name))

// A BSTR freed when it goes.
class Bstr {
public:
    Bstr() = default;
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR* Out() {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    BSTR Get() const { return text_; }
    std::u16string Text() const { return text_ ? std::u16string(text_, SysStringLen(text_)) : u""; }

private:
    BSTR text_ = nullptr;
};

using olvani_test::ReadFile;

// The events written to the event file so far.
inline std::vector<nlohmann::json> Events() {
    std::vector<nlohmann::json> events;
    std::istringstream lines(ReadFile(Library::Get().EventFile()));
    for (std::string line; std::getline(lines, line);)
        events.push_back(nlohmann::json::parse(line));
    return events;
}

class QuessaTest : public ::testing::Test {
protected:
    void SetUp() override {
        Library::Get();
        SetErrorInfo(0, nullptr);
    }
    void TearDown() override { SetErrorInfo(0, nullptr); }
};

} // namespace quessa::testing
