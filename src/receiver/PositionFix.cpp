// Position fixes: the GGA sentence and its inertial twin INGGA.
//
// Both fill the position part of the current epoch: time of day, latitude and longitude, fix
// status, satellites used, HDOP and altitude (antenna height removed, geoid separation applied
// as the receiver is configured). The dispatcher then feeds the speed estimator and publishes.
#include <cmath>
#include <iterator>
#include <numbers>

#include "tolvik/framing/CParser.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

// The checksum after '*' becomes a field of its own, so the last data field ends cleanly.
constexpr const wchar_t* kSeparators = L",*";

constexpr double kOneSixtieth = 0.016666666666666666;
constexpr double kDegreesToRadians = std::numbers::pi / 180.0;

// GGA quality indicator -> fix status, for qualities 0 to 9. Receivers use 3 (PPS) and 8
// (simulator) for fixes that are as good as an autonomous one.
constexpr int kGGAQualityStatus[] = {
    UDF_SIGNAL_NONE,           // 0 invalid
    UDF_SIGNAL_GPS,            // 1 autonomous
    UDF_SIGNAL_CORRECTED_GPS,  // 2 differential
    UDF_SIGNAL_GPS,            // 3 PPS
    UDF_SIGNAL_RTK_FIXED,      // 4 RTK fixed
    UDF_SIGNAL_RTK_FLOAT,      // 5 RTK float
    UDF_SIGNAL_CALCULATED,     // 6 dead reckoning
    UDF_SIGNAL_MANUAL,         // 7 manual input
    UDF_SIGNAL_GPS,            // 8 simulation
    UDF_SIGNAL_WAAS,           // 9 SBAS
};

int GGAQualityStatus(int nQuality) {
    constexpr int kTableSize = static_cast<int>(std::size(kGGAQualityStatus));
    if (nQuality < 0 || nQuality >= kTableSize) return UDF_SIGNAL_GPS;
    return kGGAQualityStatus[nQuality];
}

// An inertial source either has no solution or an estimated one.
int INGGAQualityStatus(int nQuality) { return nQuality == 0 ? UDF_SIGNAL_NONE : UDF_SIGNAL_CALCULATED; }

// The "GPSStatus" map, when one was loaded, overrides the fixed table quality by quality; its
// "default" line, when it has one, covers the qualities it does not list.
int MapQuality(const CGPSReceiver& receiver, int nQuality, int (*fixedTable)(int)) {
    int nStatus = UDF_SIGNAL_NONE;
    if (receiver.m_bHasStatusMap && (receiver.m_StatusStrings.Lookup(nQuality, nStatus) ||
                                     receiver.m_StatusStrings.Lookup(CGPSReceiver::kStatusMapDefault, nStatus))) {
        return nStatus;
    }
    return fixedTable(nQuality);
}

// hhmmss.ss -> seconds since midnight. Truncation on doubles keeps absurd inputs defined.
double UtcSeconds(double dTime) {
    const double dHours = std::trunc(dTime * 0.0001);
    const double dRest = dTime - dHours * 10000.0;
    const double dMinutes = std::trunc(dRest * 0.01);
    const double dSeconds = dRest - dMinutes * 100.0;
    return (dMinutes * 60.0 + dHours * 3600.0) + dSeconds;
}

double NmeaAngleToRadians(double dValue) {
    const double x = dValue * 0.01;
    const double dDegrees = std::trunc(x);  // toward zero: a negative angle keeps its sign
    const double dMinutes = (x - dDegrees) * 100.0;
    return (dMinutes * kOneSixtieth + dDegrees) * kDegreesToRadians;
}

// Reads an angle and its hemisphere letter. Only the exact positive letter counts as positive:
// a lower-case or missing letter reads as the negative hemisphere. The target changes only when
// both fields were read.
bool ReadAngle(CParser& parser, const wchar_t* pszPositive, double& dRadians) {
    double dValue = 0.0;
    CString strHemisphere;
    if (!parser.GetDouble(dValue) || !parser.GetNextString(strHemisphere)) return false;
    if (strHemisphere != CString(pszPositive)) dValue = -dValue;
    dRadians = NmeaAngleToRadians(dValue);
    return true;
}

bool IsMetres(const CString& strUnit) { return strUnit.CompareNoCase(L"M") == 0; }

// Fields 11 and 12. Geoid problems never fail the sentence: the altitude then simply stays
// without the correction. Mode 0 ignores the separation, 1 adds it (orthometric to ellipsoidal
// height), any other value subtracts it.
void ApplyGeoidSeparation(CParser& parser, int nGeoidMode, double& dAltitude) {
    parser.SetExceptionThrowing(false);
    if (nGeoidMode == 0) return;
    double dSeparation = 0.0;
    if (!parser.GetDouble(dSeparation)) return;
    CString strUnit;
    if (!parser.GetNextString(strUnit) || !IsMetres(strUnit)) return;
    if (nGeoidMode == 1) {
        dAltitude += dSeparation;
    } else {
        dAltitude -= dSeparation;
    }
}

}  // namespace

