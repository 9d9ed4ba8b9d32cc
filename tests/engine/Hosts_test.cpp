// The engine with hosts that behave like GUI hosts: message boxes shown on a UI thread that is
// busy in Stop and Start. On virtual time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using platform::VirtualClock;
using test::Nmea;

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
void MustReturn(const char* what, VirtualClock& clock, const std::function<void()>& call) {
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

struct BoxCase {
    const char* legend;
    std::string file;  // the emulation file; empty: none (the open-error box)
    const char* box;
};
struct AfterStopCase {
    const char* legend;
    std::function<void(std::unique_ptr<CGPSEngine>&)> call;
};

class HeldBoxTest : public ::testing::TestWithParam<std::tuple<BoxCase, AfterStopCase>> {
protected:
    VirtualClock clock;
    platform::ScopedClock guard{clock};
    MarshallingHost host;
    test::TempDir dir;
};

TEST_P(HeldBoxTest, AfterATimedOutStopNothingWaitsForTheHeldThread) {
    // Plain references, not a structured binding: clang 14 cannot capture those in a lambda.
    const auto& box = std::get<0>(GetParam());
    const auto& after = std::get<1>(GetParam());
    auto engine = std::make_unique<CGPSEngine>();
    engine->SetReceiver(engine->FindReceiver(L"Other"));
    engine->m_bEmulation = true;
    engine->m_strEmulationFile = CString::FromBytes(box.file.empty() ? "/nonexistent/x.log" : dir.File("pause.log"));
    engine->m_strEmulationDir = L"/nonexistent/";
    test::WriteFile(dir.File("pause.log"), box.file);
    ASSERT_TRUE(engine->Start());
    // The reader thread reaches its box (the pause line after its half second) and stays there.
    while (!host.events->inBox.IsSet()) {
        if (clock.WaitForTimedWaiters(1, 10ms)) clock.AdvanceToNextDeadline();
    }
    EXPECT_EQ(host.MessageBoxes(), std::vector{CString::FromBytes(box.box)});

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

using Engine = std::unique_ptr<CGPSEngine>;
INSTANTIATE_TEST_SUITE_P(
    BoxesAndCalls, HeldBoxTest,
    ::testing::Combine(
        ::testing::Values(BoxCase{"PauseLine", "VEK PAUSE,Turn the antenna\n" + Nmea("GPGGA,1"), "Turn the antenna"},
                          BoxCase{"MissingFile", "",
                                  "Unable to open the emulation file: '/nonexistent/Emulation.log'."}),
        ::testing::Values(AfterStopCase{"Start", [](Engine& e) { EXPECT_TRUE(e->Start()); }},
                          AfterStopCase{"SetReceiver", [](Engine& e) { e->SetReceiver(e->FindReceiver(L"SiRF")); }},
                          AfterStopCase{"Destructor", [](Engine& e) { e.reset(); }})),
    [](const auto& testInfo) {
        return std::string(std::get<0>(testInfo.param).legend) + "Then" + std::get<1>(testInfo.param).legend;
    });

}  // namespace
}  // namespace tolvik
