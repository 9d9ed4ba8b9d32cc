// CSirf: receivers built on a SiRF chip set: NMEA set-up through "$PSRF" sentences, a factory reset
// and the differential source through the SiRF binary protocol; 4800 baud. Base of CToughbookGPS01
// and CHolux.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CSirf : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CSirf)

public:
    CSirf();
    ~CSirf() override;

    CString GetName() override;
    bool ImplementsSetNmea() override;
    bool ImplementsResetAll() override;
    bool HasDGPSSupport() const override;
    int GetDefaultBaudrate() override;
};

}  // namespace tolvik
