// Events and waits, in virtual time: a wait with a time-out ends only when the test moves the
// clock, so nothing here depends on how fast the machine is.
#include "tolvik/platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tolvik/platform/Clock.h"

namespace tolvik::platform {
namespace {

constexpr DWORD kNotYet = 0xDEADu;

class SyncTest : public ::testing::Test {
protected:
    VirtualClock clock;
    ScopedClock guard{clock};
};

TEST_F(SyncTest, AutoResetEventReleasesExactlyOneWaiterPerSignal) {
    Event event(false, false);
    std::atomic<int> released{0};
    auto waiter = [&] {
        EXPECT_EQ(WaitForSingleObject(&event, INFINITE), WAIT_OBJECT_0);
        released.fetch_add(1);
        released.notify_all();
    };
    std::thread a(waiter);
    std::thread b(waiter);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(2));

    event.Set();
    released.wait(0);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));  // the other one waits on
    EXPECT_EQ(released.load(), 1);
    EXPECT_FALSE(event.IsSet());  // the signal was taken

    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_FALSE(event.IsSet());
}

TEST_F(SyncTest, ManualResetEventReleasesEveryWaiterAndStaysSet) {
    Event* event = CreateEvent(true, false);
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back(
            [&] { EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0); });
    }
    ASSERT_TRUE(clock.WaitForBlockedWaiters(3));
    EXPECT_TRUE(SetEvent(event));
    for (auto& t : waiters)
        t.join();
    EXPECT_TRUE(event->IsSet());
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(SyncTest, WaitForMultipleObjectsReportsTheLowestSetIndex) {
    Event e0(false, false);
    Event e1(false, false);
    Event e2(false, true);
    Event manual(true, false);
    e1.Set();
    EXPECT_EQ(WaitForMultipleObjects({&e0, &e1, &e2}, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects({&e0, &e1, &e2}, 0),
              WAIT_OBJECT_0 + 2);  // e1's signal was taken
    EXPECT_EQ(WaitForMultipleObjects({&e0, &e1, &e2}, 0), WAIT_TIMEOUT);
    manual.Set();
    e0.Set();
    EXPECT_EQ(WaitForMultipleObjects({&manual, &e0}, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects({&manual, &e0}, 0), WAIT_OBJECT_0);  // still set
    EXPECT_TRUE(e0.IsSet());
}

TEST_F(SyncTest, BadHandlesFail) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    Event e(false, true);
    EXPECT_EQ(WaitForMultipleObjects({&e, nullptr}, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(nullptr, 0, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(nullptr));
    EXPECT_FALSE(ResetEvent(nullptr));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_TRUE(e.IsSet());  // the failed wait took nothing
}

TEST_F(SyncTest, ATimedWaitEndsOnlyWhenVirtualTimeReachesItsDeadline) {
    Event event(false, false);
    std::atomic<DWORD> result{kNotYet};
    std::thread t([&] { result = WaitForSingleObject(&event, 1000); });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    clock.Advance(999);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    EXPECT_EQ(result.load(), kNotYet);
    clock.Advance(1);
    t.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
    EXPECT_EQ(clock.MonotonicMs(), 1000u);
}

TEST_F(SyncTest, ASignalEndsATimedWaitWithoutTimePassing) {
    Event event(false, false);
    std::atomic<DWORD> result{kNotYet};
    std::thread t([&] { result = WaitForSingleObject(&event, 5000); });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    event.Set();
    t.join();
    EXPECT_EQ(result.load(), WAIT_OBJECT_0);
    EXPECT_EQ(clock.MonotonicMs(), 0u);
}

TEST_F(SyncTest, AdvanceToNextDeadlineWakesTheEarliestWaitOnly) {
    Event never(true, false);
    std::atomic<DWORD> shortWait{kNotYet};
    std::atomic<DWORD> longWait{kNotYet};
    std::atomic<DWORD> endless{kNotYet};
    std::thread a([&] { shortWait = WaitForSingleObject(&never, 500); });
    std::thread b([&] { longWait = WaitForSingleObject(&never, 2000); });
    std::thread c([&] { endless = WaitForSingleObject(&never, INFINITE); });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(3));

    ASSERT_TRUE(clock.AdvanceToNextDeadline());
    EXPECT_EQ(clock.MonotonicMs(), 500u);
    a.join();
    EXPECT_EQ(shortWait.load(), WAIT_TIMEOUT);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(2));
    EXPECT_EQ(longWait.load(), kNotYet);

    ASSERT_TRUE(clock.AdvanceToNextDeadline());
    EXPECT_EQ(clock.MonotonicMs(), 2000u);
    b.join();
    EXPECT_EQ(longWait.load(), WAIT_TIMEOUT);

    // Only an endless wait is left: there is no deadline to move to.
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    EXPECT_FALSE(clock.AdvanceToNextDeadline());
    EXPECT_EQ(clock.MonotonicMs(), 2000u);
    never.Set();
    c.join();
    EXPECT_EQ(endless.load(), WAIT_OBJECT_0);
}

TEST_F(SyncTest, SleepsAreRecordedPerThreadAndMoveTheClock) {
    Sleep(200);
    std::thread::id other;
    std::thread t([&] {
        other = std::this_thread::get_id();
        Sleep(50);
        Sleep(0);
    });
    t.join();
    Sleep(1000);
    EXPECT_EQ(clock.SleepDurations(), (std::vector<DWORD>{200, 50, 0, 1000}));
    EXPECT_EQ(clock.SleepDurationsOf(other), (std::vector<DWORD>{50, 0}));
    EXPECT_EQ(clock.SleepDurationsOf(std::this_thread::get_id()), (std::vector<DWORD>{200, 1000}));
    EXPECT_EQ(GetTickCount(), 1250u);
    EXPECT_EQ(clock.Now(), 1773479107 + 1);
    clock.ClearSleeps();
    EXPECT_TRUE(clock.SleepDurations().empty());
}

TEST_F(SyncTest, ASleepOnOneThreadEndsTheExpiredWaitsOfOthers) {
    Event never(false, false);
    std::atomic<DWORD> result{kNotYet};
    std::thread t([&] { result = WaitForSingleObject(&never, 100); });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    Sleep(150);
    t.join();
    EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

TEST_F(SyncTest, TickCountWrapsAndWallClockIsSetApart) {
    clock.SetMonotonicMs(0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    EXPECT_EQ(clock.Now(), 1773479107);  // the wall clock does not jump with the tick count
    clock.Advance(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u);
    clock.SetNow(1000);
    EXPECT_EQ(clock.Now(), 1000);
    clock.Advance(2500);
    EXPECT_EQ(clock.Now(), 1002);
    EXPECT_FALSE(clock.WaitForBlockedWaiters(1, std::chrono::milliseconds(1)));  // nobody waits
}

}  // namespace
}  // namespace tolvik::platform
