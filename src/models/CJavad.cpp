#include "tolvik/models/CJavad.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CJavad, CObject)

CJavad::CJavad() = default;
CJavad::~CJavad() = default;

CString CJavad::GetName() { return L"Javad"; }

}  // namespace tolvik
