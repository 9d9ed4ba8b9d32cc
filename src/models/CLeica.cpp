#include "tolvik/models/CLeica.h"

#include "models/CommandSets.h"
#include "models/KeepAlive.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CLeica, CObject)

CLeica::CLeica() = default;
CLeica::~CLeica() = default;

CString CLeica::GetName() { return L"Leica"; }

namespace {

// The output set-up: a general "$PMVXG,007" line, then one line each for GGA, GSA and GSV.
constexpr const wchar_t* kOutputSetup[] = {
    L"$PMVXG,007,,1,,,,,\r\n",
    L"$PMVXG,007,GGA,0,1,,1,6,2\r\n",
    L"$PMVXG,007,GSA,0,1,,1,,,\r\n",
    L"$PMVXG,007,GSV,0,1,,5,,,\r\n",
};
constexpr DWORD kOutputSetupPauseMs = 200;

}  // namespace

bool CLeica::Initialize() {
    if (!CGPSReceiver::Initialize()) return false;
    // No open test: in emulation the writes fail by themselves and cost only the pauses.
    SendSteps(kOutputSetup, kOutputSetupPauseMs);
    return true;
}

void CLeica::KeepAlive() { WriteKeepAlive(); }

}  // namespace tolvik
