#include "tolvik/records/GPSData.h"

#include <gtest/gtest.h>

#include <vector>

#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

// The numbers Clear zeroes: ten doubles, the three counts, course, speed, time of day, offsets.
std::vector<double> Numbers(const CGPSData& d) {
    // clang-format off
    return {d.m_dLatitude, d.m_dLongitude, d.m_dAltitude, d.m_dHDOP, d.m_dPDOP, d.m_dVDOP,
            d.m_dMeanSNR, d.m_dHorzError, d.m_dVertError, d.m_dPosError, d.m_nSatellitesUsed + 0.0,
            d.m_nSatellitesInView + 0.0, d.m_nFixStatus + 0.0, d.m_dCourse, d.m_dSpeed,
            d.m_dUTCTime, d.m_dNorthOffset, d.m_dEastOffset};
    // clang-format on
}
// The epoch flags, m_bSVInfoValid last.
std::vector<bool> Flags(const CGPSData& d) {
    return {d.m_bPositionValid,     d.m_bVelocityValid,    d.m_bDOPValid,
            d.m_bSatellitesChanged, d.m_bProprietaryValid, d.m_bSVInfoValid};
}
void SetFlags(CGPSData& d) {
    d.m_bPositionValid = d.m_bVelocityValid = d.m_bDOPValid = true;
    d.m_bSatellitesChanged = d.m_bProprietaryValid = d.m_bSVInfoValid = true;
}

TEST(CGPSData, InvalidateClearsTheFlagsAndClearAlsoTheNumbersButNotSatellitesTextOrStatus) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    CGPSData d;
    EXPECT_EQ(d.m_Time.GetTime(), clock.Now());
    d.m_dLatitude = d.m_dLongitude = d.m_dAltitude = d.m_dHDOP = d.m_dPDOP = d.m_dVDOP = 1.0;
    d.m_dMeanSNR = d.m_dHorzError = d.m_dVertError = d.m_dPosError = d.m_dCourse = 2.0;
    d.m_dSpeed = d.m_dUTCTime = d.m_dNorthOffset = d.m_dEastOffset = 3.0;
    d.m_nSatellitesUsed = d.m_nSatellitesInView = d.m_nFixStatus = 4;
    d.m_Satellites[11].m_nPRN = 32;
    d.m_szProprietary[78] = 'P';
    d.m_Status.m_bUpdated = true;
    const std::vector<double> numbers = Numbers(d);

    SetFlags(d);
    d.Invalidate(false);
    EXPECT_EQ(Flags(d), (std::vector<bool>{false, false, false, false, false, true}));
    SetFlags(d);
    d.Invalidate(true);
    EXPECT_EQ(Flags(d), std::vector<bool>(6, false));
    EXPECT_EQ(Numbers(d), numbers);

    SetFlags(d);
    clock.Advance(5000);
    d.Clear();
    EXPECT_EQ(Numbers(d), std::vector<double>(numbers.size(), 0.0));
    EXPECT_EQ(Flags(d), std::vector<bool>(6, false));
    EXPECT_EQ(d.m_Time.GetTime(), clock.Now());
    EXPECT_EQ(d.m_Satellites[11].m_nPRN, 32);
    EXPECT_EQ(d.m_szProprietary[78], 'P');
    EXPECT_TRUE(d.m_Status.m_bUpdated);
}

}  // namespace
}  // namespace tolvik
