#include "models/CommandSets.h"

namespace tolvik {

bool SendBeaconCommand(BEACON_MODE_TYPE eMode, const CString& strFrequency, const CString& strBitRate) {
    if (!CGPSReceiver::m_Port.IsOpen()) return false;
    if (eMode == BEACON_MODE_AUTOMATIC) {
        WriteCommand(L"$GPMSK,,A,,A,0\r\n", 200);
        return true;
    }
    const wchar_t* bitRateMode = strBitRate.IsEmpty() ? L"A" : L"M";
    WriteCommand(CString::Formatted(L"$GPMSK,%s,M,%s,%s,0\r\n", strFrequency, strBitRate, bitRateMode), 200);
    return true;
}

}  // namespace tolvik
