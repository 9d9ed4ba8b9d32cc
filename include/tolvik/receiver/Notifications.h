// How the library reaches its host on its own initiative: window messages with owned payloads,
// and notification callbacks.
#pragma once

#include <cstdint>
#include <vector>

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
// WM_GPS_BINARY: wParam 0. With CGPSReceiver::SetBinaryRecordCopies(true), lParam is a heap
// CGPSBinaryRecord* (below) owned by the receiving window; otherwise lParam is 0 and the words of
// the last record wait in the receiver's m_BinaryMessage.
inline constexpr UINT WM_GPS_BINARY = 0x800E;

// Our own numbering, after the messages above. wParam GPS_DEVICE_LOST when the port reported a
// read error or a hang-up (USB adapter pulled, terminal closed), GPS_DEVICE_BACK when the engine
// could open it again (it tries about once a second); lParam 0, no payload.
inline constexpr UINT WM_GPS_DEVICE = 0x8010;
inline constexpr WPARAM GPS_DEVICE_LOST = 0;
inline constexpr WPARAM GPS_DEVICE_BACK = 1;

// One binary record ("$BIN" block or AA 44 12 record) as little-endian 16-bit words.
struct CGPSBinaryRecord {
    std::vector<WORD> m_Words;
};

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

using GPSNotificationCallback = void (*)(GPSNotificationType eType, CGPSNotification* pNotification, void* pUserData);

struct NotificationEntry {
    GPSNotificationType m_Type = GPS_NOTIFY_EPHEMERIS;
    GPSNotificationCallback m_pfnCallback = nullptr;  // may be null: the kind is silent
    void* m_pUserData = nullptr;                      // handed back unchanged
};

}  // namespace tolvik
