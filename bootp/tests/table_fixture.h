// Shared helpers of the engine tests: a temporary table file that the
// engine reads through its real reader, and lookups in the three tables.
#pragma once

#include "bootp/bootptab_parser.h"
#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "bootp/hash_table.h"
#include "bootp/table_paths.h"
#include "tests/support/scratch_dir.h"

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

// Parses one entry text on its own (no templates); `result` receives
// ParseEntry's result.
inline HostPtr Parse(const std::string& text, int* result = nullptr) {
    HostPtr entry(NewHostEntry());
    int r = ParseEntry(entry.get(), text.c_str(), HostTables{});
    if (result != nullptr) {
        *result = r;
    }
    return entry;
}

inline HostEntry* FindName(const HostTables& tables, const char* name) {
    return hash_Find(tables.nameTable, hash_Code(name, static_cast<uint32_t>(std::strlen(name))),
                     nameLookupMatch, name);
}

inline HostEntry* FindHw(const HostTables& tables, uint8_t type, const uint8_t* address) {
    HostEntry key{};
    key.hwType = type;
    std::memcpy(key.hwAddr, address, static_cast<size_t>(hwAddrLength(type)));
    return hash_Find(tables.hwTable, hash_Code(address, static_cast<uint32_t>(hwAddrLength(type))),
                     hwLookupMatch, &key);
}

inline HostEntry* FindIp(const HostTables& tables, uint32_t networkOrder) {
    HostEntry key{};
    key.ipAddr = networkOrder;
    return hash_Find(tables.ipTable, hash_Code(&networkOrder, 4), ipLookupMatch, &key);
}

inline int CountEntries(HashTable* table) {
    int count = 0;
    for (HostEntry* e = hash_First(table); e != nullptr; e = hash_Next(table)) {
        ++count;
    }
    return count;
}

// A fresh folder with a table file that a fresh engine reads.
class TableFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (dir_ / "bootptab").string();
        SetTablePath(engine_, path_);
    }
    void Write(const std::string& text, const std::string& path = {}) {
        std::ofstream out(path.empty() ? path_ : path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    // Writes the table and reads it as the engine does.
    int Load(const std::string& text) {
        Write(text);
        ForgetHostTableFile(engine_);
        return ReadHostTable(engine_);
    }
    HostEntry* FindName(const char* name) const { return bootp_test::FindName(tables(), name); }
    HostEntry* FindHw(uint8_t type, const uint8_t* address) const {
        return bootp_test::FindHw(tables(), type, address);
    }
    HostEntry* FindIp(uint32_t networkOrder) const {
        return bootp_test::FindIp(tables(), networkOrder);
    }
    const HostTables& tables() const { return engine_.tables; }

    BootpEngine engine_;
    olvani_test::ScratchDir scratch_{"bootp-test"};
    std::filesystem::path dir_ = scratch_.path();
    std::string path_;
};

} // namespace bootp_test
