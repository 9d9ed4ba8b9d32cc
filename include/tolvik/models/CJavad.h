// CJavad: Javad receivers: plain NMEA 0183 at 9600 baud.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CJavad : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CJavad)

public:
    CJavad();
    ~CJavad() override;

    CString GetName() override;
};

}  // namespace tolvik
