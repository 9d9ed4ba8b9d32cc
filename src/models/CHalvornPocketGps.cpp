#include "tolvik/models/CHalvornPocketGps.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CHalvornPocketGps, CObject)

CHalvornPocketGps::CHalvornPocketGps() = default;
CHalvornPocketGps::~CHalvornPocketGps() = default;

CString CHalvornPocketGps::GetName() { return L"Halvorn Pocket"; }

}  // namespace tolvik
