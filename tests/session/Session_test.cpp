// The session API: a live receiver on a pseudo-terminal with the simulated receiver, and
// recordings, on virtual time. What a session hands its callbacks must be what the window-message
// interface posts for the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "sim/SimulatedReceiver.h"
#include "support/LiveEngine.h"
#include "support/TestSupport.h"
#include "tolvik/Session.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using platform::VirtualClock;
using sim::SimulatedReceiver;

constexpr int kPort = 4;

// What a callback on the delivery thread collects, read by the test thread.
template <class T = CGPSData>
class Collected {
public:
    void Add(const T& item) {
        std::lock_guard lock(m_mutex);
        m_items.push_back(item);
    }
    std::vector<T> Items() const {
        std::lock_guard lock(m_mutex);
        return m_items;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<T> m_items;
};

// The epochs are those the engine posts for the same lines.
void ExpectEngineEpochs(const std::vector<std::string>& lines, const std::vector<CGPSData>& epochs) {
    test::RecordingHost host;
    const auto posted = test::EngineReplay(host, lines);
    ASSERT_GT(posted.size(), 40u);
    ASSERT_EQ(epochs.size(), posted.size());
    for (std::size_t i = 0; i < epochs.size(); ++i) {
        SCOPED_TRACE("epoch " + std::to_string(i));
        test::ExpectSameEpoch(epochs[i], *posted[i]);
    }
}

// True once an asynchronous Run() has returned (a look, not a wait).
template <class T>
bool Returned(const std::future<T>& run) {
    return run.wait_for(0s) == std::future_status::ready;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::FreshSharedState();
        ASSERT_TRUE(simulator.IsOpen());
    }
    void TearDown() override { CSerialPort::ClearPortDevices(); }

    SessionOptions LiveOptions(const char* receiver = "Other") {
        SessionOptions options;
        options.receiver = receiver;
        options.device = simulator.DevicePath();
        options.port = kPort;
        options.settingsFile = dir.File("settings.ini");
        options.geoidMode = 1;  // as the engine's replay has them
        options.antennaHeight = 1.5;
        return options;
    }

    SessionOptions ReplayOptions(const std::string& file = test::ProjectFile("data/sample.log")) {
        SessionOptions options;
        options.replayFile = file;
        options.settingsFile = dir.File("settings.ini");
        options.geoidMode = 1;
        options.antennaHeight = 1.5;
        return options;
    }

    bool DriveUntil(const std::function<bool()>& done) { return test::DriveUntil(clock, done); }

    // Part of the bundled recording with a fix, and a last sentence that tells its end. Under
    // 16 kB, so that one read of all of it cannot overflow the framing buffer.
    static std::vector<std::string> StreamLines() {
        std::vector<std::string> lines = test::ReadLines(test::ProjectFile("data/sample.log"));
        lines = std::vector<std::string>(lines.begin() + 300, lines.begin() + 500);
        lines.push_back(
            SimulatedReceiver::WithChecksum("GPGGA,235959.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
        return lines;
    }
    static constexpr double kSentinelTime = 23 * 3600 + 59 * 60 + 59;

    VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::TempDir dir;
    SimulatedReceiver simulator{SimulatedReceiver::Options{true, false}};
};

// What a live session hands its callbacks is what the engine posts for the same lines, one
// callback at a time and all on the one delivery thread; every framed sentence comes as text once.
TEST_F(SessionTest, LiveEpochsEqualThoseTheWindowMessagesCarry) {
    const std::vector<std::string> lines = StreamLines();
    std::atomic<int> inside{0};
    std::atomic<int> texts{0};
    std::atomic<bool> overlapped{false};
    std::atomic<std::thread::id> deliveryThread{};
    const auto callback = [&](const auto& body) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        std::thread::id none{};
        deliveryThread.compare_exchange_strong(none, std::this_thread::get_id());
        if (deliveryThread.load() != std::this_thread::get_id()) overlapped = true;
        body();
        inside.fetch_sub(1);
    };
    Collected<> collected;
    Session session(LiveOptions());
    session.OnEpoch([&](const CGPSData& epoch) { callback([&] { collected.Add(epoch); }); });
    session.OnText([&](const CString&) { callback([&] { ++texts; }); });
    ASSERT_TRUE(session.Start()) << session.LastError();
    simulator.StartStreaming(lines, SimulatedReceiver::Pace::AsFastAsPossible);
    ASSERT_TRUE(simulator.WaitStreamDone(20s));
    // The sentinel's text may be delivered after its epoch: wait for both.
    ASSERT_TRUE(DriveUntil([&] {
        const auto epochs = collected.Items();
        return !epochs.empty() && epochs.back().m_dUTCTime == kSentinelTime && texts.load() >= 201;
    }));
    session.Stop();
    EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen()) << "Stop closes the device";
    EXPECT_FALSE(overlapped.load());
    EXPECT_NE(deliveryThread.load(), std::this_thread::get_id());
    EXPECT_EQ(texts.load(), 201);
    ExpectEngineEpochs(lines, collected.Items());
}

