// The engine reading a real pseudo-terminal on virtual time, for tests of its reader thread: the
// clock, a recording host, and the engine, stopped before the rest goes away.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::test {

class LiveEngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        engine.Stop();
        CSerialPort::ClearPortDevices();
    }

    // Reads the port (mapped to its device by the test) with the named receiver. Fatal on
    // failure: a test without a running reader thread would wait for it in vain.
    void StartOn(int port, const wchar_t* name) {
        CGPSReceiver* receiver = engine.FindReceiver(name);
        ASSERT_NE(receiver, nullptr);
        receiver->SetupReceiver(port, 0, 0.0, L"", false);
        engine.SetReceiver(receiver);
        ASSERT_TRUE(engine.Start()) << engine.GetLastErrorString().ToBytes();
    }

    // Dispatches the host's messages until the condition holds; false when it did not within a
    // minute of virtual time. The reader thread may be in its pause after the previous burst:
    // then virtual time has to move for it to read on. Time moves only while the thread is
    // blocked, after its posts have been taken; a thread that stops blocking for half a minute of
    // real time is gone.
    bool PumpUntil(const std::function<bool()>& condition) {
        using namespace std::chrono_literals;
        const std::uint64_t limit = clock.MonotonicMs() + 60000;
        for (int unblocked = 0; clock.MonotonicMs() < limit && unblocked < 600;) {
            const bool blocked = clock.Settle(1, 50ms);
            host.Pump();
            if (condition()) return true;
            if (blocked) {
                unblocked = 0;
                clock.AdvanceToNextDeadline();
            } else {
                ++unblocked;
            }
        }
        return false;
    }

    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    RecordingHost host;
    CGPSEngine engine;
};

}  // namespace tolvik::test
