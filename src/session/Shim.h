// ---- MERGE SHIM: device loss and binary record copies ----------------------------------------
// The engine's device-loss message and the per-record binary copies come from another line of
// work (WM_GPS_DEVICE, GPS_DEVICE_LOST/BACK, CGPSEngine::IsDeviceLost,
// CGPSReceiver::SetBinaryRecordCopies, CGPSBinaryRecord in receiver/Notifications.h). Until it is
// merged, the session uses the agreed numbers from here. After the merge:
//   - kDeviceMessage, kDeviceLost, kDeviceBack: use WM_GPS_DEVICE, GPS_DEVICE_LOST, GPS_DEVICE_BACK;
//   - BinaryRecord: `using BinaryRecord = CGPSBinaryRecord;`
//   - RequestBinaryRecordCopies: call CGPSReceiver::SetBinaryRecordCopies(true), return true;
//   - kEngineReportsDeviceLoss = true (enables the unplug test in tests/session).
#pragma once

#include <vector>

#include "tolvik/platform/Types.h"

namespace tolvik::session {

inline constexpr UINT kDeviceMessage = 0x8010;  // WM_GPS_DEVICE
inline constexpr WPARAM kDeviceLost = 0;        // GPS_DEVICE_LOST
inline constexpr WPARAM kDeviceBack = 1;        // GPS_DEVICE_BACK

struct BinaryRecord {  // CGPSBinaryRecord
    std::vector<WORD> m_Words;
};

// Asks the receivers to post each binary record's words with it; false while the engine cannot.
inline bool RequestBinaryRecordCopies() { return false; }

inline constexpr bool kEngineReportsDeviceLoss = false;

}  // namespace tolvik::session
// ---- END MERGE SHIM ------------------------------------------------------------------------------
