// Every catalogue model's Parse gets arbitrary messages: whatever bytes come off the line, no
// handler may crash, read outside the message, or let an exception out. The message reaches
// Parse as the engine hands it over: its bytes attached as raw data (binary handlers read them
// there) and its text up to the first zero byte with a line feed appended.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "tolvik/framing/CBinBuffer.h"

namespace tolvik::fuzz {

namespace {

void Count(GPSNotificationType, CGPSNotification* pNotification, void* pUserData) {
    // A callback that looks at what it gets, as hosts do.
    if (pNotification && pNotification->m_LastEphemeris.m_nPRN < 0) ++*static_cast<int*>(pUserData);
}

void RegisterCallbacks(CGPSReceiver* pReceiver) {
    static int calls = 0;
    if (pReceiver->HasNotificationCallback(GPS_NOTIFY_EPHEMERIS)) return;
    for (const auto kind : {GPS_NOTIFY_POSITION, GPS_NOTIFY_PROPRIETARY, GPS_NOTIFY_EPHEMERIS, GPS_NOTIFY_RAW}) {
        pReceiver->AddNotificationCallback(kind, Count, &calls);
    }
}

}  // namespace

int FuzzParse(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    CGPSReceiver* const pReceiver = ModelFor(data[0]);
    RegisterCallbacks(pReceiver);
    pReceiver->MonitorNmea(true);
    ++data;
    --size;

    CBinBuffer message;
    // The whole input is one framed message.
    message.Set(reinterpret_cast<const char*>(data), static_cast<int>(size), static_cast<int>(size));
    int length = 0;
    const char* bytes = message.GetMessageBin(length);
    pReceiver->AttachRawData(bytes, length);
    CString text = message.GetMessage();
    pReceiver->Parse(text);
    return 0;
}

}  // namespace tolvik::fuzz
