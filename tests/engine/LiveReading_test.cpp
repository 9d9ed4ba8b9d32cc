// Live reading: the engine's reader thread on a real pseudo-terminal with the simulated receiver
// on the other end, on virtual time; a device unplugged and plugged in again mid-stream.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/SimulatedReceiver.h"
#include "support/LiveEngine.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using sim::SimulatedReceiver;
using test::Nmea;

constexpr int kPort = 3;

// A fix at 12:35 and the given second.
std::string Gga(int second) {
    return Nmea("GPGGA,1235" + std::to_string(second) + ".00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

class LiveTest : public test::LiveEngineTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(simulator.IsOpen());
        CSerialPort::SetPortDevice(kPort, simulator.DevicePath());
    }

    void PumpUntilEpochs(std::size_t n) {
        ASSERT_TRUE(PumpUntil([&] { return host.epochs.size() >= n; }))
            << "only " << host.epochs.size() << " of " << n << " epochs";
    }

    // Lets virtual time run from one wait of the reader thread to the next.
    void NextWait() {
        ASSERT_TRUE(clock.Settle());
        ASSERT_TRUE(clock.AdvanceToNextDeadline());
        ASSERT_TRUE(clock.Settle());
    }

    double LonScale() {
        std::lock_guard lock(CGPSReceiver::SharedStateLock());
        return CGPSReceiver::m_SpeedEngine.m_dLonScale;
    }

    SimulatedReceiver simulator{SimulatedReceiver::Options{true, false}};
};

TEST_F(LiveTest, ASilentSecondCallsTheKeepAliveAndStopEndsTheWaitAtOnce) {
    ASSERT_NO_FATAL_FAILURE(StartOn(kPort, L"Halvorn"));
    ASSERT_TRUE(clock.Settle());
    clock.Advance(999);
    ASSERT_TRUE(clock.Settle());
    EXPECT_EQ(simulator.Received(), "") << "nothing before the second is up";
    clock.Advance(1);
    EXPECT_TRUE(simulator.WaitForReceived("VEK Pruv\r\n", 10s));
    // Then the 100 ms pause and the next silent second: once more.
    NextWait();
    NextWait();
    ASSERT_TRUE(simulator.WaitForReceived("VEK Pruv\r\nVEK Pruv\r\n", 10s));
    NextWait();  // in the first-byte wait again
    const auto before = clock.MonotonicMs();
    engine.Stop();
    EXPECT_EQ(clock.MonotonicMs(), before) << "neither the read nor Stop needed a time-out";
    EXPECT_TRUE(!engine.IsActive() && engine.m_pThread == nullptr);
    EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen());
}

TEST_F(LiveTest, TenSilentSecondsResetTheSpeedEstimator) {
    ASSERT_NO_FATAL_FAILURE(StartOn(kPort, L"Other"));
    simulator.Send(Gga(11));
    ASSERT_NO_FATAL_FAILURE(PumpUntilEpochs(1));
    // The second sentence is parsed somewhere between these two moments of virtual time.
    const std::uint64_t sentAt = clock.MonotonicMs();
    simulator.Send(Gga(12));
    ASSERT_NO_FATAL_FAILURE(PumpUntilEpochs(2));
    const std::uint64_t seenAt = clock.MonotonicMs();
    ASSERT_NE(LonScale(), 0.0) << "the estimator took an origin";

    std::uint64_t resetAt = 0;
    for (int step = 0; step < 40 && resetAt == 0; ++step) {
        NextWait();
        if (LonScale() == 0.0) resetAt = clock.MonotonicMs();
    }
    // The reset comes at the first check of the read loop ten seconds after the last parsed
    // message; a loop pass takes at most a first-byte wait and a pause.
    ASSERT_NE(resetAt, 0u);
    EXPECT_GE(resetAt, sentAt + CGPSEngine::kSpeedResetMs);
    EXPECT_LT(resetAt, seenAt + CGPSEngine::kSpeedResetMs + CGPSEngine::kFirstByteWaitMs + CGPSEngine::kCyclePauseMs);
    EXPECT_EQ(simulator.Received(), "") << "a model without keep-alive stays quiet";
}

