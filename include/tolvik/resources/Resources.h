// The module's resources: its string table and the template of the acknowledgement window.
#pragma once

#include "tolvik/platform/CString.h"
#include "tolvik/platform/Types.h"

namespace tolvik {

// String-table ids. 1-10 are status words kept for hosts; the library loads 11-18.
enum : UINT {
    IDS_NO_GPS_SIGNAL = 1,
    IDS_GPS = 2,
    IDS_DGPS = 3,
    IDS_RTK_CODE = 4,
    IDS_RTK_FIXED = 5,
    IDS_RTK_FLOAT = 6,
    IDS_UNKNOWN = 7,
    IDS_PDOP = 8,
    IDS_HDOP = 9,
    IDS_SATELLITES = 10,
    IDS_RAW_LOG_OPEN_FAILED = 11,
    IDS_EMULATION_OPEN_FAILED = 12,
    IDS_DATALOG_STATUS = 13,
    IDS_ENGINE_NO_ERROR = 14,
    IDS_ENGINE_NO_RECEIVER = 15,
    IDS_ENGINE_INIT_FAILED = 16,
    IDS_ENGINE_THREAD_FAILED = 17,
    IDS_ENGINE_UNKNOWN_ERROR = 18,
};

// Copies string nID into pBuffer (at most nBufferMax - 1 characters and a terminator) and returns
// the number of characters copied; 0 when the id is not in the table.
int LoadString(UINT nID, wchar_t* pBuffer, int nBufferMax);

// Loads string nID through a 128-character buffer. When the id is missing, shows the message box
// "Error loading resource string." and returns an empty text.
CString LoadResString(UINT nID);

// Dialog template 129: the hidden window that waits for an acknowledgement.
inline constexpr UINT IDD_ACK = 129;
struct DialogTemplate {
    UINT id;
    int x, y, cx, cy;  // dialog units
    const wchar_t* caption;
    const wchar_t* fontName;
    int fontPointSize;
    bool visible;  // the template carries no visible style
    const wchar_t* staticText;
    int textX, textY, textCx, textCy;
    WORD languageId;
};
const DialogTemplate* FindDialogTemplate(UINT nID);

}  // namespace tolvik
