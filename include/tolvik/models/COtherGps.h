// COtherGps: any other NMEA 0183 receiver, read with the base behaviour at 9600 baud. Last in the
// catalogue, so it is what the engine falls back to for a name it does not know.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class COtherGps : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(COtherGps)

public:
    COtherGps();
    ~COtherGps() override;

    CString GetName() override;
};

}  // namespace tolvik
