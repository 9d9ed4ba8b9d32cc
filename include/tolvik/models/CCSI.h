// CCSI: CSI receivers (not the "CSI - MAX", see CCSImax): the Ashtech language plus a parameter
// query, a beacon receiver, an elevation mask and a factory reset. Raw data and NMEA set-up come
// from CAshtech.
#pragma once

#include "tolvik/models/CAshtech.h"

namespace tolvik {

class CCSI : public CAshtech {
    TOLVIK_DECLARE_DYNAMIC(CCSI)

public:
    CCSI();
    ~CCSI() override;

    CString GetName() override;
    bool ImplementsQueryNmea() override;
    bool ImplementsQueryGpsSettings() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsResetAll() override;

    // Asks for the multi-line parameter reply, which carries the NMEA output, the elevation mask
    // and the other settings at once.
    void QueryPAR();
    // The three settings queries are all answered by the parameter reply.
    void QueryNmeaActive() override;
    void QueryGpsSettings() override;
    void QuerySatElevMask() override;
    // Asks the beacon receiver for its signal status ("MSS") and its settings ("MSK").
    void QueryBeacon() override;
    void SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) override;
    // The mask goes out as given (negative values included): the receiver judges the range.
    void SetSatElevMask(int nDegrees) override;
    // Factory reset followed by the settings this library relies on, saved in the receiver.
    // Takes 23 s without waiting; with bWait each step ends at its acknowledgement. False when
    // the port could not be opened or any step was not acknowledged (every step is sent anyway).
    bool ResetAll(bool bWait) override;
};

}  // namespace tolvik
