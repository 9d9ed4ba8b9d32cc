// CHolux: Holux receivers, SiRF based: everything comes from CSirf; they restate the 4800 baud
// default and their differential support.
#pragma once

#include "tolvik/models/CSirf.h"

namespace tolvik {

class CHolux : public CSirf {
    TOLVIK_DECLARE_DYNAMIC(CHolux)

public:
    CHolux();
    ~CHolux() override;

    CString GetName() override;
    bool HasDGPSSupport() const override;
    int GetDefaultBaudrate() override;
};

}  // namespace tolvik