TEST_F(SessionTest, StopInsideACallbackEndsRunAfterThatCallback) {
    std::atomic<int> calls{0};
    Session session(LiveOptions());
    session.OnEpoch([&](const CGPSData&) {
        if (++calls == 3) session.Stop();
    });
    ASSERT_TRUE(session.Start()) << session.LastError();
    auto run = std::async(std::launch::async, [&] { return session.Run(); });
    simulator.StartStreaming(StreamLines(), SimulatedReceiver::Pace::AsFastAsPossible);
    ASSERT_TRUE(DriveUntil([&] { return Returned(run); }));
    EXPECT_TRUE(run.get()) << "a Stop is a normal end";
    EXPECT_EQ(calls.load(), 3) << "nothing is delivered after the callback that stopped";
    EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen());
    EXPECT_EQ(session.LastError(), "");
}

TEST_F(SessionTest, AnUnpluggedDeviceEndsRunWithAnError) {
    Collected<std::string> errors;
    Collected<> collected;
    Session session(LiveOptions("Halvorn"));
    session.OnEpoch([&](const CGPSData& epoch) { collected.Add(epoch); });
    session.OnError([&](const std::string& text) { errors.Add(text); });
    ASSERT_TRUE(session.Start()) << session.LastError();
    auto run = std::async(std::launch::async, [&] { return session.Run(); });
    simulator.Send(test::Nmea("GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    ASSERT_TRUE(DriveUntil([&] { return collected.Items().size() >= 1; }));
    test::Unplug(simulator, kPort);
    ASSERT_TRUE(DriveUntil([&] { return Returned(run); }));
    EXPECT_FALSE(run.get());
    ASSERT_EQ(errors.Items().size(), 1u);
    EXPECT_NE(errors.Items()[0].find("lost the receiver"), std::string::npos) << errors.Items()[0];
    EXPECT_EQ(session.LastError(), errors.Items()[0]);
}

TEST_F(SessionTest, ACallbackExceptionEndsTheSessionAndComesBackFromRun) {
    int calls = 0;
    Session session(ReplayOptions());
    session.OnEpoch([&](const CGPSData&) {
        if (++calls == 2) throw std::runtime_error("host full");
    });
    EXPECT_THROW(session.Run(), std::runtime_error);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(session.LastError(), "a callback failed: host full");
    EXPECT_FALSE(session.IsRunning());
}

// The recording's text is longer than what the engine collects before it stops forwarding text:
// a session that asked for text still gets every sentence.
TEST_F(SessionTest, AFastReplayEqualsTheEnginesReplayOfTheSameLines) {
    std::vector<CGPSData> epochs;
    std::size_t texts = 0;
    Session session(ReplayOptions());
    session.OnEpoch([&](const CGPSData& epoch) { epochs.push_back(epoch); });
    session.OnText([&](const CString&) { ++texts; });
    ASSERT_TRUE(session.Run()) << session.LastError();
    const std::vector<std::string> lines = test::ReadLines(test::ProjectFile("data/sample.log"));
    ExpectEngineEpochs(lines, epochs);
    EXPECT_EQ(texts, std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with('$'); }));
}

// What a user is told when a session cannot start; Run reports the same failure. (The Python
// tests try a missing or wrong device and an unknown model.)
TEST_F(SessionTest, AFailedStartSaysWhatToFix) {
    const struct {
        std::string replayFile;
        int minSatellites;
        const char* expected;
    } kRows[] = {
        {dir.File("none.log"), 4, "No such file or directory (check the path"},
        {dir.Path(), 4, "it is a folder"},
        {"", 4, "set the serial device"},
        {test::ProjectFile("data/sample.log"), 2, "at least 3 satellites"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.expected);
        SessionOptions options = ReplayOptions(row.replayFile);
        options.minSatellites = row.minSatellites;
        Session session(options);
        EXPECT_FALSE(session.Start());
        EXPECT_FALSE(session.IsRunning());
        EXPECT_NE(session.LastError().find(row.expected), std::string::npos) << session.LastError();
        EXPECT_FALSE(session.Run());
    }
}

TEST_F(SessionTest, OneSessionRunsAtATime) {
    Session second(ReplayOptions());  // built first: building a catalogue sets up one model's port
    Session first(LiveOptions());
    ASSERT_TRUE(first.Start()) << first.LastError();
    EXPECT_FALSE(second.Start());
    EXPECT_NE(second.LastError().find("another tolvik::Session is running"), std::string::npos);
    first.Stop();
    int epochs = 0;
    second.OnEpoch([&](const CGPSData&) { ++epochs; });
    EXPECT_TRUE(second.Run()) << second.LastError();
    EXPECT_GT(epochs, 0);
}

}  // namespace
}  // namespace tolvik
