// The position and status records handed to the host: one satellite, the receiver's reported
// settings, and one epoch.
//
// Units throughout: angles in radians (latitude south negative, longitude west negative, course
// counter-clockwise from east), heights and distances in metres, speed in metres per second,
// time of day in seconds since midnight UTC.
//
// The field order and widths are part of the host interface and are checked below. Time stamps
// are CTime, 64 bits wide (see CTime.h).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tolvik/platform/CTime.h"

namespace tolvik {

// Fix status codes of CGPSData::m_nFixStatus. The names are the keywords of the "GPSStatus" map.
enum : std::int32_t {
    UDF_SIGNAL_NONE = 0,           // no fix
    UDF_SIGNAL_GPS = 1,            // autonomous fix
    UDF_SIGNAL_CORRECTED_GPS = 2,  // differentially corrected fix
    UDF_SIGNAL_CALCULATED = 3,     // estimated (dead reckoning)
    UDF_SIGNAL_MANUAL = 4,         // manual input
    UDF_SIGNAL_RTK_CODE = 5,       // RTK code solution
    UDF_SIGNAL_RTK_FIXED = 6,      // RTK fixed ambiguities
    UDF_SIGNAL_RTK_FLOAT = 7,      // RTK float ambiguities
    UDF_SIGNAL_POSTPROCESSED = 8,  // post-processed
    UDF_SIGNAL_WAAS = 9,           // SBAS (WAAS) corrected
    UDF_SIGNAL_UNKNOWN = 10,       // unknown
};
inline constexpr int kFixStatusCount = 11;
// "UDF_SIGNAL_NONE" ... "UDF_SIGNAL_UNKNOWN" for codes 0-10; null for any other code.
const wchar_t* FixStatusName(int nFixStatus);

// On/off state of one output sentence as the receiver reported it.
enum NmeaMsgStatus : std::int32_t { NMEA_MSG_ON = 0, NMEA_MSG_OFF = 1, NMEA_MSG_UNKNOWN = 2 };

// Indices into CGPSStatusData::m_NmeaStatus.
enum : int {
    NMEA_INDEX_GGA = 0,
    NMEA_INDEX_GSA = 1,
    NMEA_INDEX_ZDA = 2,
    NMEA_INDEX_GLL = 3,
    NMEA_INDEX_VTG = 4,
    NMEA_INDEX_SAT = 5,
    NMEA_INDEX_GSV = 6,
    NMEA_STATUS_COUNT = 7,
};

// Source of differential corrections.
enum DgpsMode : std::int32_t {
    DGPS_MODE_NONE = 0,
    DGPS_MODE_BEACON = 1,
    DGPS_MODE_LBAND = 2,
    DGPS_MODE_WAAS = 3,
    DGPS_MODE_CDGPS = 4,
    DGPS_MODE_OMNISTAR = 5,
};

// Beacon tuning: 0 lets the beacon receiver search; any other value tunes to a given frequency.
enum BEACON_MODE_TYPE : std::int32_t { BEACON_MODE_AUTOMATIC = 0, BEACON_MODE_MANUAL = 1 };

// One satellite of the epoch's table; a slot with m_nPRN 0 is empty.
class CGPSSatelliteData {
public:
    CGPSSatelliteData() = default;
    CGPSSatelliteData(const CGPSSatelliteData&) = default;
    CGPSSatelliteData& operator=(const CGPSSatelliteData&) = default;

    double m_dElevation = 0.0;  // radians
    double m_dAzimuth = 0.0;    // radians
    std::int32_t m_nPRN = 0;
    bool m_bUsed = false;     // used in the solution (from GSA)
    bool m_bInView = false;   // listed by the current GSV cycle
    std::int32_t m_nSNR = 0;  // as reported
};

// The receiver's answers to status and settings queries.
class CGPSStatusData {
public:
    CGPSStatusData();
    CGPSStatusData(const CGPSStatusData& other);
    CGPSStatusData& operator=(const CGPSStatusData& other);
    virtual ~CGPSStatusData();

    // Marks every reply as not received: sets m_bElevMaskFlag, m_dOutputPeriod -1.0, every
    // m_NmeaStatus unknown, m_nLbandTuneMode 0, and clears m_bUpdated, the ...Valid flags of
    // beacon status, beacon mode, elevation mask, NMEA status, DGPS mode and reply text, and
    // m_bAckReceived. The reported values themselves, m_bBeaconAutoTune, m_bElevMaskSaved and
    // m_bPosModeValid stay.
    void Invalidate();

