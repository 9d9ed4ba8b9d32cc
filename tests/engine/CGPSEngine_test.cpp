// The engine's lifecycle, its buffer update and the emulation replay, on virtual time.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using platform::VirtualClock;
using test::Nmea;

constexpr const char* kGga1 = "GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
constexpr const char* kGga2 = "GPGGA,123520.00,4807.040,N,01131.002,E,1,08,0.9,545.5,M,46.9,M,,";
constexpr const char* kGga3 = "GPGGA,123521.00,4807.042,N,01131.004,E,2,09,0.8,545.6,M,46.9,M,,";

// A receiver that records what the engine hands it.
class ProbeReceiver : public test::TestReceiver {
public:
    explicit ProbeReceiver(const wchar_t* name = L"Probe") { m_strName = name; }
    using CGPSReceiver::Parse;
    bool Parse(CString& message) override {
        std::lock_guard lock(mutex);
        parsed.push_back(message.ToBytes());
        return accept;
    }
    bool Initialize() override {
        ++initializeCalls;
        return initializeResult;
    }
    void Suspend() override { ++suspendCalls; }
    std::vector<std::string> Parsed() {
        std::lock_guard lock(mutex);
        return parsed;
    }
    std::mutex mutex;
    std::vector<std::string> parsed;
    bool accept = true;
    bool initializeResult = true;
    int initializeCalls = 0;
    int suspendCalls = 0;
};

class EngineTest : public ::testing::Test {
protected:
    ProbeReceiver* AddProbe(const wchar_t* name = L"Probe") {
        auto* probe = new ProbeReceiver(name);
        EXPECT_TRUE(engine.AddReceiver(probe));
        return probe;
    }

    VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    test::TempDir dir;
    CGPSEngine engine;
};

// Start's outcomes, Stop's, and the texts of failures and of unknown error codes.
TEST_F(EngineTest, StartOutcomesAndErrorTexts) {
    EXPECT_FALSE(engine.Start());
    EXPECT_EQ(engine.GetLastError(), GPS_ENGINE_NO_RECEIVER);

    ProbeReceiver* probe = AddProbe();
    probe->initializeResult = false;
    engine.SetReceiver(probe);
    EXPECT_FALSE(engine.Start());
    EXPECT_EQ(engine.GetLastError(), GPS_ENGINE_INIT_FAILED);
    EXPECT_EQ(engine.GetLastErrorString(), CString(L"Can't Initialize a Receiver."));
    EXPECT_FALSE(engine.IsActive());

    // Replaying does not initialise the receiver: a port that cannot open does not matter.
    engine.m_bEmulation = true;
    engine.m_strEmulationFile = CString::FromBytes(dir.File("replay.log"));
    test::WriteFile(dir.File("replay.log"), Nmea(kGga1));
    EXPECT_TRUE(engine.Start());
    EXPECT_EQ(engine.GetLastError(), GPS_ENGINE_NO_ERROR);
    EXPECT_TRUE(engine.IsActive());
    EXPECT_EQ(probe->initializeCalls, 1);
    // Stopping twice only suspends the receiver again, and keeps the last start's outcome.
    const int suspends = probe->suspendCalls;
    engine.Stop();
    engine.Stop();
    EXPECT_EQ(probe->suspendCalls, suspends + 2);
    EXPECT_FALSE(engine.IsActive());

    // Codes on either side of the table have a text too.
    for (const int code : {-1, 4}) {
        engine.m_eLastError = static_cast<GPS_ENGINE_ERROR>(code);
        EXPECT_EQ(engine.GetLastErrorString(), CString(L"Unknown GPS Error Code.")) << code;
    }
}

// Fewer than three satellites never make a fix; the current receiver follows the setting.
TEST_F(EngineTest, MinimumSatellitesReachTheCurrentReceiver) {
    ProbeReceiver* probe = AddProbe();
    engine.SetMinSatRequierment(1);
    engine.SetReceiver(probe);
    EXPECT_EQ(probe->m_nMinSatellites, 3);
    engine.SetMinSatRequierment(6);
    EXPECT_EQ(probe->m_nMinSatellites, 6);
}

TEST_F(EngineTest, DuplicateNamesAreRefusedAndUnknownNamesFindTheLast) {
    CGPSEngine empty;
    for (CGPSReceiver* r : empty.m_Receivers) delete r;
    empty.m_Receivers.clear();
    EXPECT_EQ(empty.FindReceiver(L"anything"), nullptr);

    auto* a = new ProbeReceiver(L"Alpha");
    auto* b = new ProbeReceiver(L"Beta");
    ASSERT_TRUE(empty.AddReceiver(a));
    ASSERT_TRUE(empty.AddReceiver(b));
    ProbeReceiver duplicate(L"Alpha");
    EXPECT_FALSE(empty.AddReceiver(&duplicate));
    EXPECT_EQ(empty.m_Receivers.size(), 2u);
    EXPECT_EQ(empty.FindReceiver(L"Alpha"), a);
    EXPECT_EQ(empty.FindReceiver(L"alpha"), b) << "names compare case-sensitively";
    EXPECT_EQ(empty.FindReceiver(L"Gamma"), b);
}

