// CGarmin: the Garmin 17-N: plain NMEA 0183 at 4800 baud (its "$PGRME" error estimates are read by
// the base dispatch).
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CGarmin : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CGarmin)

public:
    CGarmin();
    ~CGarmin() override;

    CString GetName() override;
    int GetDefaultBaudrate() override;
};

}  // namespace tolvik
