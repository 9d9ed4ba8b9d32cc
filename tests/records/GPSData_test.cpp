#include "tolvik/records/GPSData.h"

#include <gtest/gtest.h>

#include <string>

#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using D = CGPSData;
constexpr double D::*kReals[] = {&D::m_dLatitude,  &D::m_dLongitude,   &D::m_dAltitude,  &D::m_dHDOP,
                                 &D::m_dPDOP,      &D::m_dVDOP,        &D::m_dMeanSNR,   &D::m_dHorzError,
                                 &D::m_dVertError, &D::m_dPosError,    &D::m_dCourse,    &D::m_dSpeed,
                                 &D::m_dUTCTime,   &D::m_dNorthOffset, &D::m_dEastOffset};
constexpr std::int32_t D::*kCounts[] = {&D::m_nSatellitesUsed, &D::m_nSatellitesInView, &D::m_nFixStatus};
constexpr bool D::*kFlags[] = {&D::m_bPositionValid,     &D::m_bVelocityValid,    &D::m_bDOPValid,
                               &D::m_bSatellitesChanged, &D::m_bProprietaryValid, &D::m_bSVInfoValid};

// The numbers as "." (zero) or "#", then the flags as 0 or 1 (m_bSVInfoValid last).
std::string Summary(const D& d) {
    std::string text;
    for (const auto m : kReals) text += d.*m == 0.0 ? '.' : '#';
    for (const auto m : kCounts) text += d.*m == 0 ? '.' : '#';
    text += ' ';
    for (const auto m : kFlags) text += d.*m ? '1' : '0';
    return text;
}
void SetAll(D& d) {
    for (const auto m : kReals) d.*m = 1.5;
    for (const auto m : kCounts) d.*m = 4;
    for (const auto m : kFlags) d.*m = true;
}

// Invalidate clears the flags (m_bSVInfoValid only when asked), Clear the numbers too and stamps
// the time; neither touches the satellites, the proprietary text or the status.
TEST(CGPSData, InvalidateClearsTheFlagsAndClearAlsoTheNumbersButNotSatellitesTextOrStatus) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    D d;
    EXPECT_EQ(d.m_Time.GetTime(), clock.Now());
    d.m_Satellites[11].m_nPRN = 32;
    d.m_szProprietary[78] = 'P';
    d.m_Status.m_bUpdated = true;
    const std::string all(18, '#');
    SetAll(d);
    d.Invalidate(false);
    EXPECT_EQ(Summary(d), all + " 000001");
    SetAll(d);
    d.Invalidate(true);
    EXPECT_EQ(Summary(d), all + " 000000");
    SetAll(d);
    clock.Advance(5000);
    d.Clear();
    EXPECT_EQ(Summary(d), std::string(18, '.') + " 000000");
    EXPECT_EQ(d.m_Time.GetTime(), clock.Now());
    EXPECT_TRUE(d.m_Satellites[11].m_nPRN == 32 && d.m_szProprietary[78] == 'P' && d.m_Status.m_bUpdated);
}

}  // namespace
}  // namespace tolvik
