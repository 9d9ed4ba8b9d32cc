#include "tolvik/models/CAshtech.h"

#include "models/CommandSets.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CAshtech, CObject)

CAshtech::CAshtech() = default;
CAshtech::~CAshtech() = default;

CString CAshtech::GetName() { return L"Ashtech"; }
bool CAshtech::HasRawData() { return true; }
bool CAshtech::ImplementsSetNmea() { return true; }

// ---- NMEA output set-up
//
// "$PASHS,NME,<sentence>,<receiver port>,<ON|OFF>": the sentences go out on the receiver's port A.
// Everything is switched off first, so that nothing left over from an earlier set-up stays on.
namespace {

constexpr DWORD kNmeaPauseMs = 200;
constexpr const wchar_t* kAllOff = L"$PASHS,NME,ALL,A,OFF\r\n";
constexpr const wchar_t* kGgaOn = L"$PASHS,NME,GGA,A,ON\r\n";
constexpr const wchar_t* kGsaOn = L"$PASHS,NME,GSA,A,ON\r\n";
constexpr const wchar_t* kVtgOn = L"$PASHS,NME,VTG,A,ON\r\n";
constexpr const wchar_t* kSatOn = L"$PASHS,NME,SAT,A,ON\r\n";
constexpr const wchar_t* kGsvOn = L"$PASHS,NME,GSV,A,ON\r\n";

constexpr const wchar_t* kDefaultNmea[] = {kAllOff, kGgaOn, kGsaOn, kVtgOn, kSatOn, kGsvOn};
constexpr const wchar_t* kGgaOnlyNmea[] = {kAllOff, kGgaOn};

}  // namespace

void CAshtech::SetDefaultNMEA() {
    if (!m_Port.IsOpen()) return;
    SendSteps(kDefaultNmea, kNmeaPauseMs);
}

void CAshtech::SetGgaOnlyNMEA() {
    if (!m_Port.IsOpen()) return;
    SendSteps(kGgaOnlyNmea, kNmeaPauseMs);
}

}  // namespace tolvik
