#include "tolvik/models/CSokkia.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSokkia, CObject)

CSokkia::CSokkia() = default;
CSokkia::~CSokkia() = default;

CString CSokkia::GetName() { return L"Sokkia Axis"; }
bool CSokkia::ImplementsBeacon() { return true; }
bool CSokkia::ImplementsSetElevMask() { return true; }
bool CSokkia::ImplementsSetNmea() { return true; }

}  // namespace tolvik
