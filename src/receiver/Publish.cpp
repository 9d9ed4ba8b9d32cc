// Publishing: finished epochs go to the host's main window as heap copies, and the notification
// registry lets a host be called back synchronously on the reader thread.
#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "tolvik/platform/Host.h"
#include "tolvik/port/CAck.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

namespace {

// Below this a receiver at rest still reports a little speed and a wandering course; the host
// sees a standing receiver instead.
constexpr double kMinReportedSpeed = 0.3;  // metres per second

}  // namespace

bool CGPSReceiver::PostNewData(bool bForce) {
    std::lock_guard lock(SharedStateLock());
    const bool bNewPosition = m_GPSData.m_bPositionValid;
    const bool bPending = bNewPosition || bForce || m_GPSData.m_Status.m_bUpdated || m_GPSData.m_bProprietaryValid;
    if (!bPending) return false;

    std::unique_ptr<CGPSData> pCopy(new (std::nothrow) CGPSData(m_GPSData));
    if (!pCopy) return false;  // the epoch stays pending for the next message

    pCopy->m_Time = CTime::GetCurrentTime();
    pCopy->m_nSatellitesInView = std::max(pCopy->m_nSatellitesInView, pCopy->m_nSatellitesUsed);

    if (bNewPosition) {
        if (pCopy->m_dSpeed < kMinReportedSpeed) {
            pCopy->m_dSpeed = 0.0;
            pCopy->m_dCourse = 0.0;
        }
        // The next epoch starts; the satellites-in-view flag lasts until the next GSV group.
        m_GPSData.Invalidate(false);
    }
    if (m_GPSData.m_Status.m_bUpdated) m_GPSData.m_Status.Invalidate();

    CAck::OnNewGPSData(pCopy.get());
    // Without a main window the copy is freed by the post itself.
    PostRecordToMainWindow(WM_GPS_NEWDATA, std::move(pCopy));
    return true;
}

void CGPSReceiver::AddNotificationCallback(GPSNotificationType eType, GPSNotificationCallback pfnCallback,
                                           void* pUserData) {
    std::lock_guard lock(SharedStateLock());
    NotificationEntry entry;
    entry.m_Type = eType;
    entry.m_pfnCallback = pfnCallback;
    entry.m_pUserData = pUserData;
    m_NotificationCallbacks.SetAt(eType, entry);
}

bool CGPSReceiver::HasNotificationCallback(GPSNotificationType eType) {
    std::lock_guard lock(SharedStateLock());
    const NotificationEntry* pEntry = m_NotificationCallbacks.PLookup(eType);
    return pEntry && pEntry->m_pfnCallback;
}

void CGPSReceiver::BroadcastNotification(GPSNotificationType eType, CGPSNotification* pNotification) {
    NotificationEntry entry;
    {
        std::lock_guard lock(SharedStateLock());
        if (!m_NotificationCallbacks.Lookup(eType, entry) || !entry.m_pfnCallback) return;
    }
    // Host code: called from Parse, it runs once Parse has let go of the shared lock, before the
    // window message posted after it. A copy of the entry: the callback may register again for
    // its own kind while it runs.
    CallHost([entry, pNotification] { entry.m_pfnCallback(entry.m_Type, pNotification, entry.m_pUserData); });
}

}  // namespace tolvik
