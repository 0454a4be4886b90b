// The last error, error information, disk space and the logon right, on the
// real system: a private tmpfs, and a throwaway account and group.
#include "platform/oleauto.h"
#include "tests/support/scratch_dir.h"
#include "utils/dravik.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

TEST(LastError, TheThreadsErrnoAndItsTextInTheCLocale) {
    BSTR text = nullptr;
    DWORD code = 0;
    errno = ENOENT;
    EXPECT_EQ(ASVeskNTGetLastError(&text, &code), S_OK);
    EXPECT_EQ(code, static_cast<DWORD>(ENOENT));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), u"No such file or directory");
    EXPECT_EQ(errno, ENOENT);
    SysFreeString(text);
    EXPECT_EQ(ASVeskNTGetLastError(nullptr, &code), E_INVALIDARG);
}

TEST(LastError, ErrorInfoIsHandedOutOnceAndAbsentOtherwise) {
    BSTR description = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(ASVeskGetErrorInfo(&description), S_FALSE);
    EXPECT_EQ(description, reinterpret_cast<BSTR>(0x1));

    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(u"the disk is on fire");
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
    EXPECT_EQ(ASVeskGetErrorInfo(&description), S_OK);
    EXPECT_EQ(std::u16string(description), u"the disk is on fire");
    SysFreeString(description);
    EXPECT_EQ(ASVeskGetErrorInfo(&description), S_FALSE);
}

struct Space {
    HRESULT result = -1;
    DWORD total = 0;
    DWORD free = 0;
};

// Runs `measure` in a child with a tmpfs of `size` mounted on a fresh folder
// that only the child's private mount namespace sees.
template <size_t N, class Measure>
void OnTmpfs(const char* size, Space (&out)[N], Measure measure) {
    olvani_test::ScratchDir scratch("olvani-df");
    const std::string& folder = scratch.path();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        const std::string options = std::string("size=") + size;
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
            mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()))
            _exit(2);
        Space spaces[N];
        measure(folder, spaces);
        _exit(write(ends[1], spaces, sizeof spaces) == sizeof spaces ? 0 : 3);
    }
    close(ends[1]);
    EXPECT_EQ(read(ends[0], out, sizeof out), static_cast<ssize_t>(sizeof out));
    close(ends[0]);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

Space Measure(const std::u16string& path) {
    Space space;
    space.result = ASVeskGetDiskSpace(path.c_str(), &space.total, &space.free);
    return space;
}

TEST(DiskSpace, ATmpfsOfKnownSizeWithAndWithoutTheClosingSlashAndAsCurrentFolder) {
    Space spaces[4];
    OnTmpfs("8m", spaces, [](const std::string& folder, Space* out) {
        out[0] = Measure(Wide(folder));
        out[1] = Measure(Wide(folder + "/"));
        FILE* file = fopen((folder + "/fill").c_str(), "we");
        static char block[1 << 20];
        fwrite(block, 1, sizeof block, file);
        fclose(file);
        (void)!chdir(folder.c_str());
        out[2] = Measure(u"");
        out[3] = Measure(Wide(folder + "/fill"));
    });
    EXPECT_EQ(spaces[0].result, S_OK);
    EXPECT_EQ(spaces[0].total, 8192u);
    EXPECT_EQ(spaces[0].free, 8192u);
    EXPECT_EQ(spaces[1].result, S_OK);
    EXPECT_EQ(spaces[1].total, 8192u);
    EXPECT_EQ(spaces[2].result, S_OK);
    EXPECT_EQ(spaces[2].total, 8192u);
    EXPECT_EQ(spaces[2].free, 8192u - 1024u);
    // A file is no folder: "fill/" does not exist.
    EXPECT_EQ(spaces[3].result, static_cast<HRESULT>(0x80070014u)); // ENOTDIR
    EXPECT_EQ(spaces[3].total, 0u);
}

TEST(DiskSpace, VolumesOfFourTerabytesAndMoreSaturate) {
    Space spaces[1];
    OnTmpfs("8t", spaces,
            [](const std::string& folder, Space* out) { out[0] = Measure(Wide(folder)); });
    EXPECT_EQ(spaces[0].result, S_OK);
    EXPECT_EQ(spaces[0].total, 0xFFFFFFFFu);
    EXPECT_EQ(spaces[0].free, 0xFFFFFFFFu);
}

// A throwaway account; the right's group is removed after when the test made it.
class LogonRight : public ::testing::Test {
protected:
    void SetUp() override {
        user_ = "olvt" + std::to_string(getpid());
        groupExisted_ = getgrnam("olvani-service-logon") != nullptr;
        ASSERT_EQ(Run("useradd --no-create-home --shell /usr/sbin/nologin " + user_), 0);
    }
    void TearDown() override {
        Run("userdel " + user_);
        if (!groupExisted_)
            Run("groupdel olvani-service-logon");
    }
    static int Run(const std::string& command) {
        return std::system((command + " 2>/dev/null").c_str());
    }
    DWORD Verify(const std::u16string& account, HRESULT expected = S_OK) {
        DWORD flag = 7;
        EXPECT_EQ(ASVeskVerifyServiceLogonPrivilege(account.c_str(), &flag), expected);
        return flag;
    }

    std::string user_;
    bool groupExisted_ = false;
};

TEST_F(LogonRight, GivenAsGroupMembershipAndSeenUnderBothNames) {
    EXPECT_EQ(Verify(Wide(user_)), 0u);
    EXPECT_EQ(ASVeskAddServiceLogonPrivilege(Wide(user_).c_str()), S_OK);
    EXPECT_NE(getgrnam("olvani-service-logon"), nullptr);
    EXPECT_EQ(Verify(Wide(user_)), 1u);
    EXPECT_EQ(Verify(Wide("nT aUTHORITY\\" + user_)), 1u);
    EXPECT_EQ(Verify(u"root"), 0u);
}

TEST_F(LogonRight, EveryoneIsNeverLookedUpAndUnknownAccountsFail) {
    EXPECT_EQ(Verify(u"eVeRyOnE"), 0u);
    EXPECT_EQ(ASVeskAddServiceLogonPrivilege(u"EVERYONE"), static_cast<HRESULT>(0x80070016u));
    EXPECT_EQ(ASVeskAddServiceLogonPrivilege(u"NT Authority\\Everyone"),
              static_cast<HRESULT>(0x80070002u));
    Verify(u"no-such-account-olvani", static_cast<HRESULT>(0x80070002u));
    EXPECT_EQ(ASVeskAddServiceLogonPrivilege(u"no-such-account-olvani"),
              static_cast<HRESULT>(0x80070002u));
}

} // namespace
