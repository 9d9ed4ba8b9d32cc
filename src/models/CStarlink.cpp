#include "tolvik/models/CStarlink.h"

#include "models/CommandSets.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CStarlink, CObject)

CStarlink::CStarlink() = default;
CStarlink::~CStarlink() = default;

CString CStarlink::GetName() { return L"Starlink"; }
bool CStarlink::ImplementsQueryNmea() { return true; }
bool CStarlink::ImplementsBeacon() { return true; }
bool CStarlink::ImplementsSetElevMask() { return true; }
bool CStarlink::ImplementsSetNmea() { return true; }
bool CStarlink::ImplementsResetAll() { return true; }
bool CStarlink::GGASendsOrthoHeight() { return true; }

// ---- Queries

namespace {

constexpr DWORD kCommandPauseMs = 200;
// Two reply lines come back: the receiver needs longer to answer.
constexpr const wchar_t* kQueryParameters = L"$PSLIQ,PAR\r\n";
constexpr DWORD kQueryParametersPauseMs = 500;
constexpr const wchar_t* kQueryBeaconStatus = L"$PSLIQ,NME,MSS\r\n";
constexpr const wchar_t* kQueryBeaconSettings = L"$PSLIQ,NME,MSK\r\n";

}  // namespace

void CStarlink::QueryPAR() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kQueryParameters, kQueryParametersPauseMs);
}

void CStarlink::QueryNmeaActive() { QueryPAR(); }
void CStarlink::QuerySatElevMask() { QueryPAR(); }

void CStarlink::QueryBeacon() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kQueryBeaconStatus, kCommandPauseMs);
    WriteCommand(kQueryBeaconSettings, kCommandPauseMs);
}

// ---- Settings

namespace {

// The mask goes out as given: the receiver judges the range.
constexpr const wchar_t* kSetElevMaskFormat = L"$PSLIS,ELM,%-d\r\n";

// "$PSLIS,NME,<sentence>,<receiver port>,<ON|OFF>", everything off first.
constexpr const wchar_t* kAllOff = L"$PSLIS,NME,ALL,A,OFF\r\n";
constexpr const wchar_t* kGgaOn = L"$PSLIS,NME,GGA,A,ON\r\n";
constexpr const wchar_t* kDefaultNmea[] = {
    kAllOff, kGgaOn, L"$PSLIS,NME,GSA,A,ON\r\n", L"$PSLIS,NME,VTG,A,ON\r\n", L"$PSLIS,NME,GSV,A,ON\r\n",
};
constexpr const wchar_t* kGgaOnlyNmea[] = {kAllOff, kGgaOn};

}  // namespace

void CStarlink::SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) {
    SendBeaconCommand(eMode, strFrequency, strBitRate);
}

void CStarlink::SetSatElevMask(int nDegrees) {
    if (!m_Port.IsOpen()) return;
    WriteCommand(CString::Formatted(kSetElevMaskFormat, nDegrees), kCommandPauseMs);
}

void CStarlink::SetDefaultNMEA() {
    if (!m_Port.IsOpen()) return;
    SendSteps(kDefaultNmea, kCommandPauseMs);
}

void CStarlink::SetGgaOnlyNMEA() {
    if (!m_Port.IsOpen()) return;
    SendSteps(kGgaOnlyNmea, kCommandPauseMs);
}

// ---- Reset

namespace {

constexpr const wchar_t* kReset = L"$PSLIS,RST,CLR\r\n";
constexpr int kResetWritePauseMs = 100;
// The receiver restarts after the reset and takes no commands for a while.
constexpr DWORD kAfterResetPauseMs = 5000;

}  // namespace

bool CStarlink::ResetAll(bool /*bWait*/) {
    if (!Initialize() || !m_Port.IsOpen()) return false;
    // No acknowledgement is waited for from these receivers: the reset is written and given a
    // fixed pause whatever the caller asked, and only a failed write counts as a failure.
    const bool bWritten = WriteAck(kReset, false, kResetWritePauseMs);
    platform::Sleep(kAfterResetPauseMs);
    SetDefaultNMEA();
    return bWritten;
}

}  // namespace tolvik
