#include "tolvik/models/COmnistar.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(COmnistar, CObject)

COmnistar::COmnistar() = default;
COmnistar::~COmnistar() = default;

CString COmnistar::GetName() { return L"Omnistar"; }
int COmnistar::GetDefaultBaudrate() { return 4800; }

}  // namespace tolvik
