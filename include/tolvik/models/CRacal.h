// CRacal: Racal receivers: Ashtech commands unchanged, but their GGA altitude is already referred
// to the geoid, so the geoid separation must not be applied again.
#pragma once

#include "tolvik/models/CAshtech.h"

namespace tolvik {

class CRacal : public CAshtech {
    TOLVIK_DECLARE_DYNAMIC(CRacal)

public:
    CRacal();
    ~CRacal() override;

    CString GetName() override;
    bool GGASendsOrthoHeight() override;
};

}  // namespace tolvik
