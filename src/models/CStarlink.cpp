#include "tolvik/models/CStarlink.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CStarlink, CObject)

CStarlink::CStarlink() = default;
CStarlink::~CStarlink() = default;

CString CStarlink::GetName() { return L"Starlink"; }
bool CStarlink::ImplementsQueryNmea() { return true; }
bool CStarlink::ImplementsBeacon() { return true; }
bool CStarlink::ImplementsSetElevMask() { return true; }
bool CStarlink::ImplementsSetNmea() { return true; }
bool CStarlink::ImplementsResetAll() { return true; }
bool CStarlink::GGASendsOrthoHeight() { return true; }

}  // namespace tolvik
