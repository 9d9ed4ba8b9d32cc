// The engine reading a real pseudo-terminal on virtual time, for tests of its reader thread: the
// clock, a recording host, and the engine, stopped before the rest goes away.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::test {

// Moves virtual time from one wait of a reader thread to the next until done() holds; false when
// it did not within 2000 waits. The thread may be in its pause after the previous burst: then
// time has to move for it to read on. Time moves only while the thread is blocked, after what it
// read has been handled; a thread that stops blocking for half a minute of real time is gone.
inline bool DriveUntil(platform::VirtualClock& clock, const std::function<bool()>& done) {
    using namespace std::chrono_literals;
    for (int step = 0, unblocked = 0; step < 2000 && unblocked < 600; ++step) {
        const bool blocked = clock.Settle(1, 50ms);
        if (done()) return true;
        if (blocked) {
            unblocked = 0;
            clock.AdvanceToNextDeadline();
        } else {
            ++unblocked;
        }
    }
    return done();
}

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

    // Dispatches the host's messages until the condition holds (see DriveUntil).
    bool PumpUntil(const std::function<bool()>& condition) {
        return DriveUntil(clock, [&] {
            host.Pump();
            return condition();
        });
    }

    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    RecordingHost host;
    CGPSEngine engine;
};

}  // namespace tolvik::test
