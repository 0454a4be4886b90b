// Start and stop through server manager programs of the test's own: shell
// scripts that keep the script they were given and print what a server
// manager prints, or nothing, or never end.
#include "utils/tests/lab_test_support.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace dravik::testing;

constexpr char16_t kId[] = u"DSN=lab;Database=/srv/lab.db;Timeout=1";

class ServerManager : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        temp_ = dir_ + "/tmp";
        std::filesystem::create_directory(temp_);
        setenv("TMPDIR", temp_.c_str(), 1);
        std::filesystem::create_directory(dir_ + "/svr mgr");
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        LabTest::TearDown();
    }
    // A program at a path with a space that keeps its script and its mode
    // and then runs `then`.
    std::string Program(const std::string& name, const std::string& then) {
        const std::string path = dir_ + "/svr mgr/" + name;
        WriteFile(path, "#!/bin/sh\ncat > '" + dir_ + "/seen'\nreadlink /proc/$$/fd/0 > '" + dir_ +
                            "/input'\nstat -L -c %a /proc/$$/fd/0 > '" + dir_ + "/mode'\n" + then +
                            "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        SetLns("SVRMGR", path);
        return path;
    }
    std::string Seen() const { return ReadFile(dir_ + "/seen"); }
    // Nothing of any call may stay behind.
    bool TempIsEmpty() const { return std::filesystem::is_empty(temp_); }

    std::string temp_;
};

TEST_F(ServerManager, EachOperationWritesItsScriptAndLooksForItsPhrase) {
    Program("svrmgrl", "echo 'Connected.'; echo 'Database opened.'; "
                       "echo 'ORACLE instance shut down.'");
    EXPECT_EQ(ASVeskStartDb(kId, u"system", u"manager"), S_OK);
    EXPECT_EQ(Seen(), "connect system/manager\nstartup\nquit\n");
    // The script was readable by this account alone.
    const std::string input = ReadFile(dir_ + "/input");
    EXPECT_EQ(input.rfind(temp_ + "/olvani-svrmgr-", 0), 0u) << input;
    EXPECT_EQ(ReadFile(dir_ + "/mode"), "600\n");
    SetLns("PFILE", "/srv/init lab.ora");
    EXPECT_EQ(ASVeskStartDb(kId, u"system", u"manager"), S_OK);
    EXPECT_EQ(Seen(), "connect system/manager\nstartup PFILE=/srv/init lab.ora\nquit\n");
    EXPECT_EQ(ASVeskStopDb(kId, u"system", u"manager", 0), S_OK);
    EXPECT_EQ(Seen(), "connect system/manager\nshutdown normal\nquit\n");
    EXPECT_EQ(ASVeskStopDb(kId, u"system", u"manager", 1), S_OK);
    EXPECT_EQ(Seen(), "connect system/manager\nshutdown immediate\nquit\n");
    EXPECT_TRUE(TempIsEmpty());
    EXPECT_EQ(Reports(), 0u);
}

TEST_F(ServerManager, AnOutputWithoutThePhraseFailsThoughTheProgramEndedWell) {
    const std::string program = Program("svrmgrl", "echo 'ORA-01031: insufficient privileges'");
    EXPECT_EQ(ASVeskStartDb(kId, u"system", u"manager"), E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(), u"The database was not started by '" + Wide(program) +
                                  u"'. Its output was: ORA-01031: insufficient privileges\n");
    EXPECT_EQ(ASVeskStopDb(kId, u"system", u"manager", 1), E_UNEXPECTED);
    EXPECT_TRUE(ErrorMessage().starts_with(u"The database was not stopped by"));
    // A program that writes nothing did not run properly.
    Program("quiet", "exit 0");
    EXPECT_EQ(ASVeskStopDb(kId, u"system", u"manager", 0), E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(), u"The database server manager did not run properly: " + Wide(dir_) +
                                  u"/svr mgr/quiet");
    EXPECT_TRUE(TempIsEmpty());
    EXPECT_EQ(Reports(), 3u);
}

TEST_F(ServerManager, ProgramNamesAreNeverShellSyntax) {
    const std::string marker = dir_ + "/ran";
    SetLns("SVRMGR", dir_ + "/none; touch '" + marker + "'");
    EXPECT_EQ(ASVeskStartDb(kId, u"system", u"manager"), E_UNEXPECTED);
    EXPECT_FALSE(std::filesystem::exists(marker));
    // Nor can a line break in the password add a line to the script.
    Program("svrmgrl", "echo 'Database opened.'");
    std::filesystem::remove(dir_ + "/seen");
    EXPECT_EQ(ASVeskStartDb(kId, u"system", u"x\nshutdown abort"), E_INVALIDARG);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/seen"));
    // An id of two parts is refused before anything runs.
    EXPECT_EQ(ASVeskStopDb(u"DSN=lab;Database", u"system", u"manager", 0), E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(), u"The database ID 'DSN=lab;Database' is not valid.");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/seen"));
    EXPECT_TRUE(TempIsEmpty());
    EXPECT_EQ(Reports(), 2u);
}

TEST_F(ServerManager, OneThatNeverEndsIsStoppedAfterTheConfiguredWait) {
    Program("svrmgrl", "echo 'Database opened.'; sleep 600 & wait");
    SetLns("SvrMgrTimeout", "1");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ASVeskStartDb(kId, u"system", u"manager"), E_UNEXPECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_TRUE(ErrorMessage().starts_with(
        u"The database server manager did not run properly: /bin/sh -c '\"" + Wide(dir_)));
    EXPECT_TRUE(TempIsEmpty());
    EXPECT_EQ(Reports(), 1u);
}

} // namespace
