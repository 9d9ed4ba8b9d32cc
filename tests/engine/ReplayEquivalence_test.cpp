// A recording replayed through the reader thread at its 500 ms pace publishes the same epochs as
// the same recording passed on at once (the tool's --fast replay).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using platform::VirtualClock;

class ReplayEquivalence : public ::testing::TestWithParam<std::string> {
protected:
    std::vector<std::unique_ptr<CGPSData>> Paced(const std::string& path, std::size_t lines) {
        test::FreshSharedState();
        CGPSEngine engine;
        CGPSReceiver* receiver = engine.FindReceiver(L"Other");
        receiver->SetupReceiver(0, 1, 1.5, L"", true);
        engine.SetReceiver(receiver);
        engine.m_bEmulation = true;
        engine.m_strEmulationFile = CString::FromBytes(path);
        receiver->Initialize();
        EXPECT_TRUE(engine.Start());
        for (std::size_t i = 0; i < lines; ++i) {
            EXPECT_TRUE(clock.Settle());
            clock.Advance(CGPSEngine::kLinePaceMs);
        }
        EXPECT_TRUE(clock.Settle());
        engine.Stop();
        host.Pump();
        return std::move(host.epochs);
    }

    std::vector<std::unique_ptr<CGPSData>> Fast(const std::vector<std::string>& lines) {
        return test::EngineReplay(host, lines);
    }

    VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
};

TEST_P(ReplayEquivalence, PacedAndFastReplaysPublishTheSameEpochs) {
    std::string path = GetParam();
    if (path.rfind("shared:", 0) == 0) {
        TOLVIK_REQUIRE_SHARED_DATA();
        path = test::SharedData(path.substr(7));
    } else {
        path = test::ProjectFile(path);
    }
    std::vector<std::string> lines = test::ReadLines(path);
    if (lines.size() > 400) lines.resize(400);  // enough for every kind of sentence; keeps it quick

    const auto fast = Fast(lines);
    const auto paced = Paced(path, lines.size());
    ASSERT_GT(fast.size(), 3u);
    ASSERT_EQ(paced.size(), fast.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        SCOPED_TRACE("epoch " + std::to_string(i));
        test::ExpectSameEpoch(*paced[i], *fast[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReplayEquivalence,
                         ::testing::Values("data/sample.log", "shared:receivers/tn200-all.log",
                                           "shared:receivers/garmin17n.log"));

}  // namespace
}  // namespace tolvik
