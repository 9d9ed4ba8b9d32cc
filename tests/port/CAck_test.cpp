// The acknowledgement wait and its precise timer.
#include <gtest/gtest.h>

#include <ctime>
#include <thread>

#include "support/TestSupport.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/port/CAck.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/resources/Resources.h"

namespace tolvik {
namespace {

using platform::VirtualClock;

// Publishes an epoch as the reader thread does, with or without an acknowledgement.
void Publish(bool ack) {
    CGPSData data;
    data.m_Status.m_bAckReceived = ack;
    CAck::OnNewGPSData(&data);
}

// A window that counts the ticks it receives.
class TickCounter : public CWnd {
public:
    TickCounter() { CreateOnThisThread(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_PRECISE_TIMER) {
            ++ticks;
            lastId = static_cast<int>(wParam);
        }
        return 0;
    }
    int ticks = 0;
    int lastId = 0;
};

class AckTest : public ::testing::Test {
protected:
    VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
};

// How long a wait without an acknowledgement lasts, and that it restores the cursor, the live
// reading tests check end to end (a timer a millisecond early fails them, not a test here).
TEST_F(AckTest, AnAcknowledgementEndsTheWait) {
    CAck unknown;
    EXPECT_FALSE(unknown.Create(4711));
    EXPECT_EQ(unknown.GetSafeHwnd(), nullptr);
    CAck ack;
    ASSERT_TRUE(ack.Create(IDD_ACK));
    EXPECT_FALSE(ack.IsVisible());
    std::thread reader([&] {
        ASSERT_TRUE(clock.WaitForBlockedWaiters(2));
        Publish(true);
    });
    EXPECT_TRUE(ack.Wait(10000));
    reader.join();
    EXPECT_EQ(clock.MonotonicMs(), 0u) << "no time had to pass";

    CAck again;  // a new wait forgets earlier acknowledgements; epochs without one do not count
    ASSERT_TRUE(again.Create(IDD_ACK));
    Publish(false);
    CAck::OnNewGPSData(nullptr);
    EXPECT_FALSE(CAck::m_bGotAck.load());
    Publish(true);  // before the wait: counts even when its time has run out
    clock.Advance(5000);
    EXPECT_TRUE(again.Wait(100));
}

TEST_F(AckTest, TimerStartRulesAndRestartWithNewInterval) {
    TickCounter target;
    CPreciseTimer timer;
    EXPECT_EQ(timer.Start(nullptr, 100), 0);
    EXPECT_EQ(timer.Start(&target, 0), 0);
    EXPECT_FALSE(timer.IsRunning());

    const int id = timer.Start(&target, 100);
    EXPECT_EQ(id, timer.GetId());
    EXPECT_EQ(CPreciseTimer().GetId(), id + 1);  // every timer has its own id
    // Other programs find the checker message under its name.
    EXPECT_EQ(CPreciseTimer::CheckerMessage(), RegisterWindowMessage(L"VEK Precise Timer Queue Checker"));
    EXPECT_EQ(timer.Start(&target, 5000), id);  // running: keeps the first interval

    auto tickAfter = [&](DWORD ms) {
        ASSERT_TRUE(clock.WaitForTimedWaiters(1));
        clock.Advance(ms);
        // The worker sends the checker first, then the tick: pump until the tick is in.
        const int before = target.ticks;
        while (target.ticks == before) {
            const platform::Event* none = nullptr;
            MsgWaitForMultipleObjects(&none, 0, INFINITE);
            PumpWaitingMessages();
        }
    };
    tickAfter(100);
    EXPECT_EQ(target.ticks, 1);
    EXPECT_EQ(target.lastId, id);

    timer.Stop();
    EXPECT_FALSE(timer.IsRunning());
    // The worker leaves its timed wait and idles (blocked without limit) until the next start.
    ASSERT_TRUE(clock.WaitForWaiters([](int blocked, int timed) { return blocked == 1 && timed == 0; }));
    EXPECT_EQ(timer.Start(&target, 300), id);
    ASSERT_TRUE(clock.WaitForTimedWaiters(1));
    clock.Advance(299);
    ASSERT_TRUE(clock.WaitForTimedWaiters(1));
    PumpWaitingMessages();
    EXPECT_EQ(target.ticks, 1) << "the new interval applies after a stop";
    tickAfter(1);
    EXPECT_EQ(target.ticks, 2);

    target.DestroyWindow();  // a timer whose window is gone sends nothing, not even its checker
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(clock.WaitForTimedWaiters(1));
        clock.Advance(300);
    }
    ASSERT_TRUE(clock.WaitForTimedWaiters(1));
    EXPECT_EQ(PumpWaitingMessages(), 0);
    EXPECT_EQ(target.ticks, 2);
}

TEST(PreciseTick, CarriesTheTickAcrossItsWrap) {
    constexpr DWORD kShift = 0x80000001u, kLift = 0x7FFFFFFFu;
    const struct {
        const char* legend;
        DWORD last, tick, expected, storedLast;
    } cases[] = {
        {"ordinary progress", 1000, 1500, 1500, 1500},
        {"upper half, small step", 0x80000000u, 0x80000100u, 0x80000100u, 0x80000100u},
        {"upper half, over an hour: shifted", 0x80000000u, 0xF0000000u, 0xF0000000u + kShift, 0xF0000000u + kShift},
        {"short step across zero", 0xFFFFFF00u, 0x00000010u, 0x00000010u, 0x00000010u},
        {"half a range behind: lifted", 0x7FFFFFF0u, 0x00000010u, 0x00000010u + kLift, 0x00000010u},
        {"backwards in the lower half", 5000, 4000, 4000, 4000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        DWORD last = c.last;
        EXPECT_EQ(CPreciseTimer::PreciseTick(c.tick, last), c.expected);
        EXPECT_EQ(last, c.storedLast);
    }
}

// A waiting thread must sleep, not spin: one second of real waiting costs next to no CPU.
TEST(AckRealTime, WaitingASecondUsesAlmostNoProcessorTime) {
    test::RecordingHost host;
    CAck ack;
    ASSERT_TRUE(ack.Create(IDD_ACK));
    const std::clock_t before = std::clock();  // processor time of the whole process
    EXPECT_FALSE(ack.Wait(1000));
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuMs, 150.0) << "CPU time of a one-second wait";
}

}  // namespace
}  // namespace tolvik
