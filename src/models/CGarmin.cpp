#include "tolvik/models/CGarmin.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CGarmin, CObject)

CGarmin::CGarmin() = default;
CGarmin::~CGarmin() = default;

CString CGarmin::GetName() { return L"Garmin 17-N"; }
int CGarmin::GetDefaultBaudrate() { return 4800; }

}  // namespace tolvik
