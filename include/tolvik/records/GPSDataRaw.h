// Raw measurement and ephemeris records for post-processing.
//
// CGPSDataRaw holds one measurement epoch (the receiver's position and clock and up to 11
// satellites); CGPSDataEphemeris one satellite's broadcast ephemeris. DataRecord_G12_MBN and
// DataRecord_G12_MCA are decoded forms of one satellite's raw measurement as two kinds of
// receiver record send it; they give Doppler and phase with opposite signs, and the two
// AddSatelliteData overloads keep that difference.
//
// All types are plain values without virtual functions that copy bytewise; their field order
// and widths are part of the host interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "tolvik/platform/CTime.h"

namespace tolvik {

// The decoded MBN record (multi-byte values already in host order).
struct DataRecord_G12_MBN {
    std::uint8_t m_Head[4];  // [0] must be 1; [1] 0 on the epoch's last record; [2] satellite (signed)
    std::int32_t m_nTag;
    std::uint8_t m_Flags[4];  // [1] must be 24
    double m_dTime;           // range as a time, seconds, after the wrap
    std::int32_t m_nDoppler;  // 0.0001 Hz, receiver's sign
    double m_dPhase;          // cycles, receiver's sign
    std::uint8_t m_Unused[8];
    std::int16_t m_nChecksum;
};

// The decoded MCA record. The library reads the satellite number, the phase and the Doppler.
struct DataRecord_G12_MCA {
    std::uint8_t m_Reserved1[3];
    std::uint8_t m_nPRN;
    std::uint8_t m_Reserved2[12];
    double m_dPhase;  // cycles
    std::uint8_t m_Reserved3[8];
    std::int32_t m_nDoppler;  // 0.0001 Hz
    std::uint8_t m_Reserved4[4];
};

class CGPSSatelliteDataRaw {
public:
    CGPSSatelliteDataRaw() = default;
    void Clear() { *this = CGPSSatelliteDataRaw(); }

    std::int32_t m_nPRN = 0;  // 0 in a slot not in use
    std::int32_t m_nTag = 0;  // MBN tag x 0.002, truncated toward zero
    double m_dRange = 0.0;    // metres: MBN time x speed of light
    double m_dPhase = 0.0;    // cycles
    double m_dDoppler = 0.0;  // hertz
    double m_dReserved1 = 0.0;
    double m_dReserved2 = 0.0;
    bool m_bValid = false;  // filled by AddSatelliteData
};

class CGPSDataRaw {
public:
    static constexpr int kSlots = 12;
    static constexpr int kMaxSatellites = 11;  // AddSatelliteData refuses a 12th

    CGPSDataRaw() { Clear(); }

    // Zeroes everything from m_dLatitude through m_nGPSWeek and empties the slots; m_Time stays.
    void Clear();
    // Adds or replaces the measurement of one satellite; false (nothing changed) for satellite
    // number 0 (MCA) or below 1 (MBN), or when 11 satellites are already held.
    bool AddSatelliteData(const DataRecord_G12_MCA& record);
    bool AddSatelliteData(const DataRecord_G12_MBN& record);
    // Copies slot nIndex (0 <= nIndex < m_nNumSV); otherwise false and the output is untouched.
    bool GetSatelliteData(CGPSSatelliteDataRaw& out, int nIndex) const;
    int GetNumSV() const { return m_nNumSV; }

    CTime m_Time;               // on a posted copy, the moment of posting
    double m_dLatitude = 0.0;   // degrees
    double m_dLongitude = 0.0;  // degrees
    double m_dHeight = 0.0;     // metres above the ellipsoid
    double m_dReserved = 0.0;
    bool m_bPositionValid = false;  // a good PBN record filled position and clock
    bool m_bReserved = false;
    bool m_bLastRecord = false;     // the last MBN taken was the last of its epoch
    double m_dReceiverTime = 0.0;   // seconds of the GPS week
    double m_dCorrectedTime = 0.0;  // receiver time minus the clock offset in seconds
    double m_dClockOffset = 0.0;    // metres
    double m_dClockDrift = 0.0;     // metres per second
    std::int32_t m_nGPSWeek = 0;
    CGPSSatelliteDataRaw m_Satellites[kSlots];
    std::int32_t m_nNumSV = 0;

private:
    int SlotFor(int nPRN) const;
};

class CGPSDataEphemeris {
public:
    CGPSDataEphemeris() = default;

