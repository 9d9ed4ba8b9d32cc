// CSpeedEngine: course and speed estimated from successive fixed positions, for receivers that
// send no VTG.
//
// Averaging the last three epochs before differencing smooths the jitter of single fixes at the
// walking speeds of field work; the price is a lag of about one epoch.
#include "tolvik/receiver/CSpeedEngine.h"

#include <cmath>
#include <new>
#include <numbers>

namespace tolvik {

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kSecondsPerDay = 86400.0;

}  // namespace

CSpeedEngine::CSpeedEngine() : CPtrList(10) { Reset(); }

CSpeedEngine::~CSpeedEngine() { DeleteAll(); }

bool CSpeedEngine::Update(CGPSData& data) {
    if (data.m_nFixStatus == UDF_SIGNAL_NONE) return false;

    if (m_dLonScale == 0.0) {
        m_dLonScale = std::cos(data.m_dLatitude) * kEarthRadius;
        m_dOriginLat = data.m_dLatitude;
        m_dOriginLon = data.m_dLongitude;
    }
    // Flat local grid around the origin: good enough over the few metres between epochs.
    data.m_dNorthOffset = (data.m_dLatitude - m_dOriginLat) * kEarthRadius;
    data.m_dEastOffset = (data.m_dLongitude - m_dOriginLon) * m_dLonScale;

    AddPosition(data);

    double dt = m_dNewTime - m_dOldTime;
    if (dt < 0.0) dt += kSecondsPerDay;  // the newer epoch is past midnight
    // Also refuses a NaN step: course and speed keep their previous values.
    if (!(dt > 0.0)) return false;

    data.m_dSpeed = Distance(m_dNewEast, m_dNewNorth, m_dOldEast, m_dOldNorth) / dt;
    data.m_dCourse = Direction(m_dNewNorth - m_dOldNorth, m_dNewEast - m_dOldEast);
    data.m_bVelocityValid = true;
    return true;
}

void CSpeedEngine::AddPosition(const CGPSData& data) {
    const int nBefore = GetCount();
    double dSumNorth = 0.0;
    double dSumEast = 0.0;
    if (nBefore == 0) {
        m_dOldNorth = data.m_dNorthOffset;
        m_dOldEast = data.m_dEastOffset;
        m_dOldTime = data.m_dUTCTime;
    } else {
        POSITION pos = GetHeadPosition();
        while (pos != nullptr) {
            const auto* pEpoch = static_cast<const CGPSData*>(GetNext(pos));
            dSumNorth += pEpoch->m_dNorthOffset;
            dSumEast += pEpoch->m_dEastOffset;
        }
        const double dScale = 1.0 / nBefore;
        m_dOldNorth = dSumNorth * dScale;
        m_dOldEast = dSumEast * dScale;
        m_dOldTime = static_cast<const CGPSData*>(GetTail())->m_dUTCTime;
    }

    // Without memory for the copy the epoch still counts in this step's mean, it is just not
    // kept for the next ones: the window is short by one until it refills.
    CGPSData* pCopy = new (std::nothrow) CGPSData(data);
    if (pCopy != nullptr) AddTail(pCopy);
    int nCount = GetCount() + (pCopy != nullptr ? 0 : 1);

    while (nCount > kWindow && !IsEmpty()) {
        const auto* pOldest = static_cast<const CGPSData*>(RemoveHead());
        dSumNorth -= pOldest->m_dNorthOffset;
        dSumEast -= pOldest->m_dEastOffset;
        delete pOldest;
        --nCount;
    }

    const double dScale = 1.0 / nCount;
    m_dNewNorth = (dSumNorth + data.m_dNorthOffset) * dScale;
    m_dNewEast = (dSumEast + data.m_dEastOffset) * dScale;
    m_dNewTime = data.m_dUTCTime;

    if (nBefore == 0) {
        // A single epoch: no displacement and no time step yet.
        m_dOldTime = m_dNewTime;
        m_dOldNorth = m_dNewNorth;
        m_dOldEast = m_dNewEast;
    }
}

void CSpeedEngine::Reset() {
    m_dLonScale = 0.0;
    m_dOriginLat = 0.0;
    m_dOriginLon = 0.0;
    m_dNewTime = 0.0;
    m_dNewNorth = 0.0;
    m_dNewEast = 0.0;
    m_dOldTime = 0.0;
    m_dOldNorth = 0.0;
    m_dOldEast = 0.0;
    DeleteAll();
}

void CSpeedEngine::DeleteAll() {
    while (!IsEmpty()) delete static_cast<CGPSData*>(RemoveHead());
}

double CSpeedEngine::Distance(double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    return std::sqrt(dx * dx + dy * dy);
}

double CSpeedEngine::Direction(double dNorth, double dEast) {
    if (dEast == 0.0) {
        if (dNorth == 0.0) return 0.0;
        return dNorth > 0.0 ? kHalfPi : -kHalfPi;
    }
    const double t = std::fabs(std::atan(dNorth / dEast));
    if (dNorth > 0.0) return dEast > 0.0 ? t : std::numbers::pi - t;
    return dEast > 0.0 ? -t : t - std::numbers::pi;
}

}  // namespace tolvik
