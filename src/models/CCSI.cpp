#include "tolvik/models/CCSI.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CCSI, CObject)

CCSI::CCSI() = default;
CCSI::~CCSI() = default;

CString CCSI::GetName() { return L"CSI"; }
bool CCSI::ImplementsQueryNmea() { return true; }
bool CCSI::ImplementsQueryGpsSettings() { return true; }
bool CCSI::ImplementsBeacon() { return true; }
bool CCSI::ImplementsSetElevMask() { return true; }
bool CCSI::ImplementsResetAll() { return true; }

}  // namespace tolvik