    std::int16_t m_nPRN = 0;   // 1-based
    std::int16_t m_nWeek = 0;  // 0 or less: none
    std::int32_t m_nTOW = 0;
    double m_dTgd = 0.0;
    std::int32_t m_nAODC = 0;
    std::int32_t m_nToc = 0;
    double m_dAf2 = 0.0;
    double m_dAf1 = 0.0;
    double m_dAf0 = 0.0;
    std::int32_t m_nAODE = 0;
    double m_dDeltaN = 0.0;
    double m_dM0 = 0.0;
    double m_dE = 0.0;
    double m_dRootA = 0.0;
    std::int32_t m_nToe = 0;
    double m_dCic = 0.0;
    double m_dCrc = 0.0;
    double m_dCis = 0.0;
    double m_dCrs = 0.0;
    double m_dCuc = 0.0;
    double m_dCus = 0.0;
    double m_dOmega0 = 0.0;
    double m_dOmega = 0.0;
    double m_dI0 = 0.0;
    double m_dOmegaDot = 0.0;
    double m_dIDot = 0.0;
};

static_assert(std::is_standard_layout_v<CGPSSatelliteDataRaw> && std::is_trivially_copyable_v<CGPSSatelliteDataRaw>);
static_assert(std::is_standard_layout_v<CGPSDataRaw> && std::is_trivially_copyable_v<CGPSDataRaw>);
static_assert(std::is_standard_layout_v<CGPSDataEphemeris> && std::is_trivially_copyable_v<CGPSDataEphemeris>);
static_assert(std::is_standard_layout_v<DataRecord_G12_MBN> && std::is_trivially_copyable_v<DataRecord_G12_MBN>);
static_assert(std::is_standard_layout_v<DataRecord_G12_MCA> && std::is_trivially_copyable_v<DataRecord_G12_MCA>);
static_assert(sizeof(CGPSSatelliteDataRaw) == 56);
static_assert(offsetof(DataRecord_G12_MCA, m_nPRN) == 3 && offsetof(DataRecord_G12_MCA, m_dPhase) == 16 &&
              offsetof(DataRecord_G12_MCA, m_nDoppler) == 32);
static_assert(offsetof(CGPSDataEphemeris, m_nWeek) == 2 && offsetof(CGPSDataEphemeris, m_nTOW) == 4);

// How the Ashtech-style raw records travel: a head such as "$PASHR,MBN,", a fixed-size
// big-endian payload whose last two bytes are the 16-bit sum of the big-endian words before
// them, then CR LF. Framing keeps the record up to its CR and skips the LF.
namespace pashr {
inline constexpr int kHeadBytes = 11;  // "$PASHR,MBN,"
inline constexpr int kMbnPayloadBytes = 42;
inline constexpr int kPbnPayloadBytes = 56;
inline constexpr int kSnvPayloadBytes = 132;
// Bytes a framed record holds: head, payload and the CR.
constexpr int FramedBytes(int nPayloadBytes) { return kHeadBytes + nPayloadBytes + 1; }
// Words the checksum covers: the whole payload but the checksum itself.
constexpr int ChecksumWords(int nPayloadBytes) { return nPayloadBytes / 2 - 1; }
inline constexpr int kMbnFramedBytes = FramedBytes(kMbnPayloadBytes);  // 54
inline constexpr int kPbnFramedBytes = FramedBytes(kPbnPayloadBytes);  // 68
inline constexpr int kSnvFramedBytes = FramedBytes(kSnvPayloadBytes);  // 144
}  // namespace pashr

}  // namespace tolvik
