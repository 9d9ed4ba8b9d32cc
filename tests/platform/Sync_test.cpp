// Events and waits in virtual time: a timed wait ends only when the test moves the clock.
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

TEST_F(SyncTest, AutoResetReleasesOneWaiterPerSignalManualResetReleasesAll) {
    for (const bool manual : {false, true}) {
        SCOPED_TRACE(manual ? "manual reset" : "auto reset");
        Event* event = CreateEvent(manual, false);
        std::atomic<int> released{0};
        const auto wait = [&] {
            EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
            released.fetch_add(1);
            released.notify_all();
        };
        std::thread first(wait), second(wait);
        ASSERT_TRUE(clock.WaitForBlockedWaiters(2));
        EXPECT_TRUE(SetEvent(event));
        released.wait(0);
        if (!manual) {
            ASSERT_TRUE(clock.WaitForBlockedWaiters(1));  // the other one waits on
            EXPECT_EQ(released.load(), 1);
            SetEvent(event);
        }
        first.join();
        second.join();
        EXPECT_EQ(WaitForSingleObject(event, 0), manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_TRUE(ResetEvent(event) && WaitForSingleObject(event, 0) == WAIT_TIMEOUT);
        EXPECT_TRUE(CloseHandle(event));
    }
}

TEST_F(SyncTest, WaitForMultipleObjectsReportsTheLowestSetIndex) {
    Event e0(false, false), e1(false, false), e2(false, true), manual(true, false);
    e1.Set();
    EXPECT_EQ(WaitForMultipleObjects({&e0, &e1, &e2}, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects({&e0, &e1, &e2}, 0), WAIT_OBJECT_0 + 2);  // e1 taken
    EXPECT_EQ(WaitForMultipleObjects({&e0, &e1, &e2}, 0), WAIT_TIMEOUT);
    manual.Set();
    e0.Set();
    EXPECT_EQ(WaitForMultipleObjects({&manual, &e0}, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects({&manual, &e0}, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects({&e0, nullptr}, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(nullptr) || ResetEvent(nullptr) || CloseHandle(nullptr));
    EXPECT_TRUE(e0.IsSet());  // a later index is not taken, nor by a failed wait
}

TEST_F(SyncTest, TimedWaitsEndAtTheirVirtualDeadlineOrAtASignal) {
    Event never(true, false), signalled(false, false);
    std::atomic<DWORD> shortWait{kNotYet}, longWait{kNotYet}, endless{kNotYet}, woken{kNotYet};
    std::thread a([&] { shortWait = WaitForSingleObject(&never, 500); });
    std::thread b([&] { longWait = WaitForSingleObject(&never, 2000); });
    std::thread c([&] { endless = WaitForSingleObject(&never, INFINITE); });
    std::thread d([&] { woken = WaitForSingleObject(&signalled, 5000); });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(4));
    signalled.Set();
    d.join();
    EXPECT_EQ(woken.load(), WAIT_OBJECT_0);
    EXPECT_EQ(clock.MonotonicMs(), 0u);

    clock.Advance(499);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(3));
    EXPECT_EQ(shortWait.load(), kNotYet);
    Sleep(1);  // a sleep moves the clock too, and ends the expired waits of other threads
    a.join();
    EXPECT_EQ(shortWait.load(), WAIT_TIMEOUT);
    EXPECT_EQ(clock.SleepDurations(), std::vector<DWORD>{1});
    ASSERT_TRUE(clock.WaitForBlockedWaiters(2));
    EXPECT_EQ(longWait.load(), kNotYet);

    EXPECT_FALSE(clock.AdvanceToNextDeadline(1499)) << "the next deadline is 1500 ms away";
    EXPECT_EQ(clock.MonotonicMs(), 500u);
    ASSERT_TRUE(clock.AdvanceToNextDeadline(1500));
    EXPECT_EQ(clock.MonotonicMs(), 2000u);
    b.join();
    EXPECT_EQ(longWait.load(), WAIT_TIMEOUT);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    EXPECT_FALSE(clock.AdvanceToNextDeadline());  // an endless wait has no deadline
    never.Set();
    c.join();
    EXPECT_EQ(endless.load(), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace tolvik::platform
