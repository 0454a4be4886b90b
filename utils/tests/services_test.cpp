// Services against a stand-in of systemd's manager on the test's own bus.
#include "platform/strings.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"
#include "utils/dravik.h"
#include "utils/tests/service_manager_standin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using olvani::testing::ServiceManagerStandIn;
using olvani::testing::StandInUnit;

constexpr HRESULT kAlreadyRunning = static_cast<HRESULT>(0x80070072u); // EALREADY
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070002u);       // ENOENT
constexpr HRESULT kInvalid = static_cast<HRESULT>(0x80070016u);        // EINVAL
constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x8007006Eu);       // ETIMEDOUT

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_ + "/units");
        manager_ = std::make_unique<ServiceManagerStandIn>(dir_);
        setenv("OLVANI_SERVICE_BUS", manager_->Address().c_str(), 1);
        setenv("OLVANI_SERVICE_UNIT_DIR", (dir_ + "/units").c_str(), 1);
    }
    void TearDown() override {
        manager_.reset();
        unsetenv("OLVANI_SERVICE_BUS");
    }
    // Polls of the pending loop: the state reads after the request's first.
    int PendingPolls(const std::string& unit) { return manager_->StateReads(unit) - 2; }
    static StandInUnit Pending(uint64_t timeoutMs, bool moving) {
        StandInUnit unit;
        unit.afterStart = "activating";
        unit.requestHoldsJob = moving;
        unit.timeoutUsec = timeoutMs * 1000;
        return unit;
    }

    olvani_test::ScratchDir scratch_{"olvani-svc"};
    std::string dir_ = scratch_.path();
    std::unique_ptr<ServiceManagerStandIn> manager_;
};

TEST_F(Services, StartStopAndARunningServiceRefusesAnotherStart) {
    manager_->AddUnit("plain.service", StandInUnit{});
    EXPECT_EQ(ASVeskStartNTService(u"plain"), S_OK);
    EXPECT_EQ(manager_->ActiveState("plain.service"), "active");
    EXPECT_EQ(ASVeskStartNTService(u"plain.service"), kAlreadyRunning);
    EXPECT_EQ(ASVeskStopNTService(u"plain"), S_OK);
    const std::vector<std::string> expected = {
        "LoadUnit plain.service", "StartUnit plain.service replace", "LoadUnit plain.service",
        "LoadUnit plain.service", "StopUnit plain.service replace"};
    EXPECT_EQ(manager_->Calls(), expected);

    EXPECT_EQ(ASVeskStartNTService(u"missing"), kNotFound);
    EXPECT_EQ(ASVeskStopNTService(u"../etc/passwd"), kInvalid);
    EXPECT_EQ(ASVeskStartNTService(u"bad\nname"), kInvalid);
}

TEST_F(Services, StatusFollowsTheActiveState) {
    const std::pair<const char*, DWORD> states[] = {
        {"active", 4},       {"reloading", 4}, {"activating", 2},
        {"deactivating", 3}, {"inactive", 1},  {"failed", 1},
    };
    for (const auto& [activeState, expected] : states) {
        StandInUnit unit;
        unit.activeState = activeState;
        manager_->AddUnit(std::string(activeState) + ".service", unit);
        DWORD state = 0;
        EXPECT_EQ(
            ASVeskGetNTServiceStatus(olvani::Utf8ToUtf16(std::string(activeState)).c_str(), &state),
            S_OK);
        EXPECT_EQ(state, expected) << activeState;
    }
    DWORD state = 77;
    EXPECT_EQ(ASVeskGetNTServiceStatus(u"missing", &state), kNotFound);
    EXPECT_EQ(state, 77u);
}

TEST_F(Services, AStuckCheckPointEndsTheWaitAfterOnePoll) {
    manager_->AddUnit("stuck.service", Pending(0, false));
    EXPECT_EQ(ASVeskStartNTService(u"stuck"), kTimedOut);
    EXPECT_EQ(PendingPolls("stuck.service"), 1);
}

// A queued start job leaves the unit inactive for a moment: that is pending.
TEST_F(Services, AQueuedStartIsWaitedFor) {
    StandInUnit unit;
    unit.afterStart = "inactive";
    unit.requestHoldsJob = true;
    unit.settleAfterReads = 2;
    unit.settled = "active";
    manager_->AddUnit("queued.service", unit);
    EXPECT_EQ(ASVeskStartNTService(u"queued"), S_OK);
    EXPECT_EQ(PendingPolls("queued.service"), 1);
}

TEST_F(Services, AMovingCheckPointWithNoWaitHintIsPolledEverySecondForTenSeconds) {
    manager_->AddUnit("moving.service", Pending(0, true));
    EXPECT_EQ(ASVeskStartNTService(u"moving"), kTimedOut);
    EXPECT_GE(PendingPolls("moving.service"), 10);
    EXPECT_LE(PendingPolls("moving.service"), 11);
}

TEST_F(Services, ALongWaitHintPollsOnceAfterTenSeconds) {
    manager_->AddUnit("slow.service", Pending(60000, true));
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(ASVeskStartNTService(u"slow"), kTimedOut);
    EXPECT_EQ(PendingPolls("slow.service"), 1);
    // Loose: only a poll far beyond ten seconds fails this.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));
}

TEST_F(Services, StartTypesEnableDisableOrMaskTheUnitFile) {
    manager_->AddUnit("kind.service", StandInUnit{});
    EXPECT_EQ(ASVeskSetStartTypeNTService(u"kind", 2), S_OK);
    EXPECT_EQ(ASVeskSetStartTypeNTService(u"kind", 3), S_OK);
    EXPECT_EQ(ASVeskSetStartTypeNTService(u"kind", 4), S_OK);
    EXPECT_EQ(ASVeskSetStartTypeNTService(u"kind", 5), kInvalid);
    const std::vector<std::string> expected = {"LoadUnit kind.service",
                                               "UnmaskUnitFiles kind.service 0",
                                               "EnableUnitFiles kind.service 0 1",
                                               "Reload",
                                               "LoadUnit kind.service",
                                               "UnmaskUnitFiles kind.service 0",
                                               "DisableUnitFiles kind.service 0",
                                               "Reload",
                                               "LoadUnit kind.service",
                                               "DisableUnitFiles kind.service 0",
                                               "MaskUnitFiles kind.service 0 1",
                                               "Reload",
                                               "LoadUnit kind.service"};
    EXPECT_EQ(manager_->Calls(), expected);
}

TEST_F(Services, TheLogonAccountIsADropInAndNeverFollowsALink) {
    manager_->AddUnit("acct.service", StandInUnit{});
    EXPECT_EQ(ASVeskSetAccountNTService(u"acct", u"root", u"secret"), S_OK);
    std::string text = olvani_test::ReadFile(dir_ + "/units/acct.service.d/50-olvani-account.conf");
    EXPECT_NE(text.find("[Service]\nUser=root\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_EQ(manager_->Calls().back(), "Reload");

    EXPECT_EQ(ASVeskSetAccountNTService(u"acct", u"no-such-account-olvani", u""), kNotFound);

    manager_->AddUnit("link.service", StandInUnit{});
    std::filesystem::create_directory(dir_ + "/elsewhere");
    std::filesystem::create_directory_symlink(dir_ + "/elsewhere", dir_ + "/units/link.service.d");
    EXPECT_LT(ASVeskSetAccountNTService(u"link", u"root", u""), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir_ + "/elsewhere"));
}

} // namespace
