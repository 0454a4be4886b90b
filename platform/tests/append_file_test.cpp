#include "platform/append_file.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder counts as private only while no one else may enter it and it is
// reached without a link.
TEST(PrivateFolder, RefusesAFolderOthersMayEnterOrALink) {
    olvani_test::ScratchDir scratch("olvani-private");
    const std::string& base = scratch.path();
    const std::string folder = base + "/mine", link = base + "/link";

    int fd = olvani::OpenPrivateFolder(folder);
    EXPECT_GE(fd, 0);
    ::close(fd);
    fd = olvani::OpenPrivateFolder(folder); // found again
    EXPECT_GE(fd, 0);
    ::close(fd);

    ASSERT_EQ(::symlink(folder.c_str(), link.c_str()), 0);
    EXPECT_EQ(olvani::OpenPrivateFolder(link), -1);
    ASSERT_EQ(::chmod(folder.c_str(), 0710), 0);
    EXPECT_EQ(olvani::OpenPrivateFolder(folder), -1);
    EXPECT_EQ(errno, EPERM);

    // Only regular files take records.
    EXPECT_EQ(olvani::OpenForAppend("/dev/null"), -1);
    EXPECT_EQ(errno, EINVAL);
}

} // namespace
