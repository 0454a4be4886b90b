#include "bootp/bootptab_reader.h"
#include "bootp/engine.h"
#include "bootp/table_paths.h"
#include "platform/registry.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class TablePathsTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("OLVANI_REGISTRY_DIR", dir_.c_str(), 1); }
    void TearDown() override { ::unsetenv("OLVANI_REGISTRY_DIR"); }
    // Creates the settings key, and the table value when `value` is given.
    void WriteSettings(const std::u16string* value) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvex\\Olvani\\BootpSettings", 0,
                                  nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                  &disposition),
                  ERROR_SUCCESS);
        if (value != nullptr) {
            ASSERT_EQ(RegSetValueExW(key, u"Bootptabfile", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value->c_str()),
                                     static_cast<DWORD>((value->size() + 1) * sizeof(char16_t))),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }
    olvani_test::ScratchDir scratch_{"bootp-registry"};
    std::filesystem::path dir_ = scratch_.path();
};

TEST_F(TablePathsTest, ValueGivesTheTableAndItsCompanions) {
    std::u16string value = u"/srv/boot files/bootptab";
    WriteSettings(&value);
    BootpEngine engine;
    engine.paths = LoadTablePaths();
    EXPECT_EQ(engine.paths.table, "/srv/boot files/bootptab");
    EXPECT_EQ(engine.paths.backup, "/srv/boot files/bootptab.bak");
    EXPECT_EQ(engine.paths.dump, "/srv/boot files/bootptab.dmp");
    // A table named on the command line leaves the companions alone.
    SetTablePath(engine, "/tmp/other table");
    EXPECT_EQ(engine.paths.table, "/tmp/other table");
    EXPECT_EQ(engine.paths.dump, "/srv/boot files/bootptab.dmp");
}

TEST_F(TablePathsTest, LongValuesAreReadWhole) {
    std::u16string value = u"/srv/" + std::u16string(400, u'd') + u"/bootptab";
    WriteSettings(&value);
    EXPECT_EQ(LoadTablePaths().table.size(), value.size());
}

TEST_F(TablePathsTest, MissingValueOrKeyFallsBack) {
    WriteSettings(nullptr);
    TablePaths paths = LoadTablePaths();
    EXPECT_EQ(paths.table, "bootptab");
    EXPECT_EQ(paths.backup, "bootptab.bak");
    // An empty registry: the key does not open.
    std::filesystem::path empty = dir_ / "empty";
    std::filesystem::create_directories(empty);
    ::setenv("OLVANI_REGISTRY_DIR", empty.c_str(), 1);
    BootpEngine engine;
    engine.paths = LoadTablePaths();
    EXPECT_EQ(engine.paths.table, "");
    EXPECT_EQ(engine.paths.dump, ".dmp");
    EXPECT_EQ(ReadHostTable(engine), -1);
}

} // namespace
