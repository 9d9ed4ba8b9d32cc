#include "tolvik/records/GPSDataRaw.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tolvik {
namespace {

// clang-format off
DataRecord_G12_MBN Mbn(int prn, std::int32_t tag, double time, std::int32_t doppler, double phase) {
    return {.m_Head = {1, 0, static_cast<std::uint8_t>(prn)}, .m_nTag = tag, .m_Flags = {0, 24},
            .m_dTime = time, .m_nDoppler = doppler, .m_dPhase = phase, .m_Unused = {},
            .m_nChecksum = 0};
}
DataRecord_G12_MCA Mca(int prn, std::int32_t doppler, double phase) {
    return {.m_Reserved1 = {}, .m_nPRN = static_cast<std::uint8_t>(prn), .m_Reserved2 = {},
            .m_dPhase = phase, .m_Reserved3 = {}, .m_nDoppler = doppler, .m_Reserved4 = {}};
}
// clang-format on

// The fields of a slot and of an epoch, to compare them field by field.
auto Fields(const CGPSSatelliteDataRaw& s) {
    return std::tuple(s.m_nPRN, s.m_nTag, s.m_dRange, s.m_dPhase, s.m_dDoppler, s.m_dReserved1, s.m_dReserved2,
                      s.m_bValid);
}
auto Fields(const CGPSDataRaw& r) {
    return std::tuple(r.m_dLatitude, r.m_dLongitude, r.m_dHeight, r.m_dReserved, r.m_bPositionValid, r.m_bReserved,
                      r.m_bLastRecord, r.m_dReceiverTime, r.m_dCorrectedTime, r.m_dClockOffset, r.m_dClockDrift,
                      r.m_nGPSWeek, r.m_nNumSV);
}

// Phase and Doppler have opposite signs in the two kinds; an MCA keeps the MBN's tag and range.
TEST(CGPSDataRaw, AddSatelliteDataKeepsTheSignConventionsOfEachRecordKind) {
    CGPSDataRaw raw;
    // The second MCA for PRN 9 replaces its phase and Doppler; MCA numbers are unsigned.
    ASSERT_TRUE(
        raw.AddSatelliteData(Mbn(5, 1999, 0.07, 12345, 100.25)) && raw.AddSatelliteData(Mca(200, -12345, -100.25)) &&
        raw.AddSatelliteData(Mbn(7, -2999, -0.5, -1, -1.0)) && raw.AddSatelliteData(Mbn(9, 500, 0.1, 10, 1.0)) &&
        raw.AddSatelliteData(Mca(9, 20, 2.0)) && raw.AddSatelliteData(Mca(255, 1, 1.0)));
    ASSERT_EQ(raw.GetNumSV(), 5);
    // PRN, tag (x 0.002 truncated toward zero), range, phase, Doppler, reserved, reserved, valid
    const decltype(Fields(CGPSSatelliteDataRaw())) expected[] = {
        {5, 3, 0.07 * 299792458.0, -100.25, 12345 * -0.0001, 0.0, 0.0, true},
        {200, 0, 0.0, -100.25, -12345 * 0.0001, 0.0, 0.0, true},
        {7, -5, -0.5 * 299792458.0, 1.0, -1 * -0.0001, 0.0, 0.0, true},
        {9, 1, 0.1 * 299792458.0, 2.0, 20 * 0.0001, 0.0, 0.0, true},
        {255, 0, 0.0, 1.0, 1 * 0.0001, 0.0, 0.0, true},
    };
    for (int i = 0; i < 5; ++i) {
        CGPSSatelliteDataRaw s;
        ASSERT_TRUE(raw.GetSatelliteData(s, i));
        EXPECT_EQ(Fields(s), expected[i]) << i;
    }
    CGPSSatelliteDataRaw out;
    out.m_nPRN = 77;
    for (const int index : {-1, 5, 11, 12}) EXPECT_FALSE(raw.GetSatelliteData(out, index)) << index;
    EXPECT_EQ(out.m_nPRN, 77);
}

// At most 11 satellites: then every record is refused, even for one held; so are PRNs below 1.
TEST(CGPSDataRaw, RefusedRecordsChangeNothingAndClearEmptiesAllButTheTime) {
    CGPSDataRaw raw;
    EXPECT_FALSE(raw.AddSatelliteData(Mbn(0, 1, 1.0, 1, 1.0)) || raw.AddSatelliteData(Mbn(-1, 1, 1.0, 1, 1.0)) ||
                 raw.AddSatelliteData(Mca(0, 1, 1.0)) || raw.GetNumSV() != 0);
    for (int prn = 1; prn <= 11; ++prn) ASSERT_TRUE(raw.AddSatelliteData(Mbn(prn, 0, 0.1, 0, 0.0))) << prn;
    const CGPSDataRaw before = raw;
    EXPECT_FALSE(raw.AddSatelliteData(Mbn(12, 0, 0.1, 0, 0.0)) || raw.AddSatelliteData(Mca(12, 0, 0.0)) ||
                 raw.AddSatelliteData(Mbn(3, 500, 0.9, 9, 9.0)) || raw.AddSatelliteData(Mca(3, 9, 9.0)) ||
                 raw.GetNumSV() != 11);
    for (int i = 0; i < CGPSDataRaw::kSlots; ++i)
        EXPECT_EQ(Fields(raw.m_Satellites[i]), Fields(before.m_Satellites[i])) << i;

    EXPECT_EQ(raw.m_Time.GetTime(), 0);  // Clear empties everything but the time
    raw.m_Time = CTime(1700000000);
    raw.m_dLatitude = raw.m_dLongitude = raw.m_dHeight = raw.m_dReceiverTime = 47.0;
    raw.m_dCorrectedTime = raw.m_dClockOffset = raw.m_dClockDrift = 0.5;
    raw.m_bPositionValid = raw.m_bLastRecord = true;
    raw.m_nGPSWeek = 2300;
    raw.Clear();
    EXPECT_EQ(raw.m_Time.GetTime(), 1700000000);
    const CGPSDataRaw fresh;
    EXPECT_EQ(Fields(raw), Fields(fresh));
    for (const CGPSSatelliteDataRaw& slot : raw.m_Satellites) EXPECT_EQ(Fields(slot), Fields(fresh.m_Satellites[0]));
}

}  // namespace
}  // namespace tolvik
