// Cgsr2650lb: the GSR2650 LB, a receiver with an L-band channel for differential corrections,
// configured with plain-word commands ("LOG" and "UNLOG" switch its outputs on and off). It keeps
// what it last commanded for its raw measurement logs, so that raw-data requests that would
// change nothing are not sent again.
//
// Unlike every other model, it initialises itself as it is constructed: it opens the shared port
// with its defaults (port 0, 9600 baud) and, when that works, sends its default NMEA set-up. Where
// port 0 has no device, the constructor fails quietly and leaves the port closed.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class Cgsr2650lb : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(Cgsr2650lb)

public:
    Cgsr2650lb();
    ~Cgsr2650lb() override;

    CString GetName() override;
    bool HasRawData() override;
    bool ImplementsQueryNmea() override;
    bool ImplementsQueryGpsSettings() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsSetNmea() override;
    bool ImplementsResetAll() override;
    bool HasDGPSSupport() const override;
    int GetDefaultBaudrate() override;

    // Forgets the raw-log state, runs the base initialisation and, when the port (or emulation)
    // is ready, sends the default NMEA set-up.
    bool Initialize() override;
    // GGA, GSA, GSV and VTG once per second; the other sentences of the list off.
    void SetDefaultNMEA() override;
    // GGA once per second; the other sentences of the list off.
    void SetGgaOnlyNMEA() override;

    bool m_bRawOutputOn = false;  // the raw measurement logs were last switched on
    int m_nRawInterval = 0;       // raw log interval last requested, whole seconds
};

}  // namespace tolvik
