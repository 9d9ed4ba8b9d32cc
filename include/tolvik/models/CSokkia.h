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

    // The base initialization, then the receiver's start-up settings line. False, with nothing
    // sent, when the base initialization fails.
    bool Initialize() override;
    void QuerySatElevMask() override;
    void QueryBeacon() override;
    void SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) override;
    void SetSatElevMask(int nDegrees) override;
    // GGA, GSA, VTG and GSV on; ZDA, RMC, GLL and the proprietary records off.
    void SetDefaultNMEA() override;
    void SetGgaOnlyNMEA() override;
};

}  // namespace tolvik
