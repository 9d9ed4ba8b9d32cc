#include "tolvik/records/GPSData.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

void ExpectSameSatellite(const CGPSSatelliteData& a, const CGPSSatelliteData& b) {
    EXPECT_EQ(a.m_dElevation, b.m_dElevation);
    EXPECT_EQ(a.m_dAzimuth, b.m_dAzimuth);
    EXPECT_EQ(a.m_nPRN, b.m_nPRN);
    EXPECT_EQ(a.m_bUsed, b.m_bUsed);
    EXPECT_EQ(a.m_bInView, b.m_bInView);
    EXPECT_EQ(a.m_nSNR, b.m_nSNR);
}

// Every field of a status record, to compare two of them field by field.
void ExpectSameStatus(const CGPSStatusData& a, const CGPSStatusData& b) {
    EXPECT_EQ(a.m_bUpdated, b.m_bUpdated);
    EXPECT_EQ(a.m_bBeaconStatusValid, b.m_bBeaconStatusValid);
    EXPECT_EQ(a.m_nBeaconSignalStrength, b.m_nBeaconSignalStrength);
    EXPECT_EQ(a.m_nBeaconSNR, b.m_nBeaconSNR);
    EXPECT_EQ(a.m_dBeaconFrequency, b.m_dBeaconFrequency);
    EXPECT_EQ(a.m_nBeaconBitRate, b.m_nBeaconBitRate);
    EXPECT_EQ(a.m_bBeaconModeValid, b.m_bBeaconModeValid);
    EXPECT_EQ(a.m_bBeaconAutoTune, b.m_bBeaconAutoTune);
    EXPECT_EQ(a.m_bElevMaskFlag, b.m_bElevMaskFlag);
    EXPECT_EQ(a.m_bElevMaskValid, b.m_bElevMaskValid);
    EXPECT_EQ(a.m_nElevMask, b.m_nElevMask);
    EXPECT_EQ(a.m_bElevMaskSaved, b.m_bElevMaskSaved);
    EXPECT_EQ(a.m_bNmeaStatusValid, b.m_bNmeaStatusValid);
    EXPECT_EQ(0, std::memcmp(a.m_NmeaStatus, b.m_NmeaStatus, sizeof a.m_NmeaStatus));
    EXPECT_EQ(a.m_bPosModeValid, b.m_bPosModeValid);
    EXPECT_EQ(a.m_dFixedAltitude, b.m_dFixedAltitude);
    EXPECT_EQ(a.m_nPosMode, b.m_nPosMode);
    EXPECT_EQ(a.m_nPDOPMask, b.m_nPDOPMask);
    EXPECT_EQ(a.m_nHDOPMask, b.m_nHDOPMask);
    EXPECT_EQ(a.m_nVDOPMask, b.m_nVDOPMask);
    EXPECT_EQ(a.m_dOutputPeriod, b.m_dOutputPeriod);
    EXPECT_EQ(a.m_bAckReceived, b.m_bAckReceived);
    EXPECT_EQ(a.m_bDgpsModeValid, b.m_bDgpsModeValid);
    EXPECT_EQ(a.m_nDgpsMode, b.m_nDgpsMode);
    EXPECT_EQ(a.m_nLbandTuneMode, b.m_nLbandTuneMode);
    EXPECT_EQ(a.m_bReplyTextValid, b.m_bReplyTextValid);
    EXPECT_EQ(0, std::memcmp(a.m_szReplyText, b.m_szReplyText, sizeof a.m_szReplyText));
}

constexpr double CGPSData::*kDoubles[] = {
    &CGPSData::m_dLatitude, &CGPSData::m_dLongitude,   &CGPSData::m_dAltitude,
    &CGPSData::m_dHDOP,     &CGPSData::m_dPDOP,        &CGPSData::m_dVDOP,
    &CGPSData::m_dMeanSNR,  &CGPSData::m_dHorzError,   &CGPSData::m_dVertError,
    &CGPSData::m_dPosError, &CGPSData::m_dCourse,      &CGPSData::m_dSpeed,
    &CGPSData::m_dUTCTime,  &CGPSData::m_dNorthOffset, &CGPSData::m_dEastOffset};

void ExpectSameEpoch(const CGPSData& a, const CGPSData& b) {
    for (const auto field : kDoubles)
        EXPECT_EQ(a.*field, b.*field);
    EXPECT_EQ(a.m_Time, b.m_Time);
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i)
        ExpectSameSatellite(a.m_Satellites[i], b.m_Satellites[i]);
    EXPECT_EQ(a.m_nSatellitesUsed, b.m_nSatellitesUsed);
    EXPECT_EQ(a.m_nSatellitesInView, b.m_nSatellitesInView);
    EXPECT_EQ(a.m_nFixStatus, b.m_nFixStatus);
    const bool CGPSData::*flags[] = {
        &CGPSData::m_bPositionValid,     &CGPSData::m_bVelocityValid,
        &CGPSData::m_bDOPValid,          &CGPSData::m_bSVInfoValid,
        &CGPSData::m_bSatellitesChanged, &CGPSData::m_bProprietaryValid};
    for (const auto flag : flags)
        EXPECT_EQ(a.*flag, b.*flag);
    EXPECT_EQ(0, std::memcmp(a.m_szProprietary, b.m_szProprietary, sizeof a.m_szProprietary));
    ExpectSameStatus(a.m_Status, b.m_Status);
}

