#include "tolvik/models/CSatloc.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSatloc, CObject)

CSatloc::CSatloc() = default;
CSatloc::~CSatloc() = default;

CString CSatloc::GetName() { return L"Satloc"; }

}  // namespace tolvik
