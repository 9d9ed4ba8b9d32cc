#include "tolvik/models/CHalvorn.h"

#include "models/KeepAlive.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CHalvorn, CObject)

CHalvorn::CHalvorn() = default;
CHalvorn::~CHalvorn() = default;

CString CHalvorn::GetName() { return L"Halvorn"; }
bool CHalvorn::HasRawData() { return false; }
int CHalvorn::GetDefaultBaudrate() { return 4800; }
void CHalvorn::KeepAlive() { WriteKeepAlive(); }

}  // namespace tolvik