void SetAllFlags(CGPSData& d) {
    d.m_bPositionValid = d.m_bVelocityValid = d.m_bDOPValid = true;
    d.m_bSVInfoValid = d.m_bSatellitesChanged = d.m_bProprietaryValid = true;
}

// A record with a value in every field, none of them a default.
CGPSData FilledEpoch() {
    CGPSData d;
    d.m_dLatitude = 0.8;
    d.m_dLongitude = -0.2;
    d.m_dAltitude = 545.4;
    d.m_dHDOP = 0.9;
    d.m_dPDOP = 1.8;
    d.m_dVDOP = 1.5;
    d.m_dMeanSNR = 41.5;
    d.m_dHorzError = 2.1;
    d.m_dVertError = 3.2;
    d.m_dPosError = 3.9;
    d.m_Time = CTime(1234567890);
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        d.m_Satellites[i].m_nPRN = i + 1;
        d.m_Satellites[i].m_dElevation = 0.1 * i;
        d.m_Satellites[i].m_dAzimuth = 0.2 * i;
        d.m_Satellites[i].m_bUsed = i % 2 == 0;
        d.m_Satellites[i].m_bInView = true;
        d.m_Satellites[i].m_nSNR = 30 + i;
    }
    d.m_nSatellitesUsed = 6;
    d.m_nSatellitesInView = 12;
    d.m_nFixStatus = UDF_SIGNAL_RTK_FIXED;
    d.m_dCourse = 1.2;
    d.m_dSpeed = 3.4;
    SetAllFlags(d);
    d.m_dUTCTime = 45319.0;
    d.m_dNorthOffset = 12.5;
    d.m_dEastOffset = -7.5;
    std::memset(d.m_szProprietary, 'P', sizeof d.m_szProprietary);  // no terminator: 79 characters
    CGPSStatusData& s = d.m_Status;
    s.m_bUpdated = s.m_bBeaconStatusValid = s.m_bBeaconModeValid = s.m_bBeaconAutoTune = true;
    s.m_nBeaconSignalStrength = 55;
    s.m_nBeaconSNR = 20;
    s.m_dBeaconFrequency = 313.5;
    s.m_nBeaconBitRate = 200;
    s.m_bElevMaskFlag = false;
    s.m_bElevMaskValid = s.m_bElevMaskSaved = s.m_bNmeaStatusValid = s.m_bPosModeValid = true;
    s.m_nElevMask = 10;
    for (auto& st : s.m_NmeaStatus)
        st = NMEA_MSG_OFF;
    s.m_dFixedAltitude = 100.0;
    s.m_nPosMode = 1;
    s.m_nPDOPMask = 40;
    s.m_nHDOPMask = 30;
    s.m_nVDOPMask = 20;
    s.m_dOutputPeriod = 0.5;
    s.m_bAckReceived = s.m_bDgpsModeValid = s.m_bReplyTextValid = true;
    s.m_nDgpsMode = DGPS_MODE_OMNISTAR;
    s.m_nLbandTuneMode = 2;
    std::memset(s.m_szReplyText, 'R', 79);
    s.m_szReplyText[79] = '\0';
    return d;
}

TEST(CGPSData, DefaultRecordHasNoFixNoSatellitesAndUnknownStatus) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    const CGPSData d;
    for (const auto field : kDoubles)
        EXPECT_EQ(d.*field, 0.0);
    EXPECT_EQ(d.m_nSatellitesUsed, 0);
    EXPECT_EQ(d.m_nSatellitesInView, 0);
    for (const char c : d.m_szProprietary)
        EXPECT_EQ(c, '\0');
    EXPECT_EQ(d.m_Time, CTime(clock.Now()));
    EXPECT_EQ(d.m_nFixStatus, UDF_SIGNAL_NONE);
    EXPECT_FALSE(d.m_bPositionValid || d.m_bVelocityValid || d.m_bDOPValid || d.m_bSVInfoValid ||
                 d.m_bSatellitesChanged || d.m_bProprietaryValid);
    for (const auto& sat : d.m_Satellites)
        ExpectSameSatellite(sat, CGPSSatelliteData{});
    EXPECT_EQ(d.m_Status.m_dOutputPeriod, -1.0);
    for (const auto st : d.m_Status.m_NmeaStatus)
        EXPECT_EQ(st, NMEA_MSG_UNKNOWN);
    EXPECT_TRUE(d.m_Status.m_bElevMaskFlag);
    EXPECT_EQ(d.m_Status.m_szReplyText[0], '\0');
    EXPECT_EQ(d.m_Status.m_nDgpsMode, DGPS_MODE_NONE);
    EXPECT_EQ(d.m_Status.m_nElevMask, 0);
    EXPECT_FALSE(d.m_Status.m_bPosModeValid || d.m_Status.m_bUpdated || d.m_Status.m_bAckReceived);
}

