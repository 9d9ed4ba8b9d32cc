// The engine's lifecycle, its buffer update and the emulation replay, on virtual time; hosts whose
// message boxes wait for a UI thread that is busy in a call to the engine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "sim/MixedStream.h"
#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using test::Nmea;

const std::string kGga1 = Nmea("GPGGA,123519.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
const std::string kGga2 = Nmea("GPGGA,123520.00,4807.040,N,01131.002,E,1,08,0.9,545.5,M,46.9,M,,");

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
    bool accept = true, initializeResult = true;
    int initializeCalls = 0, suspendCalls = 0;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.AddReceiver(probe));
        engine.SetReceiver(probe);
    }
    bool Update(const std::string& bytes) {
        CBinBuffer chunk(bytes.data(), static_cast<int>(bytes.size()));
        return engine.UpdateGPSBuffer(chunk);
    }
    bool Replay(const std::string& contents) {
        test::WriteFile(dir.File("replay.log"), contents);
        engine.m_bEmulation = true;
        engine.m_strEmulationFile = CString::FromBytes(dir.File("replay.log"));
        return engine.Start();
    }
    // Lets the reader thread take its next 500 ms step and waits until it is asleep again.
    void Step() {
        ASSERT_TRUE(clock.Settle());
        clock.Advance(CGPSEngine::kLinePaceMs);
        ASSERT_TRUE(clock.Settle());
    }
    // A replay that ends by itself leaves the engine inactive without a Stop.
    void AwaitEnd() {
        for (int i = 0; i < 20000 && engine.IsActive(); ++i) std::this_thread::sleep_for(1ms);
        EXPECT_FALSE(engine.IsActive());
    }

    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    test::TempDir dir;
    CGPSEngine engine;
    ProbeReceiver* probe = new ProbeReceiver;  // owned by the engine
};

TEST_F(EngineTest, StartOutcomesAndErrorTexts) {
    probe->initializeResult = false;
    EXPECT_FALSE(engine.Start());
    EXPECT_EQ(engine.GetLastError(), GPS_ENGINE_INIT_FAILED);
    EXPECT_EQ(engine.GetLastErrorString(), CString(L"Can't Initialize a Receiver."));
    EXPECT_FALSE(engine.IsActive());
    // Replaying does not initialise the receiver: a port that cannot open does not matter.
    EXPECT_TRUE(Replay(kGga1));
    EXPECT_TRUE(engine.GetLastError() == GPS_ENGINE_NO_ERROR && engine.IsActive());
    EXPECT_EQ(probe->initializeCalls, 1);
    // Stopping twice only suspends the receiver again.
    const int suspends = probe->suspendCalls;
    engine.Stop();
    engine.Stop();
    EXPECT_EQ(probe->suspendCalls, suspends + 2);
    EXPECT_FALSE(engine.IsActive());
    for (const int code : {-1, 4}) {  // codes on either side of the table
        engine.m_eLastError = static_cast<GPS_ENGINE_ERROR>(code);
        EXPECT_EQ(engine.GetLastErrorString(), CString(L"Unknown GPS Error Code.")) << code;
    }
    CGPSEngine none;
    EXPECT_FALSE(none.Start());
    EXPECT_EQ(none.GetLastError(), GPS_ENGINE_NO_RECEIVER);
}

TEST_F(EngineTest, ReceiversByNameAndTheirMinimumSatellites) {
    // Fewer than three satellites never make a fix; the current receiver follows the setting.
    engine.SetMinSatRequierment(1);
    EXPECT_EQ(probe->m_nMinSatellites, 3);
    engine.SetMinSatRequierment(6);
    EXPECT_EQ(probe->m_nMinSatellites, 6);

    CGPSEngine empty;
    for (CGPSReceiver* r : empty.m_Receivers) delete r;
    empty.m_Receivers.clear();
    EXPECT_EQ(empty.FindReceiver(L"anything"), nullptr);
    auto* a = new ProbeReceiver(L"Alpha");
    auto* b = new ProbeReceiver(L"Beta");
    ASSERT_TRUE(empty.AddReceiver(a) && empty.AddReceiver(b));
    ProbeReceiver duplicate(L"Alpha");
    EXPECT_FALSE(empty.AddReceiver(&duplicate));
    EXPECT_EQ(empty.m_Receivers.size(), 2u);
    EXPECT_EQ(empty.FindReceiver(L"Alpha"), a);
    EXPECT_EQ(empty.FindReceiver(L"alpha"), b) << "names compare case-sensitively; unknown ones find the last";
}

