// CAshtech: receivers with the "$PASH" command language: the NMEA output can be set, and raw
// measurements come as "$PASHR" binary records. Base of CCSI and CRacal, which share its NMEA
// set-up.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CAshtech : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CAshtech)

public:
    CAshtech();
    ~CAshtech() override;

    CString GetName() override;
    bool HasRawData() override;
    bool ImplementsSetNmea() override;

    // GGA, GSA, VTG, SAT and GSV on the receiver's port A, everything else off.
    void SetDefaultNMEA() override;
    // GGA alone on port A.
    void SetGgaOnlyNMEA() override;
};

}  // namespace tolvik
