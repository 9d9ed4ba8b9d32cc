// COmnistar: OmniSTAR receivers: plain NMEA 0183 at 4800 baud; the library sends them nothing.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class COmnistar : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(COmnistar)

public:
    COmnistar();
    ~COmnistar() override;

    CString GetName() override;
    int GetDefaultBaudrate() override;
};

}  // namespace tolvik