TEST_F(EngineTest, BufferUpdateHandsEveryCompleteMessageToTheReceiver) {
    EXPECT_TRUE(Update(kGga1 + kGga2 + kGga1.substr(0, 20)));
    // A sentence reaches the receiver from '$' to its CR, followed by "\n".
    EXPECT_EQ(probe->Parsed(), (std::vector{kGga1, kGga2}));
    probe->accept = false;
    EXPECT_FALSE(Update(kGga1.substr(20))) << "no message accepted";
    EXPECT_EQ(probe->Parsed().back(), kGga1);
    EXPECT_EQ(engine.m_Buffer.GetLength(), 0);
    probe->accept = true;

    // One byte below the limit the buffer is framed; at the limit everything in it is lost.
    EXPECT_TRUE(Update(std::string(CGPSEngine::kBufferLimit - 1 - kGga1.size(), 'x') + kGga1));
    EXPECT_EQ(engine.m_nOverflowCount.load(), 0);
    EXPECT_FALSE(Update(std::string(CGPSEngine::kBufferLimit - kGga2.size(), 'x') + kGga2));
    EXPECT_EQ(engine.m_nOverflowCount.load(), 1);
    EXPECT_EQ(engine.m_Buffer.GetLength(), 0);
    EXPECT_EQ(probe->Parsed().size(), 4u);

    // Raw text goes to the host and the collector only while collecting.
    host.Pump();
    EXPECT_TRUE(host.rawStrings.empty() && engine.m_ComBuffer.GetData().IsEmpty());
    engine.m_ComBuffer.SetStopped(false);
    Update(kGga1);
    host.Pump();
    ASSERT_EQ(host.rawStrings.size(), 1u);
    EXPECT_EQ(host.rawStrings[0]->ToBytes(), kGga1);
    EXPECT_EQ(engine.m_ComBuffer.GetData().ToBytes(), kGga1);
}

TEST_F(EngineTest, SeveralBinaryRecordsInOneReadEachReachTheHostIntact) {
    engine.SetReceiver(engine.FindReceiver(L"Javad"));  // its block output command is repeated now and then
    engine.m_bAttachRawData = true;
    std::string read;
    const std::string fills = "ABCD";
    for (const char fill : fills) read += sim::BinBlock(95, std::string(128, fill)) + "\n";  // as a receiver ends it
    for (const bool copies : {false, true}) {
        CGPSReceiver::SetBinaryRecordCopies(copies);
        host.binaryMessages = 0;
        Update(read);
        host.Pump();
        EXPECT_EQ(host.binaryMessages, 4);
        ASSERT_EQ(host.binaryRecords.size(), copies ? 4u : 0u) << "lParam stays 0 for hosts that did not ask";
        for (std::size_t i = 0; i < host.binaryRecords.size(); ++i) {  // each its own, from header to data end
            const std::vector<WORD>& words = host.binaryRecords[i]->m_Words;
            ASSERT_EQ(words.size(), 70u);
            EXPECT_TRUE(words[0] == 0x4224 && words[4] == words[67] && words[67] == fills[i] * 0x101) << i;
        }
    }
    // Records that cannot be delivered are freed (ASan would report the leak).
    CGPSReceiver::SetBinaryRecordCopies(true);
    host.SetMainWnd(nullptr);
    Update(read);
    CGPSReceiver::SetBinaryRecordCopies(false);
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
    buffer.OnRawData(&message);
    const CComBuffer copy(buffer);
    EXPECT_TRUE(copy.LimitReached() && copy.IsStopped());
    EXPECT_EQ(copy.GetData().GetLength(), 160000);
}

// A pause line shows its text and passes nothing on; line ends become CR LF.
TEST_F(EngineTest, ReplaysOneLineEveryHalfSecondAndStartsAgain) {
    ASSERT_TRUE(Replay("VEK PAUSE,Turn the antenna now, then go on\n$GPAAA,1,x*00\n$GPBBB,2,y*00\r\n$GPCCC,3,z*00\n"));
    ASSERT_TRUE(clock.Settle());
    EXPECT_TRUE(host.MessageBoxes().empty()) << "the first line waits for its half second";
    const std::string a = "$GPAAA,1,x*00\r\n", b = "$GPBBB,2,y*00\r\n", c = "$GPCCC,3,z*00\r\n";
    std::vector<std::string> expected;
    for (const std::string& line : {std::string(), a, b, c, std::string(), a}) {
        Step();
        if (!line.empty()) expected.push_back(line);
        EXPECT_EQ(probe->Parsed(), expected);
    }
    EXPECT_EQ(host.MessageBoxes(), std::vector(2, CString(L"Turn the antenna now, then go on")));
    // Stop ends the thread's pause at once; no time-out is needed.
    const auto before = clock.MonotonicMs();
    engine.Stop();
    EXPECT_EQ(clock.MonotonicMs(), before);
    EXPECT_TRUE(!engine.IsActive() && engine.m_pThread == nullptr);
    EXPECT_EQ(engine.m_Buffer.GetLength(), 0);
}

