#include "tolvik/models/COtherGps.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(COtherGps, CObject)

COtherGps::COtherGps() = default;
COtherGps::~COtherGps() = default;

CString COtherGps::GetName() { return L"Other"; }

}  // namespace tolvik
