#include "RawEpochLog.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace tolvik::tool {

namespace {
constexpr double kSecondsPerWeek = 604800.0;
}  // namespace

CRawEpochLog::~CRawEpochLog() { CRawEpochLog::Close(); }

bool CRawEpochLog::Open() {
    Close();
    m_strError.clear();
    if (m_strFilename.IsEmpty()) return false;
    m_pFile = std::fopen(m_strFilename.ToBytes().c_str(), "we");
    if (!m_pFile) {
        m_strError = m_strFilename.ToBytes() + ": " + std::strerror(errno);
        return false;
    }
    m_nEpochs = 0;
    m_dLastEpochTime = -1.0;
    Written(std::fprintf(m_pFile, "# tolvik raw epoch log 1\n# antenna-height %.4f\n# port %s\n# interval %.3f\n",
                         m_dAntennaHeight, m_strPort.ToBytes().c_str(), m_dLogInterval) >= 0 &&
            std::fflush(m_pFile) == 0);
    SetTimeMark();
    return true;
}

void CRawEpochLog::Close() {
    if (!m_pFile) return;
    const bool closed = std::fclose(m_pFile) == 0;
    m_pFile = nullptr;
    Written(closed);
}

bool CRawEpochLog::Written(bool ok) {
    if (!ok && m_strError.empty()) m_strError = m_strFilename.ToBytes() + ": write failed: " + std::strerror(errno);
    return ok;
}

bool CRawEpochLog::LogEpoch(const CGPSDataRaw& e) {
    if (!m_pFile || !m_strError.empty() || !e.m_bPositionValid) return false;
    // Keep the interval between written epochs; a time going backwards (a new week, a receiver
    // restart) starts the count again.
    if (m_dLastEpochTime >= 0.0) {
        double dt = e.m_dReceiverTime - m_dLastEpochTime + (e.m_nGPSWeek - m_nLastEpochWeek) * kSecondsPerWeek;
        if (dt >= 0.0 && dt + 1e-6 < m_dLogInterval) return false;
    }
    m_dLastEpochTime = e.m_dReceiverTime;
    m_nLastEpochWeek = e.m_nGPSWeek;
    bool ok = std::fprintf(m_pFile, "EPOCH %d %.3f %.9f %.10f %.10f %.4f %.4f %.4f %d\n", e.m_nGPSWeek,
                           e.m_dReceiverTime, e.m_dCorrectedTime, e.m_dLatitude, e.m_dLongitude, e.m_dHeight,
                           e.m_dClockOffset, e.m_dClockDrift, e.m_nNumSV) >= 0;
    for (int i = 0; i < e.m_nNumSV && i < CGPSDataRaw::kSlots; ++i) {
        const auto& sv = e.m_Satellites[i];
        ok = std::fprintf(m_pFile, "SV %d %d %.4f %.4f %.4f\n", sv.m_nPRN, sv.m_nTag, sv.m_dRange, sv.m_dPhase,
                          sv.m_dDoppler) >= 0 &&
             ok;
    }
    if (!Written(ok && std::fflush(m_pFile) == 0)) return false;
    ++m_nEpochs;
    return true;
}

bool CRawEpochLog::LogEphemeris(const CGPSDataEphemeris& e) {
    if (!m_pFile || !m_strError.empty() || e.m_nWeek < 1) return false;
    const bool ok =
        std::fprintf(m_pFile,
                     "EPH %d %d %d %d %d %.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g "
                     "%.15g %.15g %.15g %.15g %.15g %.15g %d %d\n",
                     e.m_nPRN, e.m_nWeek, e.m_nTOW, e.m_nToc, e.m_nToe, e.m_dAf0, e.m_dAf1, e.m_dAf2, e.m_dTgd, e.m_dM0,
                     e.m_dE, e.m_dRootA, e.m_dDeltaN, e.m_dOmega0, e.m_dOmega, e.m_dI0, e.m_dOmegaDot, e.m_dIDot,
                     e.m_dCic, e.m_dCis, e.m_dCrc, e.m_dCrs, e.m_dCuc, e.m_dCus, e.m_nAODE, e.m_nAODC) >= 0;
    return Written(ok && std::fflush(m_pFile) == 0);
}

}  // namespace tolvik::tool