TEST_F(EngineTest, AFolderNameFallsBackToEmulationLogInTheEmulationDirectory) {
    test::WriteFile(dir.File("Emulation.log"), kGga2);
    engine.m_bEmulation = true;
    engine.m_strEmulationFile = CString::FromBytes(dir.Path());  // a folder does not count as a file
    engine.m_strEmulationDir = CString::FromBytes(dir.Path() + "/");
    ASSERT_TRUE(engine.Start());
    Step();
    EXPECT_EQ(probe->Parsed(), std::vector{kGga2});
    engine.Stop();
    // Missing there too: the thread reports it and stops by itself, without any time passing.
    engine.m_strEmulationDir = L"/nonexistent/dir/";
    ASSERT_TRUE(engine.Start());
    AwaitEnd();
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
    engine.Stop();
    EXPECT_EQ(engine.m_pThread, nullptr);
    EXPECT_TRUE(Replay("")) << "the engine can be started again";
    ASSERT_TRUE(clock.Settle());
    clock.Advance(CGPSEngine::kLinePaceMs);
    AwaitEnd();     // an empty file ends the replay
    engine.Stop();  // collects the thread, which has ended by itself
    EXPECT_EQ(probe->Parsed().size(), 1u);
}

// A recording replayed through the reader thread at its 500 ms pace publishes the same epochs as
// the same recording passed on at once (the tool's --fast replay).
class ReplayEquivalence : public EngineTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ReplayEquivalence, PacedAndFastReplaysPublishTheSameEpochs) {
    std::string path = GetParam();
    if (path.starts_with("shared:")) {
        TOLVIK_REQUIRE_SHARED_DATA();
        path = test::SharedData(path.substr(7));
    } else {
        path = test::ProjectFile(path);
    }
    std::vector<std::string> lines = test::ReadLines(path);
    if (lines.size() > 400) lines.resize(400);  // enough for every kind of sentence; keeps it quick
    const auto fast = test::EngineReplay(host, lines);

