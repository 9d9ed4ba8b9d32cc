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

    // Asks for the parameter replies ("$PSLIR,PAR,NMEA" and "$PSLIR,PAR,MODE").
    void QueryPAR();
    // The NMEA output and the elevation mask are both in the parameter replies.
    void QueryNmeaActive() override;
    void QuerySatElevMask() override;
    void QueryBeacon() override;
    void SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) override;
    void SetSatElevMask(int nDegrees) override;
    // GGA, GSA, VTG and GSV, everything else off.
    void SetDefaultNMEA() override;
    void SetGgaOnlyNMEA() override;
    // Clears the receiver's settings and sets the default NMEA output again. No acknowledgement
    // is waited for, so bWait changes nothing; false when the port could not be opened or the
    // reset could not be written. Takes just over 5.1 s.
    bool ResetAll(bool bWait) override;
};

}  // namespace tolvik
