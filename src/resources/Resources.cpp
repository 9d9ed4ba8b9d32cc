#include "tolvik/resources/Resources.h"

#include <algorithm>
#include <cwchar>

#include "tolvik/platform/Host.h"

namespace tolvik {

namespace {

struct StringEntry {
    UINT id;
    const wchar_t* text;
};

// Texts exactly as the host and users see them, leading blanks included.
constexpr StringEntry kStringTable[] = {
    {IDS_NO_GPS_SIGNAL, L"No GPS signal!"},
    {IDS_GPS, L"GPS"},
    {IDS_DGPS, L"DGPS"},
    {IDS_RTK_CODE, L"RTK-Code"},
    {IDS_RTK_FIXED, L"RTK-Fixed"},
    {IDS_RTK_FLOAT, L"RTK-Float"},
    {IDS_UNKNOWN, L"Unknown"},
    {IDS_PDOP, L"   PDOP: "},
    {IDS_HDOP, L"   HDOP: "},
    {IDS_SATELLITES, L"   %d of %d Satellites"},
    {IDS_RAW_LOG_OPEN_FAILED, L"Could not open file to log raw data!"},
    {IDS_EMULATION_OPEN_FAILED, L"Unable to open the emulation file: '%s'."},
    {IDS_DATALOG_STATUS, L"Num Epochs: %d, Time: %d min."},
    {IDS_ENGINE_NO_ERROR, L"No Error."},
    {IDS_ENGINE_NO_RECEIVER, L"No GPS Receiver Is Assigned."},
    {IDS_ENGINE_INIT_FAILED, L"Can't Initialize a Receiver."},
    {IDS_ENGINE_THREAD_FAILED, L"Can't Start GPS Thread."},
    {IDS_ENGINE_UNKNOWN_ERROR, L"Unknown GPS Error Code."},
};

constexpr DialogTemplate kAckDialog = {
    IDD_ACK, 0, 0,   133, 31,   L"Dialog", L"Tahoma", 8, false, L"Please wait while resetting receiver",
    7,       7, 119, 17,  1033,
};

}  // namespace

int LoadString(UINT nID, wchar_t* pBuffer, int nBufferMax) {
    if (!pBuffer || nBufferMax <= 0) return 0;
    pBuffer[0] = L'\0';
    for (const auto& e : kStringTable) {
        if (e.id != nID) continue;
        const int n = std::min(static_cast<int>(std::wcslen(e.text)), nBufferMax - 1);
        std::wmemcpy(pBuffer, e.text, static_cast<std::size_t>(n));
        pBuffer[n] = L'\0';
        return n;
    }
    return 0;
}

CString LoadResString(UINT nID) {
    wchar_t buffer[128];
    const int n = LoadString(nID, buffer, 128);
    if (n > 0) return CString(buffer, n);
    AfxMessageBox(L"Error loading resource string.");
    return CString();
}

const DialogTemplate* FindDialogTemplate(UINT nID) { return nID == IDD_ACK ? &kAckDialog : nullptr; }

}  // namespace tolvik
