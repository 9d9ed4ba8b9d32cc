#include "tolvik/models/CSokkiaAxis3.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSokkiaAxis3, CObject)

CSokkiaAxis3::CSokkiaAxis3() = default;
CSokkiaAxis3::~CSokkiaAxis3() = default;

CString CSokkiaAxis3::GetName() { return L"Sokkia Axis3"; }
bool CSokkiaAxis3::HasRawData() { return true; }
bool CSokkiaAxis3::ImplementsQueryNmea() { return true; }
bool CSokkiaAxis3::ImplementsBeacon() { return true; }
bool CSokkiaAxis3::ImplementsSetElevMask() { return true; }
bool CSokkiaAxis3::ImplementsSetNmea() { return true; }
bool CSokkiaAxis3::HasDGPSSupport() const { return true; }

}  // namespace tolvik
