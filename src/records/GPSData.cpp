#include "tolvik/records/GPSData.h"

#include <cstring>

namespace tolvik {

namespace {

constexpr const wchar_t* kFixStatusNames[kFixStatusCount] = {
    L"UDF_SIGNAL_NONE",          L"UDF_SIGNAL_GPS",      L"UDF_SIGNAL_CORRECTED_GPS", L"UDF_SIGNAL_CALCULATED",
    L"UDF_SIGNAL_MANUAL",        L"UDF_SIGNAL_RTK_CODE", L"UDF_SIGNAL_RTK_FIXED",     L"UDF_SIGNAL_RTK_FLOAT",
    L"UDF_SIGNAL_POSTPROCESSED", L"UDF_SIGNAL_WAAS",     L"UDF_SIGNAL_UNKNOWN",
};

}  // namespace

const wchar_t* FixStatusName(int nFixStatus) {
    return (nFixStatus >= 0 && nFixStatus < kFixStatusCount) ? kFixStatusNames[nFixStatus] : nullptr;
}

// ---- CGPSStatusData

CGPSStatusData::CGPSStatusData() {
    Invalidate();
    m_szReplyText[0] = '\0';
}

CGPSStatusData::CGPSStatusData(const CGPSStatusData& other) = default;
CGPSStatusData& CGPSStatusData::operator=(const CGPSStatusData& other) = default;
CGPSStatusData::~CGPSStatusData() = default;

void CGPSStatusData::Invalidate() {
    m_bElevMaskFlag = true;
    m_dOutputPeriod = -1.0;
    for (auto& status : m_NmeaStatus) status = NMEA_MSG_UNKNOWN;
    m_nLbandTuneMode = 0;
    m_bUpdated = false;
    m_bBeaconStatusValid = false;
    m_bBeaconModeValid = false;
    m_bElevMaskValid = false;
    m_bNmeaStatusValid = false;
    m_bAckReceived = false;
    m_bDgpsModeValid = false;
    m_bReplyTextValid = false;
}

// ---- CGPSData

CGPSData::CGPSData() { Clear(); }

CGPSData::CGPSData(const CGPSData& other) = default;
CGPSData& CGPSData::operator=(const CGPSData& other) = default;
CGPSData::~CGPSData() = default;

void CGPSData::Clear() {
    m_dLatitude = m_dLongitude = m_dAltitude = 0.0;
    m_dHDOP = m_dPDOP = m_dVDOP = 0.0;
    m_dMeanSNR = 0.0;
    m_dHorzError = m_dVertError = m_dPosError = 0.0;
    m_nSatellitesUsed = 0;
    m_nSatellitesInView = 0;
    m_nFixStatus = UDF_SIGNAL_NONE;
    m_dCourse = 0.0;
    m_dSpeed = 0.0;
    m_dUTCTime = 0.0;
    m_dNorthOffset = 0.0;
    m_dEastOffset = 0.0;
    m_Time = CTime::GetCurrentTime();
    Invalidate(true);
}

void CGPSData::Invalidate(bool bAll) {
    m_bPositionValid = false;
    m_bVelocityValid = false;
    m_bDOPValid = false;
    m_bSatellitesChanged = false;
    m_bProprietaryValid = false;
    if (bAll) m_bSVInfoValid = false;
}

}  // namespace tolvik
