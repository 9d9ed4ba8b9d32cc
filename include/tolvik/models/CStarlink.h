// CStarlink: Starlink beacon receivers: NMEA query and set-up, beacon, elevation mask and reset.
// Their GGA altitude is already referred to the geoid.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CStarlink : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CStarlink)

public:
    CStarlink();
    ~CStarlink() override;

    CString GetName() override;
    bool ImplementsQueryNmea() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsSetNmea() override;
    bool ImplementsResetAll() override;
    bool GGASendsOrthoHeight() override;
};

}  // namespace tolvik