    test::FreshSharedState();
    CGPSReceiver* receiver = engine.FindReceiver(L"Other");
    receiver->SetupReceiver(0, 1, 1.5, L"", true);
    engine.SetReceiver(receiver);
    receiver->Initialize();
    ASSERT_TRUE(Replay(test::ReadFile(path)));
    for (std::size_t i = 0; i < lines.size(); ++i) ASSERT_NO_FATAL_FAILURE(Step());
    engine.Stop();
    host.Pump();
    ASSERT_GT(fast.size(), 3u);
    ASSERT_EQ(host.epochs.size(), fast.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        SCOPED_TRACE("epoch " + std::to_string(i));
        test::ExpectSameEpoch(*host.epochs[i], *fast[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReplayEquivalence,
                         ::testing::Values("data/sample.log", "shared:receivers/tn200-all.log",
                                           "shared:receivers/garmin17n.log"));

// A recording with a line far longer than the framing buffer (a corrupt file, a device read as a
// file): the line is cut at the buffer limit and counted as an overflow, memory stays bounded,
// and the lines after it are handled as before.
TEST_F(EngineTest, ALongLineIsCutCountedAndLeavesTheFramingBufferSmall) {
    CGPSReceiver* receiver = engine.FindReceiver(L"Other");
    receiver->SetupReceiver(0, 0, 0.0, L"", true);
    engine.SetReceiver(receiver);
    const std::string path = dir.File("long.log"), gga = kGga1.substr(0, kGga1.size() - 2);
    for (const char fill : {'x', '$'}) {
        SCOPED_TRACE(std::string("line of ") + fill);
        test::WriteFile(path, gga + "\r\n" + std::string(24 << 20, fill) + "\r\n" + gga + "\r\n");
        const int overflows = engine.m_nOverflowCount;
        const int messages = receiver->m_nMessageCount;
        CTextFile file(false, false);
        ASSERT_NE(file.Open(path.c_str(), CTextFile::typeText), 0);
        for (CString line; file.ReadString(line);) {
            EXPECT_LE(line.GetLength(), CGPSEngine::kBufferLimit);
            engine.ReplayLine(line);
            // Whatever a line brings, the buffer never holds more than two reads' worth.
            EXPECT_LE(engine.m_Buffer.GetCapacity(), 4 * CGPSEngine::kBufferLimit);
        }
        EXPECT_EQ(file.GetCutLines(), 1);
        EXPECT_EQ(engine.m_nOverflowCount - overflows, 1);
        EXPECT_EQ(receiver->m_nMessageCount - messages, 2) << "both sentences around the long line";
    }
    // A host that hands the engine one huge read: the buffer gives the memory back when it empties,
    // but ordinary use keeps its storage (no allocation per read).
    CBinBuffer buffer;
    const std::string huge(8 << 20, 'x');
    buffer.Append(huge.data(), static_cast<int>(huge.size()));
    buffer.Clear();
    EXPECT_LE(buffer.GetCapacity(), CBinBuffer::kMaxLength);
    buffer.Append(gga.data(), static_cast<int>(gga.size()));
    const int capacity = buffer.GetCapacity();
    buffer.Clear();
    EXPECT_EQ(buffer.GetCapacity(), capacity);
}

// ---- Hosts that show message boxes on a UI thread that is busy in Stop and Start

// A host whose message boxes are shown by its UI thread: the box returns only when the UI thread
// gets round to it, here when the test releases it. The events outlive the host: a reader thread
// let go by its engine may still be on its way out of the box when the test ends.
struct BoxEvents {
    platform::Event inBox{true, false};
    platform::Event release{true, false};
    platform::Event returned{true, false};
};
class MarshallingHost : public test::RecordingHost {
public:
    int DoMessageBox(const CString& text, UINT nType) override {
        RecordingHost::DoMessageBox(text, nType);
        const std::shared_ptr<BoxEvents> e = events;
        e->inBox.Set();
        platform::WaitForSingleObject(&e->release, INFINITE);
        e->returned.Set();
        return IDOK;
    }
    std::shared_ptr<BoxEvents> events = std::make_shared<BoxEvents>();
};

// Runs a host call that must come back; a call that waits for ever fails the test at once rather
// than hanging it (its threads could never be joined).
void MustReturn(const char* what, platform::VirtualClock& clock, const std::function<void()>& call) {
    auto done = std::async(std::launch::async, call);
    // Stop's wait for the thread's answer runs on virtual time: let it time out.
    for (int i = 0; i < 2000 && done.wait_for(10ms) != std::future_status::ready;) {
        if (clock.WaitForTimedWaiters(1, 10ms))
            clock.AdvanceToNextDeadline();
        else
            ++i;
    }
    if (done.wait_for(0s) != std::future_status::ready) {
        ADD_FAILURE() << what << " waits for a reader thread held in a message box";
        std::fflush(stdout);
        std::_Exit(1);
    }
    done.get();
}

using Engine = std::unique_ptr<CGPSEngine>;

// For either box, the UI thread busy in Stop and then in another call to the engine.
TEST(HeldBoxTest, AfterATimedOutStopNothingWaitsForTheHeldThread) {
    const std::pair<std::string, const char*> boxes[] = {
        {"VEK PAUSE,Turn the antenna\n" + Nmea("GPGGA,1"), "Turn the antenna"},
        {"", "Unable to open the emulation file: '/nonexistent/Emulation.log'."}};  // no file
    const struct {
        const char* legend;
        std::function<void(Engine&)> call;
    } calls[] = {{"Start", [](Engine& e) { EXPECT_TRUE(e->Start()); }},
                 {"SetReceiver", [](Engine& e) { e->SetReceiver(e->FindReceiver(L"SiRF")); }},
                 {"Destructor", [](Engine& e) { e.reset(); }}};
    for (const auto& [file, text] : boxes) {
        for (const auto& after : calls) {
            SCOPED_TRACE(std::string(text) + " then " + after.legend);
            platform::VirtualClock clock;
            platform::ScopedClock guard{clock};
            MarshallingHost host;
            test::TempDir dir;
            auto engine = std::make_unique<CGPSEngine>();
            engine->SetReceiver(engine->FindReceiver(L"Other"));
            engine->m_bEmulation = true;
            engine->m_strEmulationFile =
                CString::FromBytes(file.empty() ? "/nonexistent/x.log" : dir.File("pause.log"));
            engine->m_strEmulationDir = L"/nonexistent/";
            test::WriteFile(dir.File("pause.log"), file);
            ASSERT_TRUE(engine->Start());
            // The reader thread reaches its box (the pause line after its half second) and stays there.
            while (!host.events->inBox.IsSet()) {
                if (clock.WaitForTimedWaiters(1, 10ms)) clock.AdvanceToNextDeadline();
            }
            EXPECT_EQ(host.MessageBoxes(), std::vector{CString::FromBytes(text)});

            // The UI thread is busy in Stop: the thread cannot answer; Stop gives up after its second.
            const std::uint64_t before = clock.MonotonicMs();
            MustReturn("Stop", clock, [&] { engine->Stop(); });
            EXPECT_EQ(clock.MonotonicMs() - before, CGPSEngine::kStopWaitMs);
            EXPECT_FALSE(engine->IsActive());
            MustReturn(after.legend, clock, [&] { after.call(engine); });

            // The UI thread shows the box at last; the thread returns into an engine that let it go
            // (or no longer exists) and ends without touching it.
            host.events->release.Set();
            ASSERT_EQ(platform::WaitForSingleObject(&host.events->returned, INFINITE), platform::WAIT_OBJECT_0);
            if (engine) engine->Stop();
        }
    }
}

}  // namespace
}  // namespace tolvik
