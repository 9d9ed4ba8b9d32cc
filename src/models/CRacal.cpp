#include "tolvik/models/CRacal.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CRacal, CObject)

CRacal::CRacal() = default;
CRacal::~CRacal() = default;

CString CRacal::GetName() { return L"Racal"; }
bool CRacal::GGASendsOrthoHeight() { return true; }

}  // namespace tolvik
