#include "tolvik/models/CSirf.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSirf, CObject)

CSirf::CSirf() = default;
CSirf::~CSirf() = default;

CString CSirf::GetName() { return L"SiRF"; }
bool CSirf::ImplementsSetNmea() { return true; }
bool CSirf::ImplementsResetAll() { return true; }
bool CSirf::HasDGPSSupport() const { return true; }
int CSirf::GetDefaultBaudrate() { return 4800; }

}  // namespace tolvik
