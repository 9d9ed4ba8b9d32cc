#include "tolvik/models/CToughbookGPS01.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CToughbookGPS01, CObject)

CToughbookGPS01::CToughbookGPS01() = default;
CToughbookGPS01::~CToughbookGPS01() = default;

CString CToughbookGPS01::GetName() { return L"Toughbook GPS01"; }
int CToughbookGPS01::GetDefaultBaudrate() { return 4800; }

}  // namespace tolvik
