#include "tolvik/models/CAshtech.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CAshtech, CObject)

CAshtech::CAshtech() = default;
CAshtech::~CAshtech() = default;

CString CAshtech::GetName() { return L"Ashtech"; }
bool CAshtech::HasRawData() { return true; }
bool CAshtech::ImplementsSetNmea() { return true; }

}  // namespace tolvik
