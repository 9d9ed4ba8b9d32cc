// CSatloc: Satloc receivers: plain NMEA 0183 at 9600 baud.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CSatloc : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CSatloc)

public:
    CSatloc();
    ~CSatloc() override;

    CString GetName() override;
};

}  // namespace tolvik