double CGPSReceiver::GPSPosToRadians(double dValue) { return NmeaAngleToRadians(dValue); }

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
//  1 UTC time hhmmss.ss
//  2 latitude ddmm.mmmm            3 hemisphere "N" or "S"
//  4 longitude dddmm.mmmm          5 hemisphere "E" or "W"
//  6 fix quality                   7 satellites used
//  8 HDOP
//  9 altitude above mean sea level 10 its unit, "M"
// 11 geoid separation              12 its unit, "M" (read only when the geoid mode asks)
bool CGPSReceiver::ProcessGGA(CString& strMessage) {
    m_GPSData.m_nFixStatus = UDF_SIGNAL_NONE;
    m_GPSData.m_bPositionValid = true;
    try {
        CParser parser = CParser::Borrowing(strMessage, kSeparators, true);
        parser.SkipField();  // header

        double dTime = 0.0;
        parser.GetDouble(dTime);
        m_GPSData.m_dUTCTime = UtcSeconds(dTime);

        ReadAngle(parser, L"N", m_GPSData.m_dLatitude);
        ReadAngle(parser, L"E", m_GPSData.m_dLongitude);

        int nQuality = 0;
        parser.GetInt(nQuality);
        m_GPSData.m_nFixStatus = MapQuality(*this, nQuality, GGAQualityStatus);

        parser.GetInt(m_GPSData.m_nSatellitesUsed);
        if (m_GPSData.m_nSatellitesUsed < m_nMinSatellites) {
            m_GPSData.m_nFixStatus = UDF_SIGNAL_NONE;
        }

        parser.GetDouble(m_GPSData.m_dHDOP);
        m_GPSData.m_bDOPValid = true;

        // An altitude in another unit (feet) is not taken as metres: the sentence fails.
        double dAltitude = 0.0;
        CString strUnit;
        parser.GetDouble(dAltitude);
        parser.GetNextString(strUnit);
        if (!IsMetres(strUnit)) return false;
        dAltitude -= m_dAntennaHeight;

        ApplyGeoidSeparation(parser, m_nGeoidMode, dAltitude);
        m_GPSData.m_dAltitude = dAltitude;
        return true;
    } catch (const CParserException&) {
        return false;
    }
}

// $INGGA,194104,4426.1138,N,07140.5536,W,2,10,0.9,267.9,M,,,,*13
// The fields of GGA. An inertial or dead-reckoning source leaves fields empty that a GPS fills,
// so only the position and quality (fields 2 to 6) and the altitude unit must be readable; an
// unreadable time, satellite count, HDOP or altitude keeps the previous value.
bool CGPSReceiver::ProcessINGGA(CString& strMessage) {
    m_GPSData.m_nFixStatus = UDF_SIGNAL_NONE;
    m_GPSData.m_bPositionValid = true;
    try {
        CParser parser = CParser::Borrowing(strMessage, kSeparators, false);
        parser.SkipField();  // header

        double dTime = 0.0;
        if (parser.GetDouble(dTime)) m_GPSData.m_dUTCTime = UtcSeconds(dTime);

        parser.SetExceptionThrowing(true);
        ReadAngle(parser, L"N", m_GPSData.m_dLatitude);
        ReadAngle(parser, L"E", m_GPSData.m_dLongitude);

        int nQuality = 0;
        parser.GetInt(nQuality);
        m_GPSData.m_nFixStatus = MapQuality(*this, nQuality, INGGAQualityStatus);
        parser.SetExceptionThrowing(false);

        parser.GetInt(m_GPSData.m_nSatellitesUsed);
        m_GPSData.m_bDOPValid = parser.GetDouble(m_GPSData.m_dHDOP);

        double dAltitude = 0.0;
        const bool bHaveAltitude = parser.GetDouble(dAltitude);
        CString strUnit;
        parser.SetExceptionThrowing(true);
        parser.GetNextString(strUnit);
        if (!IsMetres(strUnit)) return false;
        parser.SetExceptionThrowing(false);

        // Without an altitude of its own the epoch keeps the last one, already corrected:
        // applying the antenna height again would walk it down with every sentence.
        if (!bHaveAltitude) return true;
        dAltitude -= m_dAntennaHeight;
        ApplyGeoidSeparation(parser, m_nGeoidMode, dAltitude);
        m_GPSData.m_dAltitude = dAltitude;
        return true;
    } catch (const CParserException&) {
        return false;
    }
}

}  // namespace tolvik
