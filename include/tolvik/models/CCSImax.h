// CCSImax: the CSI MAX (display name "CSI - MAX": blank, hyphen, blank; not CCSI's "CSI") speaks
// the same "$J" language as the Sokkia Axis3 and takes every answer and command from it, restating
// only its differential support.
#pragma once

#include "tolvik/models/CSokkiaAxis3.h"

namespace tolvik {

class CCSImax : public CSokkiaAxis3 {
    TOLVIK_DECLARE_DYNAMIC(CCSImax)

public:
    CCSImax();
    ~CCSImax() override;

    CString GetName() override;
    bool HasDGPSSupport() const override;
};

}  // namespace tolvik
