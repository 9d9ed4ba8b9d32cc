#include "tolvik/records/GPSDataRaw.h"

namespace tolvik {

namespace {
constexpr double kSpeedOfLight = 299792458.0;  // m/s
constexpr double kTagScale = 0.002;
constexpr double kDopplerUnit = 0.0001;  // Hz per count
}  // namespace

void CGPSDataRaw::Clear() {
    m_dLatitude = m_dLongitude = m_dHeight = 0.0;
    m_dReserved = 0.0;
    m_bPositionValid = m_bReserved = m_bLastRecord = false;
    m_dReceiverTime = m_dCorrectedTime = 0.0;
    m_dClockOffset = m_dClockDrift = 0.0;
    m_nGPSWeek = 0;
    m_nNumSV = 0;
    for (auto& slot : m_Satellites) slot.Clear();
}

int CGPSDataRaw::SlotFor(int nPRN) const {
    for (int i = 0; i < m_nNumSV; ++i) {
        if (m_Satellites[i].m_nPRN == nPRN) return i;
    }
    return m_nNumSV;
}

bool CGPSDataRaw::AddSatelliteData(const DataRecord_G12_MCA& record) {
    const int prn = record.m_nPRN;
    if (prn == 0 || m_nNumSV > kMaxSatellites - 1) return false;
    const int slot = SlotFor(prn);
    CGPSSatelliteDataRaw& s = m_Satellites[slot];
    s.m_nPRN = prn;
    s.m_dPhase = record.m_dPhase;
    s.m_dDoppler = record.m_nDoppler * kDopplerUnit;
    s.m_bValid = true;
    if (slot == m_nNumSV) ++m_nNumSV;
    return true;
}

bool CGPSDataRaw::AddSatelliteData(const DataRecord_G12_MBN& record) {
    const int prn = static_cast<std::int8_t>(record.m_Head[2]);
    if (prn < 1 || m_nNumSV > kMaxSatellites - 1) return false;
    const int slot = SlotFor(prn);
    CGPSSatelliteDataRaw& s = m_Satellites[slot];
    s.m_nPRN = prn;
    s.m_nTag = static_cast<std::int32_t>(record.m_nTag * kTagScale);
    s.m_dRange = record.m_dTime * kSpeedOfLight;
    s.m_dPhase = -record.m_dPhase;
    s.m_dDoppler = record.m_nDoppler * -kDopplerUnit;
    s.m_bValid = true;
    if (slot == m_nNumSV) ++m_nNumSV;
    return true;
}

bool CGPSDataRaw::GetSatelliteData(CGPSSatelliteDataRaw& out, int nIndex) const {
    if (nIndex < 0 || nIndex >= m_nNumSV) return false;
    out = m_Satellites[nIndex];
    return true;
}

}  // namespace tolvik