TEST_F(EngineTest, BufferUpdateHandsEveryCompleteMessageToTheReceiver) {
    ProbeReceiver* probe = AddProbe();
    engine.SetReceiver(probe);
    const std::string stream = Nmea(kGga1) + Nmea(kGga2) + Nmea(kGga3).substr(0, 20);
    CBinBuffer chunk(stream.data(), static_cast<int>(stream.size()));
    EXPECT_TRUE(engine.UpdateGPSBuffer(chunk));
    ASSERT_EQ(probe->Parsed().size(), 2u);
    // A sentence reaches the receiver from '$' to its CR, followed by "\n".
    EXPECT_EQ(probe->Parsed()[0], Nmea(kGga1));

    const std::string rest = Nmea(kGga3).substr(20);
    CBinBuffer tail(rest.data(), static_cast<int>(rest.size()));
    probe->accept = false;
    EXPECT_FALSE(engine.UpdateGPSBuffer(tail)) << "no message accepted";
    ASSERT_EQ(probe->Parsed().size(), 3u);
    EXPECT_EQ(probe->Parsed()[2], Nmea(kGga3));
    EXPECT_EQ(engine.m_Buffer.GetLength(), 0);
}

TEST_F(EngineTest, BufferLimitDropsEverythingAndCounts) {
    ProbeReceiver* probe = AddProbe();
    engine.SetReceiver(probe);
    // One byte below the limit: framed normally.
    std::string below(CGPSEngine::kBufferLimit - 1 - Nmea(kGga1).size(), 'x');
    below += Nmea(kGga1);
    CBinBuffer a(below.data(), static_cast<int>(below.size()));
    EXPECT_TRUE(engine.UpdateGPSBuffer(a));
    EXPECT_EQ(engine.m_nOverflowCount.load(), 0);
    ASSERT_EQ(probe->Parsed().size(), 1u);

    std::string at(CGPSEngine::kBufferLimit - Nmea(kGga2).size(), 'x');
    at += Nmea(kGga2);
    CBinBuffer b(at.data(), static_cast<int>(at.size()));
    EXPECT_FALSE(engine.UpdateGPSBuffer(b));
    EXPECT_EQ(engine.m_nOverflowCount.load(), 1);
    EXPECT_EQ(engine.m_Buffer.GetLength(), 0);
    EXPECT_EQ(probe->Parsed().size(), 1u) << "messages in an overflowing buffer are lost";
}

TEST_F(EngineTest, RawTextIsForwardedOnlyWhenCollecting) {
    ProbeReceiver* probe = AddProbe();
    engine.SetReceiver(probe);
    const std::string s = Nmea(kGga1);
    CBinBuffer first(s.data(), static_cast<int>(s.size()));
    engine.UpdateGPSBuffer(first);
    host.Pump();
    EXPECT_TRUE(host.rawStrings.empty());
    EXPECT_TRUE(engine.m_ComBuffer.GetData().IsEmpty());

    engine.m_ComBuffer.SetStopped(false);
    CBinBuffer second(s.data(), static_cast<int>(s.size()));
    engine.UpdateGPSBuffer(second);
    host.Pump();
    ASSERT_EQ(host.rawStrings.size(), 1u);
    EXPECT_EQ(host.rawStrings[0]->ToBytes(), s);
    EXPECT_EQ(engine.m_ComBuffer.GetData().ToBytes(), s);
}

TEST(ComBuffer, CollectsUntilJustPastItsLimit) {
    CComBuffer buffer;
    CString message(L'x', 40000);
    buffer.OnRawData(&message);
    EXPECT_TRUE(buffer.GetData().IsEmpty()) << "stopped initially";

    buffer.SetStopped(false);
    buffer.OnRawData(nullptr);
    for (int i = 0; i < 3; ++i) buffer.OnRawData(&message);  // 120000 characters
    EXPECT_FALSE(buffer.LimitReached());
    buffer.OnRawData(&message);  // arrives after the limit was passed: taken, then stop
    EXPECT_TRUE(buffer.LimitReached());
    EXPECT_TRUE(buffer.IsStopped());
    EXPECT_EQ(buffer.GetData().GetLength(), 160000);
    buffer.OnRawData(&message);
    EXPECT_EQ(buffer.GetData().GetLength(), 160000);

    CComBuffer copy(buffer);
    EXPECT_EQ(copy.GetData().GetLength(), 160000);
    EXPECT_TRUE(copy.IsStopped());
    EXPECT_TRUE(copy.LimitReached());
}

// ---- Emulation replay

