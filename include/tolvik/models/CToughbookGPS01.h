// CToughbookGPS01: the Toughbook GPS01 module, a SiRF receiver: everything comes from CSirf; it
// restates the 4800 baud default.
#pragma once

#include "tolvik/models/CSirf.h"

namespace tolvik {

class CToughbookGPS01 : public CSirf {
    TOLVIK_DECLARE_DYNAMIC(CToughbookGPS01)

public:
    CToughbookGPS01();
    ~CToughbookGPS01() override;

    CString GetName() override;
    int GetDefaultBaudrate() override;
};

}  // namespace tolvik
