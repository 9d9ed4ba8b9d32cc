#include "tolvik/records/GPSDataRaw.h"

#include <gtest/gtest.h>

namespace tolvik {
namespace {

DataRecord_G12_MBN Mbn(int prn, std::int32_t tag, double time, std::int32_t doppler, double phase) {
    DataRecord_G12_MBN r{};
    r.m_Head[0] = 1;
    r.m_Head[2] = static_cast<std::uint8_t>(static_cast<std::int8_t>(prn));
    r.m_Flags[1] = 24;
    r.m_nTag = tag;
    r.m_dTime = time;
    r.m_nDoppler = doppler;
    r.m_dPhase = phase;
    return r;
}

DataRecord_G12_MCA Mca(int prn, std::int32_t doppler, double phase) {
    DataRecord_G12_MCA r{};
    r.m_nPRN = static_cast<std::uint8_t>(prn);
    r.m_nDoppler = doppler;
    r.m_dPhase = phase;
    return r;
}

void ExpectSameSlot(const CGPSSatelliteDataRaw& a, const CGPSSatelliteDataRaw& b) {
    EXPECT_EQ(a.m_nPRN, b.m_nPRN);
    EXPECT_EQ(a.m_nTag, b.m_nTag);
    EXPECT_EQ(a.m_dRange, b.m_dRange);
    EXPECT_EQ(a.m_dPhase, b.m_dPhase);
    EXPECT_EQ(a.m_dDoppler, b.m_dDoppler);
    EXPECT_EQ(a.m_dReserved1, b.m_dReserved1);
    EXPECT_EQ(a.m_dReserved2, b.m_dReserved2);
    EXPECT_EQ(a.m_bValid, b.m_bValid);
}

void ExpectSameEpoch(const CGPSDataRaw& a, const CGPSDataRaw& b) {
    EXPECT_EQ(a.m_Time, b.m_Time);
    const double CGPSDataRaw::*doubles[] = {
        &CGPSDataRaw::m_dLatitude,    &CGPSDataRaw::m_dLongitude,    &CGPSDataRaw::m_dHeight,
        &CGPSDataRaw::m_dReserved,    &CGPSDataRaw::m_dReceiverTime, &CGPSDataRaw::m_dCorrectedTime,
        &CGPSDataRaw::m_dClockOffset, &CGPSDataRaw::m_dClockDrift};
    for (const auto field : doubles)
        EXPECT_EQ(a.*field, b.*field);
    EXPECT_EQ(a.m_bPositionValid, b.m_bPositionValid);
    EXPECT_EQ(a.m_bReserved, b.m_bReserved);
    EXPECT_EQ(a.m_bLastRecord, b.m_bLastRecord);
    EXPECT_EQ(a.m_nGPSWeek, b.m_nGPSWeek);
    EXPECT_EQ(a.m_nNumSV, b.m_nNumSV);
    for (int i = 0; i < CGPSDataRaw::kSlots; ++i)
        ExpectSameSlot(a.m_Satellites[i], b.m_Satellites[i]);
}

TEST(CGPSDataRaw, TheTwoRecordKindsKeepTheirSignConventions) {
    CGPSDataRaw raw;
    // MBN: phase negated, Doppler x -0.0001, tag x 0.002 truncated toward zero, range = time x c.
    ASSERT_TRUE(raw.AddSatelliteData(Mbn(5, 1999, 0.07, 12345, 100.25)));
    // MCA: phase and Doppler (x 0.0001) as the receiver gives them; tag and range untouched.
    ASSERT_TRUE(raw.AddSatelliteData(Mca(200, -12345, -100.25)));
    ASSERT_TRUE(raw.AddSatelliteData(Mbn(7, -2999, -0.5, -1, -1.0)));
    ASSERT_EQ(raw.GetNumSV(), 3);

    struct {
        int prn, tag;
        double range, phase, doppler;
    } expected[] = {
        {5, 3, 0.07 * 299792458.0, -100.25, -1.2345},
        {200, 0, 0.0, -100.25, -1.2345},
        {7, -5, -0.5 * 299792458.0, 1.0, 0.0001},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        CGPSSatelliteDataRaw s;
        ASSERT_TRUE(raw.GetSatelliteData(s, i));
        EXPECT_EQ(s.m_nPRN, expected[i].prn);
        EXPECT_EQ(s.m_nTag, expected[i].tag);
        EXPECT_DOUBLE_EQ(s.m_dRange, expected[i].range);
        EXPECT_DOUBLE_EQ(s.m_dPhase, expected[i].phase);
        EXPECT_DOUBLE_EQ(s.m_dDoppler, expected[i].doppler);
        EXPECT_TRUE(s.m_bValid);
        EXPECT_EQ(s.m_dReserved1, 0.0);
        EXPECT_EQ(s.m_dReserved2, 0.0);
    }
}

TEST(CGPSDataRaw, ASatelliteAddedAgainReplacesItsSlot) {
    CGPSDataRaw raw;
    ASSERT_TRUE(raw.AddSatelliteData(Mbn(9, 500, 0.1, 10, 1.0)));
    ASSERT_TRUE(raw.AddSatelliteData(Mca(9, 20, 2.0)));  // MCA keeps tag and range of the MBN
    EXPECT_EQ(raw.GetNumSV(), 1);
    CGPSSatelliteDataRaw s;
    ASSERT_TRUE(raw.GetSatelliteData(s, 0));
    EXPECT_EQ(s.m_nTag, 1);
    EXPECT_DOUBLE_EQ(s.m_dRange, 0.1 * 299792458.0);
    EXPECT_DOUBLE_EQ(s.m_dPhase, 2.0);
    EXPECT_DOUBLE_EQ(s.m_dDoppler, 0.002);

    ASSERT_TRUE(raw.AddSatelliteData(Mbn(9, 1000, 0.2, 30, 3.0)));
    EXPECT_EQ(raw.GetNumSV(), 1);
    ASSERT_TRUE(raw.GetSatelliteData(s, 0));
    EXPECT_EQ(s.m_nTag, 2);
    EXPECT_DOUBLE_EQ(s.m_dPhase, -3.0);
}

TEST(CGPSDataRaw, HoldsElevenSatellitesAndRefusesEverythingAfter) {
    CGPSDataRaw raw;
    for (int prn = 1; prn <= 11; ++prn)
        ASSERT_TRUE(raw.AddSatelliteData(Mbn(prn, 0, 0.1, 0, 0.0))) << prn;
    ASSERT_EQ(raw.GetNumSV(), 11);
    const CGPSDataRaw before = raw;

    EXPECT_FALSE(raw.AddSatelliteData(Mbn(12, 0, 0.1, 0, 0.0)));
    EXPECT_FALSE(raw.AddSatelliteData(Mca(12, 0, 0.0)));
    EXPECT_FALSE(raw.AddSatelliteData(Mbn(3, 500, 0.9, 9, 9.0)));  // even one already held
    EXPECT_FALSE(raw.AddSatelliteData(Mca(3, 9, 9.0)));
    ExpectSameEpoch(raw, before);
    ExpectSameSlot(raw.m_Satellites[11], CGPSSatelliteDataRaw());
}

TEST(CGPSDataRaw, RefusesSatelliteNumberZeroAndNegative) {
    CGPSDataRaw raw;
    const CGPSDataRaw before = raw;
    EXPECT_FALSE(raw.AddSatelliteData(Mbn(0, 1, 1.0, 1, 1.0)));
    EXPECT_FALSE(raw.AddSatelliteData(Mbn(-1, 1, 1.0, 1, 1.0)));
    EXPECT_FALSE(raw.AddSatelliteData(Mbn(-128, 1, 1.0, 1, 1.0)));
    EXPECT_FALSE(raw.AddSatelliteData(Mca(0, 1, 1.0)));
    ExpectSameEpoch(raw, before);
    // The MCA number is unsigned: 255 is a satellite number like any other; MBN's 127 too.
    EXPECT_TRUE(raw.AddSatelliteData(Mca(255, 1, 1.0)));
    EXPECT_TRUE(raw.AddSatelliteData(Mbn(127, 1, 1.0, 1, 1.0)));
}

TEST(CGPSDataRaw, GetSatelliteDataStaysInsideTheSlotsInUse) {
    CGPSDataRaw raw;
    ASSERT_TRUE(raw.AddSatelliteData(Mca(4, 1, 1.0)));
    ASSERT_TRUE(raw.AddSatelliteData(Mca(6, 1, 1.0)));
    for (const int index : {-1, 2, 11, 12, 1000}) {
        SCOPED_TRACE(index);
        CGPSSatelliteDataRaw out;
        out.m_nPRN = 77;
        EXPECT_FALSE(raw.GetSatelliteData(out, index));
        EXPECT_EQ(out.m_nPRN, 77);
    }
    CGPSSatelliteDataRaw out;
    ASSERT_TRUE(raw.GetSatelliteData(out, 1));
    EXPECT_EQ(out.m_nPRN, 6);
}

TEST(CGPSDataRaw, ClearEmptiesTheEpochButKeepsItsTime) {
    CGPSDataRaw raw;
    EXPECT_EQ(raw.m_Time, CTime(0));
    raw.m_Time = CTime(1700000000);
    raw.m_dLatitude = 47.0;
    raw.m_dLongitude = 8.0;
    raw.m_dHeight = 500.0;
    raw.m_bPositionValid = raw.m_bLastRecord = true;
    raw.m_dReceiverTime = raw.m_dCorrectedTime = 345600.0;
    raw.m_dClockOffset = 12.0;
    raw.m_dClockDrift = 0.5;
    raw.m_nGPSWeek = 2300;
    for (int prn = 1; prn <= 5; ++prn)
        ASSERT_TRUE(raw.AddSatelliteData(Mbn(prn, 100, 0.1, 5, 1.0)));

    raw.Clear();
    CGPSDataRaw fresh;
    fresh.m_Time = CTime(1700000000);
    EXPECT_EQ(raw.GetNumSV(), 0);
    ExpectSameEpoch(raw, fresh);  // every field and slot zero, the time kept
}

TEST(CGPSDataEphemeris, DefaultIsAllZeroSoNoWeek) {
    const CGPSDataEphemeris e;
    EXPECT_EQ(e.m_nPRN, 0);
    EXPECT_EQ(e.m_nWeek, 0);
    for (const std::int32_t v : {e.m_nTOW, e.m_nAODC, e.m_nToc, e.m_nAODE, e.m_nToe})
        EXPECT_EQ(v, 0);
    for (const double v : {e.m_dTgd, e.m_dAf2, e.m_dAf1, e.m_dAf0, e.m_dDeltaN, e.m_dM0, e.m_dE,
                           e.m_dRootA, e.m_dCic, e.m_dCrc, e.m_dCis, e.m_dCrs, e.m_dCuc, e.m_dCus,
                           e.m_dOmega0, e.m_dOmega, e.m_dI0, e.m_dOmegaDot, e.m_dIDot}) {
        EXPECT_EQ(v, 0.0);
    }
}

}  // namespace
}  // namespace tolvik
