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
};

}  // namespace tolvik