TEST(CGPSData, ClearZeroesMeasurementsAndKeepsSatellitesProprietaryAndStatus) {
    platform::VirtualClock clock;
    platform::ScopedClock guard(clock);
    CGPSData d = FilledEpoch();
    const CGPSData before = d;
    clock.Advance(5000);
    d.Clear();

    CGPSData expected = before;
    expected.m_dLatitude = expected.m_dLongitude = expected.m_dAltitude = 0.0;
    expected.m_dHDOP = expected.m_dPDOP = expected.m_dVDOP = expected.m_dMeanSNR = 0.0;
    expected.m_dHorzError = expected.m_dVertError = expected.m_dPosError = 0.0;
    expected.m_nSatellitesUsed = expected.m_nSatellitesInView = 0;
    expected.m_nFixStatus = UDF_SIGNAL_NONE;
    expected.m_dCourse = expected.m_dSpeed = expected.m_dUTCTime = 0.0;
    expected.m_dNorthOffset = expected.m_dEastOffset = 0.0;
    expected.m_bPositionValid = expected.m_bVelocityValid = expected.m_bDOPValid = false;
    expected.m_bSVInfoValid = expected.m_bSatellitesChanged = expected.m_bProprietaryValid = false;
    expected.m_Time = CTime(clock.Now());
    ExpectSameEpoch(d, expected);
}

TEST(CGPSData, InvalidateClearsTheEpochFlagsAndSatelliteInfoOnlyWhenAll) {
    struct {
        bool all;
        bool svInfoAfter;
    } cases[] = {{false, true}, {true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.all);
        CGPSData d = FilledEpoch();
        CGPSData expected = d;
        d.Invalidate(c.all);
        expected.m_bPositionValid = expected.m_bVelocityValid = expected.m_bDOPValid = false;
        expected.m_bSatellitesChanged = expected.m_bProprietaryValid = false;
        expected.m_bSVInfoValid = c.svInfoAfter;
        ExpectSameEpoch(d, expected);  // values, satellites, texts and status untouched
    }
}

TEST(CGPSStatusData, InvalidateResetsFlagsAndLeavesTheReportedValues) {
    CGPSStatusData s = FilledEpoch().m_Status;
    CGPSStatusData expected = s;
    s.Invalidate();
    expected.m_bElevMaskFlag = true;
    expected.m_dOutputPeriod = -1.0;
    for (auto& st : expected.m_NmeaStatus)
        st = NMEA_MSG_UNKNOWN;
    expected.m_nLbandTuneMode = 0;
    expected.m_bUpdated = expected.m_bBeaconStatusValid = expected.m_bBeaconModeValid = false;
    expected.m_bElevMaskValid = expected.m_bNmeaStatusValid = expected.m_bAckReceived = false;
    expected.m_bDgpsModeValid = expected.m_bReplyTextValid = false;
    // Still as reported: the values, beacon tuning, mask saved, position mode and the reply text.
    ExpectSameStatus(s, expected);
    EXPECT_TRUE(s.m_bPosModeValid && s.m_bBeaconAutoTune && s.m_bElevMaskSaved);
    EXPECT_EQ(s.m_nDgpsMode, DGPS_MODE_OMNISTAR);
    EXPECT_EQ(s.m_szReplyText[0], 'R');
}

TEST(CGPSData, CopiesCompareEqualFieldByFieldTextBuffersIncluded) {
    const CGPSData source = FilledEpoch();
    const CGPSData constructed(source);
    ExpectSameEpoch(constructed, source);
    CGPSData assigned;
    assigned = source;
    ExpectSameEpoch(assigned, source);

    const CGPSStatusData status(source.m_Status);
    ExpectSameStatus(status, source.m_Status);
    CGPSStatusData statusAssigned;
    statusAssigned = source.m_Status;
    ExpectSameStatus(statusAssigned, source.m_Status);

    CGPSSatelliteData sat;
    sat = source.m_Satellites[5];
    ExpectSameSatellite(sat, source.m_Satellites[5]);
}

TEST(CGPSData, FixStatusNames) {
    EXPECT_STREQ(FixStatusName(UDF_SIGNAL_NONE), L"UDF_SIGNAL_NONE");
    EXPECT_STREQ(FixStatusName(UDF_SIGNAL_CORRECTED_GPS), L"UDF_SIGNAL_CORRECTED_GPS");
    EXPECT_STREQ(FixStatusName(UDF_SIGNAL_WAAS), L"UDF_SIGNAL_WAAS");
    EXPECT_STREQ(FixStatusName(UDF_SIGNAL_UNKNOWN), L"UDF_SIGNAL_UNKNOWN");
    EXPECT_EQ(FixStatusName(-1), nullptr);
    EXPECT_EQ(FixStatusName(kFixStatusCount), nullptr);
}

}  // namespace
}  // namespace tolvik
