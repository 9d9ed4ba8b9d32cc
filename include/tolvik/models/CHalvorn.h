// CHalvorn: Halvorn receivers: plain NMEA 0183 at 4800 baud. They go quiet when nothing is
// written to them for a while, so a silent second is answered with a keep-alive text. They
// deliver no raw measurements, and say so explicitly.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CHalvorn : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CHalvorn)

public:
    CHalvorn();
    ~CHalvorn() override;

    CString GetName() override;
    bool HasRawData() override;
    int GetDefaultBaudrate() override;
    void KeepAlive() override;
};

}  // namespace tolvik
