// Stamping, replacing and locking shared files, on real files, ACLs and mounts.
#include "platform/safe_file.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override {}

    std::string Path(const char* name) const { return dir_ + "/" + name; }
    static std::string Read(const std::string& path) { return olvani_test::ReadFile(path); }
    static void Write(const std::string& path, const std::string& text) {
        olvani_test::WriteFile(path, text);
    }
    static std::string AclText(const std::string& path) {
        acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
        char* text = acl ? acl_to_any_text(acl, nullptr, ',', 0) : nullptr;
        std::string result = text ? text : "<none>";
        acl_free(text);
        acl_free(acl);
        return result;
    }
    size_t FilesInFolder() const {
        auto entries = std::filesystem::directory_iterator(dir_);
        return static_cast<size_t>(std::distance(begin(entries), end(entries)));
    }

    olvani_test::ScratchDir scratch_{"olvani-file"};
    std::string dir_ = scratch_.path();
};

TEST_F(SafeFile, StampSeesARewriteThatKeepsSizeAndModificationTime) {
    const std::string file = Path("table");
    Write(file, "alpha");
    const olvani::FileStamp before = olvani::FileStamp::OfPath(file);
    ASSERT_TRUE(before.exists);
    EXPECT_FALSE(olvani::FileStamp::OfPath(file).ChangedSince(before));
    // The kernel stamps with a coarse clock: let it move past the last change.
    timespec now;
    do
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    while (now.tv_sec == before.changed.tv_sec && now.tv_nsec == before.changed.tv_nsec);
    // What cp -p does: same inode, same size, the old modification time set back.
    Write(file, "omega");
    timespec times[2] = {before.modified, before.modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const olvani::FileStamp after = olvani::FileStamp::OfPath(file);
    EXPECT_EQ(after.inode, before.inode);
    EXPECT_EQ(after.size, before.size);
    EXPECT_TRUE(after.ChangedSince(before));
    EXPECT_FALSE(olvani::FileStamp::OfPath(Path("missing")).exists);
}

TEST_F(SafeFile, ReplaceKeepsOwnerModeAndAclAndRefusesWhatIsNotAPlainFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "gives files away and mounts: runs as root only";
    const std::string file = Path("bootptab");
    Write(file, "old");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    acl_t acl = acl_from_text("u::rw-,u:daemon:rw-,g::r--,m::rw-,o::---");
    ASSERT_EQ(acl_set_file(file.c_str(), ACL_TYPE_ACCESS, acl), 0);
    acl_free(acl);
    struct stat old;
    ASSERT_EQ(::stat(file.c_str(), &old), 0);
    const std::string oldAcl = AclText(file);

    olvani::ReplaceOutcome outcome;
    olvani::FileError e = olvani::ReplaceFile(file, "new", {}, &outcome);
    ASSERT_TRUE(e.ok()) << e.message;
    struct stat now;
    ASSERT_EQ(::stat(file.c_str(), &now), 0);
    EXPECT_EQ(Read(file), "new");
    EXPECT_NE(now.st_ino, old.st_ino) << "replaced, not rewritten";
    EXPECT_EQ(now.st_mode, old.st_mode);
    EXPECT_EQ(now.st_uid, 65534u);
    EXPECT_EQ(now.st_gid, 65534u);
    EXPECT_EQ(AclText(file), oldAcl);
    EXPECT_EQ(outcome.stamp, olvani::FileStamp::OfPath(file));
    EXPECT_EQ(FilesInFolder(), 1u) << "no temporary file left behind";

    // A link is refused unless the caller asks to write through it.
    const std::string link = Path("link");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    EXPECT_EQ(olvani::ReplaceFile(link, "via link").error, ELOOP);
    EXPECT_EQ(Read(file), "new");
    olvani::ReplaceOptions through;
    through.links = olvani::LinkPolicy::WriteThrough;
    ASSERT_TRUE(olvani::ReplaceFile(link, "via link", through).ok());
    EXPECT_EQ(Read(file), "via link");
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    // A FIFO is neither opened (it would hang) nor replaced.
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(olvani::ReplaceFile(fifo, "x").error, EINVAL);
    std::string content;
    EXPECT_EQ(olvani::ReadRegularFile(fifo, content).error, EINVAL);
    EXPECT_EQ(olvani::ReadRegularFile(link, content).error, ELOOP);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

TEST_F(SafeFile, ABindMountedFileIsRewrittenInPlaceOnlyWhenAllowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "gives files away and mounts: runs as root only";
    const std::string source = Path("source");
    const std::string bound = Path("bound");
    Write(source, "old content");
    Write(bound, "");
    pid_t child = ::fork();
    if (child == 0) {
        // A private mount namespace, so the bind mount dies with the child.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(source.c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(10);
        if (olvani::ReplaceFile(bound, "refused").error != EBUSY)
            ::_exit(11);
        olvani::ReplaceOptions options;
        options.allowInPlace = true;
        olvani::ReplaceOutcome outcome;
        if (!olvani::ReplaceFile(bound, "new", options, &outcome).ok() || !outcome.inPlace)
            ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Read(source), "new") << "written through the mount, shorter and cut to size";
    EXPECT_EQ(FilesInFolder(), 2u) << "no backup or temporary file left behind";
}

TEST_F(SafeFile, LockExcludesOthersAndAForkedChildDoesNotKeepIt) {
    const std::string lockPath = Path("table.lock");
    auto othersMayLock = [&] {
        int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    };
    olvani::FileLock lock;
    olvani::FileError e = olvani::LockFile(lockPath, lock);
    ASSERT_TRUE(e.ok()) << e.message;
    EXPECT_FALSE(othersMayLock());

    int ready[2], hold[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
    pid_t child = ::fork();
    if (child == 0) {
        char c = 'r';
        ::close(hold[1]);
        if (::write(ready[1], &c, 1) != 1)
            ::_exit(1);
        ::_exit(::read(hold[0], &c, 1) < 0 ? 1 : 0); // lives until the parent lets go
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    lock.Release();
    EXPECT_TRUE(othersMayLock()) << "the living child must not hold the lock";
    for (int fd : {ready[0], ready[1], hold[0], hold[1]})
        ::close(fd);
    ::waitpid(child, nullptr, 0);

    const std::string link = Path("link.lock");
    const std::string fifo = Path("fifo.lock");
    const std::string second = Path("second.lock");
    ASSERT_EQ(::symlink(Path("elsewhere").c_str(), link.c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::link(lockPath.c_str(), second.c_str()), 0);
    EXPECT_EQ(olvani::LockFile(link, lock).error, ELOOP);
    EXPECT_FALSE(std::filesystem::exists(Path("elsewhere")));
    EXPECT_EQ(olvani::LockFile(fifo, lock).error, EINVAL);
    EXPECT_EQ(olvani::LockFile(second, lock).error, EINVAL);
    EXPECT_FALSE(lock.held());
}

} // namespace
