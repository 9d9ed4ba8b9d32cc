#include "tolvik/models/CSokkia.h"

#include "models/CommandSets.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSokkia, CObject)

CSokkia::CSokkia() = default;
CSokkia::~CSokkia() = default;

CString CSokkia::GetName() { return L"Sokkia Axis"; }
bool CSokkia::ImplementsBeacon() { return true; }
bool CSokkia::ImplementsSetElevMask() { return true; }
bool CSokkia::ImplementsSetNmea() { return true; }

namespace {

constexpr DWORD kCommandPauseMs = 200;

// "$PMCAG,008,15" is the settings line: every field is sent, and only the non-empty ones carry a
// value. At start-up the eleventh field is set to 5; the elevation mask is the fifth field. The
// receiver is slow to apply a settings line.
constexpr const wchar_t* kInitialSettings = L"$PMCAG,008,15,,,,,,,,,,5,,,,,\r\n";
constexpr DWORD kInitialSettingsPauseMs = 500;
constexpr const wchar_t* kSetElevMaskFormat = L"$PMCAG,008,15,,,,%d,,,,,,,,,,,\r\n";
constexpr DWORD kSetElevMaskPauseMs = 800;

// The answer is a "$PMCAG,908" line with the mask in field 7 (the header being field 1).
constexpr const wchar_t* kQueryElevMask = L"$PMCAG,004,908\r\n";
constexpr const wchar_t* kQueryBeaconStatus = L"$GPCRQ,MSS\r\n";
constexpr const wchar_t* kQueryBeaconSettings = L"$GPCRQ,MSK\r\n";

// "$PMCAG,005" sets the whole output list in one line: after a leading field, pairs of a message
// and its switch (1 on, 0 off). The receiver needs a second to rebuild its output.
constexpr const wchar_t* kDefaultNmea = L"$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,1,VTG,1,GSV,1,ZDA,0,RMC,0,GLL,0\r\n";
constexpr const wchar_t* kGgaOnlyNmea = L"$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,0,VTG,0,GSV,0,ZDA,0,RMC,0,GLL,0\r\n";
constexpr DWORD kNmeaPauseMs = 1000;

}  // namespace

bool CSokkia::Initialize() {
    if (!CGPSReceiver::Initialize()) return false;
    // No open test: in emulation the write fails by itself and costs only the pause.
    WriteCommand(kInitialSettings, kInitialSettingsPauseMs);
    return true;
}

void CSokkia::QuerySatElevMask() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kQueryElevMask, kCommandPauseMs);
}

void CSokkia::QueryBeacon() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kQueryBeaconStatus, kCommandPauseMs);
    WriteCommand(kQueryBeaconSettings, kCommandPauseMs);
}

void CSokkia::SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) {
    SendBeaconCommand(eMode, strFrequency, strBitRate);
}

// The mask goes out as given: the receiver judges the range.
void CSokkia::SetSatElevMask(int nDegrees) {
    if (!m_Port.IsOpen()) return;
    WriteCommand(CString::Formatted(kSetElevMaskFormat, nDegrees), kSetElevMaskPauseMs);
}

void CSokkia::SetDefaultNMEA() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kDefaultNmea, kNmeaPauseMs);
}

void CSokkia::SetGgaOnlyNMEA() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kGgaOnlyNmea, kNmeaPauseMs);
}

}  // namespace tolvik
