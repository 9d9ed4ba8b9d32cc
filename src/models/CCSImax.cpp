#include "tolvik/models/CCSImax.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CCSImax, CObject)

CCSImax::CCSImax() = default;
CCSImax::~CCSImax() = default;

CString CCSImax::GetName() { return L"CSI - MAX"; }
bool CCSImax::HasDGPSSupport() const { return true; }

}  // namespace tolvik
