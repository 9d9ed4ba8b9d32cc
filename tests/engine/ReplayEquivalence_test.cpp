// A recording replayed through the reader thread at its 500 ms pace publishes the same epochs as
// the same recording passed on at once (the tool's --fast replay).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using platform::VirtualClock;

// Everything a host sees in an epoch except its time stamp.
void ExpectSameEpoch(const CGPSData& a, const CGPSData& b) {
    EXPECT_EQ(a.m_dLatitude, b.m_dLatitude);
    EXPECT_EQ(a.m_dLongitude, b.m_dLongitude);
    EXPECT_EQ(a.m_dAltitude, b.m_dAltitude);
    EXPECT_EQ(a.m_dHDOP, b.m_dHDOP);
    EXPECT_EQ(a.m_dPDOP, b.m_dPDOP);
    EXPECT_EQ(a.m_dVDOP, b.m_dVDOP);
    EXPECT_EQ(a.m_dMeanSNR, b.m_dMeanSNR);
    EXPECT_EQ(a.m_dHorzError, b.m_dHorzError);
    EXPECT_EQ(a.m_nSatellitesUsed, b.m_nSatellitesUsed);
    EXPECT_EQ(a.m_nSatellitesInView, b.m_nSatellitesInView);
    EXPECT_EQ(a.m_nFixStatus, b.m_nFixStatus);
    EXPECT_EQ(a.m_dCourse, b.m_dCourse);
    EXPECT_EQ(a.m_dSpeed, b.m_dSpeed);
    EXPECT_EQ(a.m_bPositionValid, b.m_bPositionValid);
    EXPECT_EQ(a.m_bVelocityValid, b.m_bVelocityValid);
    EXPECT_EQ(a.m_bSVInfoValid, b.m_bSVInfoValid);
    EXPECT_EQ(a.m_bProprietaryValid, b.m_bProprietaryValid);
    EXPECT_EQ(a.m_dUTCTime, b.m_dUTCTime);
    EXPECT_EQ(a.m_dNorthOffset, b.m_dNorthOffset);
    EXPECT_EQ(0, std::memcmp(a.m_szProprietary, b.m_szProprietary, sizeof a.m_szProprietary));
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        EXPECT_EQ(a.m_Satellites[i].m_nPRN, b.m_Satellites[i].m_nPRN);
        EXPECT_EQ(a.m_Satellites[i].m_dElevation, b.m_Satellites[i].m_dElevation);
        EXPECT_EQ(a.m_Satellites[i].m_bUsed, b.m_Satellites[i].m_bUsed);
        EXPECT_EQ(a.m_Satellites[i].m_nSNR, b.m_Satellites[i].m_nSNR);
    }
}

// Forgets what an earlier run left in the state the receivers share.
void FreshSharedState() {
    CGPSReceiver::m_GPSData = CGPSData();
    CGPSReceiver::m_SpeedEngine.Reset();
    CGPSReceiver::m_nTotalGSV = 0;
    CGPSReceiver::m_nNextGSV = 1;
}

class ReplayEquivalence : public ::testing::TestWithParam<std::string> {
protected:
    std::vector<std::unique_ptr<CGPSData>> Paced(const std::string& path, std::size_t lines) {
        FreshSharedState();
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
        FreshSharedState();
        CGPSEngine engine;
        CGPSReceiver* receiver = engine.FindReceiver(L"Other");
        receiver->SetupReceiver(0, 1, 1.5, L"", true);
        engine.SetReceiver(receiver);
        receiver->Initialize();
        for (const auto& line : lines) engine.ReplayLine(CString::FromBytes(line));
        host.Pump();
        return std::move(host.epochs);
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
        ExpectSameEpoch(*paced[i], *fast[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, ReplayEquivalence,
                         ::testing::Values("data/sample.log", "shared:receivers/tn200-all.log",
                                           "shared:receivers/garmin17n.log"));

}  // namespace
}  // namespace tolvik
