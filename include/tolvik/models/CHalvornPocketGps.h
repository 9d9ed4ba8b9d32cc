// CHalvornPocketGps: the pocket Halvorn model: plain NMEA 0183 at 9600 baud, no keep-alive needed.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CHalvornPocketGps : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CHalvornPocketGps)

public:
    CHalvornPocketGps();
    ~CHalvornPocketGps() override;

    CString GetName() override;
};

}  // namespace tolvik
