#include "tolvik/models/CLeica.h"

#include "models/KeepAlive.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CLeica, CObject)

CLeica::CLeica() = default;
CLeica::~CLeica() = default;

CString CLeica::GetName() { return L"Leica"; }
void CLeica::KeepAlive() { WriteKeepAlive(); }

}  // namespace tolvik
