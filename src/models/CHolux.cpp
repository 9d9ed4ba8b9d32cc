#include "tolvik/models/CHolux.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CHolux, CObject)

CHolux::CHolux() = default;
CHolux::~CHolux() = default;

CString CHolux::GetName() { return L"Holux"; }
bool CHolux::HasDGPSSupport() const { return true; }
int CHolux::GetDefaultBaudrate() { return 4800; }

}  // namespace tolvik