    bool m_bUpdated = false;            // a reply was processed since the last publication
    bool m_bBeaconStatusValid = false;  // "$CRMSS" / "$GPMSS" parsed
    std::int32_t m_nBeaconSignalStrength = 0;
    std::int32_t m_nBeaconSNR = 0;
    double m_dBeaconFrequency = 0.0;
    std::int32_t m_nBeaconBitRate = 0;
    bool m_bBeaconModeValid = false;  // "$CRMSK" / "$GPMSK" parsed
    bool m_bBeaconAutoTune = false;   // "A" automatic, "M" manual
    bool m_bElevMaskFlag = false;
    bool m_bElevMaskValid = false;
    std::int32_t m_nElevMask = 0;   // whole degrees
    bool m_bElevMaskSaved = false;  // "SAV:Y" / "SAV:N"
    bool m_bNmeaStatusValid = false;
    NmeaMsgStatus m_NmeaStatus[NMEA_STATUS_COUNT] = {};
    bool m_bPosModeValid = false;   // a complete "PMD:" line was parsed
    double m_dFixedAltitude = 0.0;  // "ALT:"
    std::int32_t m_nPosMode = 0;    // "PMD:"
    std::int32_t m_nPDOPMask = 0;   // "PDP:"
    std::int32_t m_nHDOPMask = 0;   // "HDP:"
    std::int32_t m_nVDOPMask = 0;   // "VDP:"
    double m_dOutputPeriod = 0.0;   // seconds; -1.0 unknown
    bool m_bAckReceived = false;    // "$PASHR,ACK" seen
    bool m_bDgpsModeValid = false;
    DgpsMode m_nDgpsMode = DGPS_MODE_NONE;
    std::int32_t m_nLbandTuneMode = 0;  // 0 unknown, 1 automatic, 2 manual frequency
    bool m_bReplyTextValid = false;
    char m_szReplyText[80] = {};  // last information reply, NUL-terminated, <= 79 chars
};

// One epoch: position, quality, velocity, time, satellites, the last unhandled proprietary
// sentence and the reported settings.
class CGPSData {
public:
    static constexpr int kMaxSatellites = 12;
    static constexpr int kProprietaryLength = 79;

    CGPSData();
    CGPSData(const CGPSData& other);
    CGPSData& operator=(const CGPSData& other);
    ~CGPSData();

    // Zeroes the measurements (position to m_dPosError, satellites used and in view, fix status,
    // course, speed, UTC time, offsets), stamps m_Time with the current time and invalidates all
    // flags. The satellite table, m_szProprietary and m_Status stay.
    void Clear();
    // Clears the per-epoch flags; m_bSVInfoValid only when bAll.
    void Invalidate(bool bAll);

    double m_dLatitude = 0.0;   // radians, south negative
    double m_dLongitude = 0.0;  // radians, west negative
    double m_dAltitude = 0.0;   // metres, after antenna height and geoid handling
    double m_dHDOP = 0.0;
    double m_dPDOP = 0.0;
    double m_dVDOP = 0.0;
    double m_dMeanSNR = 0.0;    // mean SNR of the satellites used; 0 when none
    double m_dHorzError = 0.0;  // metres
    double m_dVertError = 0.0;  // metres
    double m_dPosError = 0.0;   // metres
    CTime m_Time;               // when cleared; on a published copy, when published
    CGPSSatelliteData m_Satellites[kMaxSatellites];
    std::int32_t m_nSatellitesUsed = 0;
    std::int32_t m_nSatellitesInView = 0;
    std::int32_t m_nFixStatus = UDF_SIGNAL_NONE;
    double m_dCourse = 0.0;  // radians counter-clockwise from east
    double m_dSpeed = 0.0;   // metres per second
    bool m_bPositionValid = false;
    bool m_bVelocityValid = false;
    bool m_bDOPValid = false;
    bool m_bSVInfoValid = false;
    bool m_bSatellitesChanged = false;
    bool m_bProprietaryValid = false;
    double m_dUTCTime = 0.0;      // seconds since midnight UTC
    double m_dNorthOffset = 0.0;  // metres north of the speed estimator's origin
    double m_dEastOffset = 0.0;   // metres east of the speed estimator's origin
    // First 79 characters (low 8 bits) of the last unhandled "$P" sentence, zero-filled. A
    // sentence of 79 characters or more leaves no terminator: read at most 79 bytes.
    char m_szProprietary[kProprietaryLength] = {};
    CGPSStatusData m_Status;
};

// What the host relies on: the value types copy bytewise, and the widths of their fields.
static_assert(std::is_standard_layout_v<CGPSSatelliteData>);
static_assert(std::is_trivially_copyable_v<CGPSSatelliteData>);
static_assert(sizeof(CGPSSatelliteData) == 32 && alignof(CGPSSatelliteData) == 8);
static_assert(sizeof(NmeaMsgStatus) == 4 && sizeof(DgpsMode) == 4);
static_assert(sizeof(CGPSStatusData::m_szReplyText) == 80);
static_assert(sizeof(CGPSData::m_szProprietary) == 79);
static_assert(std::is_polymorphic_v<CGPSStatusData> && !std::is_polymorphic_v<CGPSData>);

}  // namespace tolvik
