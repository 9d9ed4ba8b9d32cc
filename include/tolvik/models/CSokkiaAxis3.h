// CSokkiaAxis3: the Sokkia Axis3 and its relatives speak the "$J" command language: NMEA output,
// binary raw data, elevation mask, beacon, L-band and the differential source. Base of CCSImax.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CSokkiaAxis3 : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CSokkiaAxis3)

public:
    CSokkiaAxis3();
    ~CSokkiaAxis3() override;

    CString GetName() override;
    bool HasRawData() override;
    bool ImplementsQueryNmea() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsSetNmea() override;
    bool HasDGPSSupport() const override;
};

}  // namespace tolvik
