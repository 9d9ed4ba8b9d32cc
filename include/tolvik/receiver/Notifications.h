// How the library reaches its host on its own initiative: window messages with owned payloads,
// and notification callbacks.
#pragma once

#include <cstdint>

#include "tolvik/platform/Types.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik {

// Messages posted to the host's main window (lParam is always 0). A wParam record is a new heap
// object owned by the window that receives it, which deletes it as the type given.
inline constexpr UINT WM_GPS_NEWDATA = 0x800A;     // CGPSData*: copy of the current epoch
inline constexpr UINT WM_GPS_RAWSTRING = 0x800B;   // CString*: one framed message as received
inline constexpr UINT WM_GPS_NEWDATARAW = 0x800C;  // CGPSDataRaw*: a raw measurement epoch
inline constexpr UINT WM_GPS_EPHEMERIS = 0x800D;   // CGPSDataEphemeris*: one ephemeris
inline constexpr UINT WM_GPS_BINARY = 0x800E;      // 0: the words wait in the receiver's m_BinaryMessage

// Notification kinds. The library raises GPS_NOTIFY_EPHEMERIS only; any other value may be
// registered and tested but is never raised.
enum GPSNotificationType : std::int32_t {
    GPS_NOTIFY_POSITION = 1,
    GPS_NOTIFY_PROPRIETARY = 2,
    GPS_NOTIFY_EPHEMERIS = 3,
    GPS_NOTIFY_RAW = 4,
};

// What a callback receives. The receiver builds it once; the library does not update these
// records after construction, so callbacks and the GetLast... accessors see cleared records.
struct CGPSNotification {
    CGPSData m_LastPosition;
    CGPSData m_LastProprietary;
    CGPSDataRaw m_LastRaw;
    CGPSDataEphemeris m_LastEphemeris;
};

using GPSNotificationCallback = void (*)(GPSNotificationType eType, CGPSNotification* pNotification,
                                         void* pUserData);

struct NotificationEntry {
    GPSNotificationType m_Type = GPS_NOTIFY_EPHEMERIS;
    GPSNotificationCallback m_pfnCallback = nullptr;  // may be null: the kind is silent
    void* m_pUserData = nullptr;                      // handed back unchanged
};

}  // namespace tolvik
