// CSokkia: the Sokkia Axis (the older model; the Axis3 is CSokkiaAxis3, a different language): NMEA
// set-up, beacon and elevation mask.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CSokkia : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CSokkia)

public:
    CSokkia();
    ~CSokkia() override;

    CString GetName() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsSetNmea() override;
};

}  // namespace tolvik
