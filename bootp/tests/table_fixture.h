// Shared helpers of the engine tests: a temporary table file that the
// engine reads through its real reader, and lookups in the three tables.
#pragma once

#include "bootp/bootptab_parser.h"
#include "bootp/bootptab_reader.h"
#include "bootp/hash_table.h"
#include "bootp/table_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace bootp_test {

struct HostDeleter {
    void operator()(HostEntry* e) const { ReleaseHost(e); }
};
using HostPtr = std::unique_ptr<HostEntry, HostDeleter>;

// Parses one entry text on its own; `result` receives ParseEntry's result.
inline HostPtr Parse(const std::string& text, int* result = nullptr) {
    HostPtr entry(NewHostEntry());
    int r = ParseEntry(entry.get(), text.c_str());
    if (result != nullptr) {
        *result = r;
    }
    return entry;
}

inline HostEntry* FindName(const char* name) {
    return hash_Find(nameTable, hash_Code(name, static_cast<uint32_t>(std::strlen(name))),
                     nameLookupMatch, name);
}

inline HostEntry* FindHw(uint8_t type, const uint8_t* address) {
    HostEntry key{};
    key.hwType = type;
    std::memcpy(key.hwAddr, address, static_cast<size_t>(hwAddrLength(type)));
    return hash_Find(hwTable, hash_Code(address, static_cast<uint32_t>(hwAddrLength(type))),
                     hwLookupMatch, &key);
}

inline HostEntry* FindIp(uint32_t networkOrder) {
    HostEntry key{};
    key.ipAddr = networkOrder;
    return hash_Find(ipTable, hash_Code(&networkOrder, 4), ipLookupMatch, &key);
}

inline int CountEntries(HashTable* table) {
    int count = 0;
    for (HostEntry* e = hash_First(table); e != nullptr; e = hash_Next(table)) {
        ++count;
    }
    return count;
}

// A fresh folder with a table file the engine reads; the engine's tables
// and recorded file state are reset around each test.
class TableFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("bootp-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "bootptab").string();
        FreeHashTable();
        SetTablePath(path_);
    }
    void TearDown() override {
        FreeHashTable();
        ForgetHostTableFile();
        std::filesystem::remove_all(dir_);
    }
    void Write(const std::string& text, const std::string& path = {}) {
        std::ofstream out(path.empty() ? path_ : path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    // Writes the table and reads it as the engine does.
    int Load(const std::string& text) {
        Write(text);
        ForgetHostTableFile();
        return ReadHostTable();
    }

    std::filesystem::path dir_;
    std::string path_;
};

} // namespace bootp_test