class ReplayTest : public EngineTest {
protected:
    void SetUp() override {
        probe = AddProbe();
        engine.SetReceiver(probe);
        engine.m_bEmulation = true;
    }
    // Lets the reader thread take its next 500 ms step and waits until it is asleep again.
    void Step() {
        ASSERT_TRUE(clock.Settle());
        clock.Advance(CGPSEngine::kLinePaceMs);
        ASSERT_TRUE(clock.Settle());
    }
    ProbeReceiver* probe = nullptr;
};

TEST_F(ReplayTest, ReplaysOneLineEveryHalfSecondAndStartsAgain) {
    test::WriteFile(dir.File("three.log"), "$GPAAA,1,x*00\n$GPBBB,2,y*00\r\n$GPCCC,3,z*00\n");
    engine.m_strEmulationFile = CString::FromBytes(dir.File("three.log"));
    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(clock.Settle());
    EXPECT_TRUE(probe->Parsed().empty()) << "the first line waits for its half second";
    const char* expected[] = {"$GPAAA,1,x*00\r\n", "$GPBBB,2,y*00\r\n", "$GPCCC,3,z*00\r\n", "$GPAAA,1,x*00\r\n",
                              "$GPBBB,2,y*00\r\n"};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        Step();
        const auto parsed = probe->Parsed();
        ASSERT_EQ(parsed.size(), i + 1);
        EXPECT_EQ(parsed.back(), expected[i]);
    }
    engine.Stop();
    EXPECT_FALSE(engine.IsActive());
    EXPECT_EQ(engine.m_Buffer.GetLength(), 0);
}

TEST_F(ReplayTest, StopEndsTheReplayWithoutWaitingForTime) {
    test::WriteFile(dir.File("one.log"), Nmea(kGga1));
    engine.m_strEmulationFile = CString::FromBytes(dir.File("one.log"));
    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(clock.Settle());
    const auto before = clock.MonotonicMs();
    engine.Stop();
    EXPECT_EQ(clock.MonotonicMs(), before) << "the thread answers at once; no time-out is needed";
    EXPECT_EQ(engine.m_pThread, nullptr);
}

TEST_F(ReplayTest, PauseLinesShowTheirTextAndPassOnlyTheLine) {
    test::WriteFile(dir.File("pause.log"), "VEK PAUSE,Turn the antenna now, then go on\n" + Nmea(kGga1));
    engine.m_strEmulationFile = CString::FromBytes(dir.File("pause.log"));
    ASSERT_TRUE(engine.Start());
    Step();
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0], CString(L"Turn the antenna now, then go on"));
    EXPECT_TRUE(probe->Parsed().empty()) << "the pause line holds no message start";
    Step();
    ASSERT_EQ(probe->Parsed().size(), 1u);
    EXPECT_EQ(probe->Parsed()[0], Nmea(kGga1));
    engine.Stop();
}

TEST_F(ReplayTest, AFolderNameFallsBackToEmulationLogInTheEmulationDirectory) {
    test::WriteFile(dir.File("Emulation.log"), Nmea(kGga2));
    engine.m_strEmulationFile = CString::FromBytes(dir.Path());  // a folder does not count as a file
    engine.m_strEmulationDir = CString::FromBytes(dir.Path() + "/");
    ASSERT_TRUE(engine.Start());
    Step();
    ASSERT_EQ(probe->Parsed().size(), 1u);
    EXPECT_EQ(probe->Parsed()[0], Nmea(kGga2));
    engine.Stop();
}

TEST_F(ReplayTest, AMissingFileIsReportedAndStopsTheEngine) {
    engine.m_strEmulationFile = L"/nonexistent/recording.log";
    engine.m_strEmulationDir = L"/nonexistent/dir/";
    ASSERT_TRUE(engine.Start());
    // The thread reports and stops by itself, without any time passing.
    for (int i = 0; i < 20000 && engine.IsActive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(engine.IsActive());
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0], CString(L"Unable to open the emulation file: '/nonexistent/dir/Emulation.log'."));
    engine.Stop();
    EXPECT_EQ(engine.m_pThread, nullptr);
    EXPECT_TRUE(engine.Start()) << "the engine can be started again";
    engine.Stop();
}

TEST_F(ReplayTest, AnEmptyFileEndsTheReplay) {
    test::WriteFile(dir.File("empty.log"), "");
    engine.m_strEmulationFile = CString::FromBytes(dir.File("empty.log"));
    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(clock.Settle());
    clock.Advance(CGPSEngine::kLinePaceMs);
    // The host learns it as it learns of a replay that could not start: the engine is no longer
    // active, without a Stop.
    for (int i = 0; i < 20000 && engine.IsActive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(engine.IsActive());
    engine.Stop();  // collects the thread, which has ended by itself
    EXPECT_TRUE(probe->Parsed().empty());
    EXPECT_FALSE(engine.IsActive());
}

}  // namespace
}  // namespace tolvik