TEST_F(LiveTest, AnUnpluggedDeviceIsReportedReopenedAndReadAgain) {
    ASSERT_NO_FATAL_FAILURE(StartOn(kPort, L"Halvorn"));  // a model with a keep-alive
    simulator.Send(Gga(19));
    ASSERT_TRUE(PumpUntil([&] { return host.epochs.size() == 1; }));
    EXPECT_TRUE(host.deviceEvents.empty());

    test::Unplug(simulator, kPort);
    ASSERT_TRUE(PumpUntil([&] { return !host.deviceEvents.empty(); }));
    EXPECT_EQ(host.deviceEvents, std::vector<WPARAM>{GPS_DEVICE_LOST});
    EXPECT_TRUE(engine.IsDeviceLost() && engine.IsActive());

    // Gone for a few seconds: one attempt a second, each failing, and nothing else reported.
    for (int i = 0; i < 3; ++i) NextWait();
    host.Pump();
    EXPECT_EQ(host.deviceEvents.size(), 1u);

    // Plugged in again (a new terminal, as a USB adapter gets): back within the next second.
    SimulatedReceiver second(SimulatedReceiver::Options{true, false});
    ASSERT_TRUE(second.IsOpen());
    CSerialPort::SetPortDevice(kPort, second.DevicePath());
    const std::uint64_t pluggedAt = clock.MonotonicMs();
    ASSERT_TRUE(PumpUntil([&] { return host.deviceEvents.size() == 2; }));
    EXPECT_LT(clock.MonotonicMs() - pluggedAt, 2 * CGPSEngine::kReopenIntervalMs) << "at the next attempt";
    EXPECT_EQ(host.deviceEvents.back(), GPS_DEVICE_BACK);
    EXPECT_FALSE(engine.IsDeviceLost());

    second.Send(Gga(20));
    ASSERT_TRUE(PumpUntil([&] { return host.epochs.size() == 2; }));
    EXPECT_DOUBLE_EQ(host.epochs[1]->m_dUTCTime, 12 * 3600 + 35 * 60 + 20);
    // Stop while the device is gone again ends the reopen attempts at once.
    test::Unplug(second, kPort);
    ASSERT_TRUE(PumpUntil([&] { return host.deviceEvents.size() == 3; }));
    const auto before = clock.MonotonicMs();
    engine.Stop();
    EXPECT_EQ(clock.MonotonicMs(), before);
    EXPECT_FALSE(engine.IsActive());
}

// The raw log is switched on and off while running and takes whole bursts; a log that cannot be
// created or written is reported (the first reason kept) and switched off, and reading goes on.
TEST_F(LiveTest, RawLogFollowsItsSwitchAndReportsFailures) {
    test::TempDir dir;
    ASSERT_NO_FATAL_FAILURE(StartOn(kPort, L"Other"));
    const auto send = [&](const std::string& bytes) {
        simulator.Send(bytes);
        PumpUntilEpochs(host.epochs.size() + 1);
        ASSERT_TRUE(clock.Settle());
    };
    const std::string burst = Gga(10) + std::string(" binary \x00\xFF\r\n", 12);  // whole, NUL included
    const struct {
        const char* path;
        bool on;
    } steps[] = {
        {"raw.log", true}, {"raw.log", false}, {"/dev/full", true}, {"", false}, {"/nonexistent/raw.log", true}};
    for (int i = 0; i < 5; ++i) {
        engine.m_strRawLogFile = CString::FromBytes(*steps[i].path == '/' ? steps[i].path : dir.File(steps[i].path));
        engine.m_bLogRawData = steps[i].on;
        ASSERT_NO_FATAL_FAILURE(send(i == 0 ? burst : Gga(11 + i))) << i;
        EXPECT_FALSE(engine.m_bLogRawData.load() && i >= 2) << steps[i].path;
    }
    EXPECT_EQ(test::ReadFile(dir.File("raw.log")), burst);
    EXPECT_EQ(engine.GetRawLogError(), "/dev/full: No space left on device");
    EXPECT_EQ(host.MessageBoxes(), std::vector{CString(L"Could not open file to log raw data!")});
    engine.Stop();
}

// A command waited for: the receiver's "$PASHR,ACK" travels through the reader thread, the
// dispatcher and publishing into the waiting CAck; from a silent receiver the wait times out.
TEST_F(LiveTest, ACommandWaitsForItsAcknowledgement) {
    auto* receiver = new test::TestReceiver;
    ASSERT_TRUE(engine.AddReceiver(receiver));
    // A receiver keeps talking after its acknowledgement; the next sentence's comma is what lets
    // the single-comma "$PASHR,ACK" reply be framed.
    simulator.OnLine([&](const std::string& line) {
        if (line.rfind("$PASHS", 0) == 0) simulator.Send(Nmea("GPGSA,A,3,05,09,,,,,,,,,,,2.1,1.2,1.7"));
    });
    SimulatedReceiver silent{SimulatedReceiver::Options{false, false}};
    for (SimulatedReceiver* device : {&simulator, &silent}) {
        const bool answers = device == &simulator;
        const DWORD timeout = answers ? 10000 : 1000;
        SCOPED_TRACE(answers ? "answering" : "silent");
        CSerialPort::SetPortDevice(kPort, device->DevicePath());
        receiver->SetupReceiver(kPort, 0, 0.0, L"", false);
        engine.SetReceiver(receiver);
        ASSERT_TRUE(engine.Start());
        // The reply may come in two bursts, with the reader thread's cycle pause between them: let
        // those pauses pass, but never a first-byte wait, which bytes on their way will end.
        std::atomic<bool> done{false};
        std::thread driver([&] {
            while (!done) {
                if (clock.WaitForTimedWaiters(2, 50ms))
                    clock.AdvanceToNextDeadline(answers ? CGPSEngine::kCyclePauseMs : INFINITE);
            }
        });
        const auto before = clock.MonotonicMs();
        EXPECT_EQ(receiver->WriteAck(L"$PASHS,RST\r\n", true, static_cast<int>(timeout)), answers);
        done = true;
        driver.join();
        EXPECT_EQ(clock.MonotonicMs() - before >= timeout, !answers);
        EXPECT_TRUE(device->WaitForReceived("$PASHS,RST\r\n", 10s));
        engine.Stop();
    }
    EXPECT_EQ(host.WaitCursorDepth(), 0);
}

}  // namespace
}  // namespace tolvik
