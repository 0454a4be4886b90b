// Events and waits over eventfd.
#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

TEST(Events, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, AutoResetReleasesOneWaitAtATime) {
    HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

// Whether the thread is blocked in poll, where a wait sleeps.
bool BlockedInPoll(pid_t thread) {
    std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    in >> number;
#ifdef SYS_poll
    if (number == SYS_poll)
        return true;
#endif
    return number == SYS_ppoll;
}

TEST(Events, AutoResetWakesExactlyOneOfTwoWaiters) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> woken{0};
    std::atomic<pid_t> tids[2] = {0, 0};
    auto waiter = [&](int i) {
        tids[i] = static_cast<pid_t>(::syscall(SYS_gettid));
        woken += WaitForSingleObject(event, 1000) == WAIT_OBJECT_0;
    };
    std::thread a(waiter, 0), b(waiter, 1);
    // Both must be waiting when the event is set, or one wake proves nothing.
    auto deadline = Clock::now() + std::chrono::seconds(5);
    auto bothWaiting = [&] {
        return tids[0] && tids[1] && BlockedInPoll(tids[0]) && BlockedInPoll(tids[1]);
    };
    while (!bothWaiting() && Clock::now() < deadline)
        std::this_thread::yield();
    bool waited = bothWaiting();
    SetEvent(event);
    a.join();
    b.join();
    EXPECT_TRUE(waited) << "the two waiters were never waiting at once";
    EXPECT_EQ(woken.load(), 1);
    CloseHandle(event);
}

TEST(Events, WaitForMultipleReportsTheLowestSignalledIndex) {
    HANDLE events[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    // Waiting for all of them is not offered.
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 0), WAIT_FAILED);
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST(Events, AWaitEndsWhenAnotherThreadSignals) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SetEvent(event);
    });
    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));
    setter.join();
    CloseHandle(event);
}

TEST(Events, TimeoutIsHonoured) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    CloseHandle(event);
}

TEST(Events, ClosedAndForeignHandlesAreRefused) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(olvani::EventDescriptor(event), -1);
    int local = 0;
    EXPECT_EQ(WaitForSingleObject(&local, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, nullptr, FALSE, 0), WAIT_FAILED);
}

TEST(Events, TheDescriptorIsReadableWhileSignalled) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    pollfd fd{olvani::EventDescriptor(event), POLLIN, 0};
    ASSERT_GE(fd.fd, 0);
    EXPECT_EQ(::poll(&fd, 1, 0), 0);
    SetEvent(event);
    EXPECT_EQ(::poll(&fd, 1, 0), 1);
    ResetEvent(event);
    EXPECT_EQ(::poll(&fd, 1, 0), 0);
    CloseHandle(event);
}

} // namespace
