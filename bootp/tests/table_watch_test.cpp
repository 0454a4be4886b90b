#include "bootp/table_watch.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

class TableWatchTest : public ::testing::Test {
protected:
    void SetUp() override { Write(table_, "host1:ip=10.0.0.1:\n"); }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::app) << text;
    }
    olvani_test::ScratchDir scratch_{"table-watch"};
    std::string dir_ = scratch_.path();
    std::string table_ = dir_ + "/bootptab";
};

// Every way the table can change is seen at the next question, and only
// then; other files of the folder do not count.
TEST_F(TableWatchTest, SeesEachChangeOfTheFileOnce) {
    TableWatch watch;
    ASSERT_TRUE(watch.Watch(table_));
    EXPECT_FALSE(watch.MayHaveChanged());
    Write(dir_ + "/bootptab.log", "other\n");
    EXPECT_FALSE(watch.MayHaveChanged());

    Write(table_, "host2:ip=10.0.0.2:\n");
    EXPECT_TRUE(watch.MayHaveChanged());
    EXPECT_FALSE(watch.MayHaveChanged());

    ASSERT_EQ(utimensat(AT_FDCWD, table_.c_str(), nullptr, 0), 0);
    EXPECT_TRUE(watch.MayHaveChanged());

    // Replaced by rename, as the writers do: seen, and followed once the
    // reader watches again.
    Write(dir_ + "/new", "host3:ip=10.0.0.3:\n");
    ASSERT_EQ(rename((dir_ + "/new").c_str(), table_.c_str()), 0);
    EXPECT_TRUE(watch.MayHaveChanged());
    ASSERT_TRUE(watch.Watch(table_));
    EXPECT_FALSE(watch.MayHaveChanged());
    Write(table_, "host4:ip=10.0.0.4:\n");
    EXPECT_TRUE(watch.MayHaveChanged());

    ASSERT_EQ(unlink(table_.c_str()), 0);
    EXPECT_TRUE(watch.MayHaveChanged());
}

// What a watch cannot follow is checked every time.
TEST_F(TableWatchTest, PathsItCannotFollowAlwaysMayHaveChanged) {
    const std::string link = dir_ + "/link";
    ASSERT_EQ(symlink(table_.c_str(), link.c_str()), 0);
    TableWatch watch;
    EXPECT_FALSE(watch.Watch(link));
    EXPECT_TRUE(watch.MayHaveChanged());
    EXPECT_TRUE(watch.MayHaveChanged());
    EXPECT_FALSE(watch.Watch(dir_ + "/missing"));
    EXPECT_TRUE(watch.MayHaveChanged());

    // The folder moved away: the path leads elsewhere now.
    ASSERT_TRUE(watch.Watch(table_));
    ASSERT_EQ(rename(dir_.c_str(), (dir_ + ".moved").c_str()), 0);
    EXPECT_TRUE(watch.MayHaveChanged());
    EXPECT_TRUE(watch.MayHaveChanged());
    ASSERT_EQ(rename((dir_ + ".moved").c_str(), dir_.c_str()), 0);
}

} // namespace
