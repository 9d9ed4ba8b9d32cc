#include "tolvik/models/CCSI.h"

#include "models/CommandSets.h"

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

// ---- Queries

namespace {

constexpr DWORD kCommandPauseMs = 200;
// The parameter reply is several lines long: the receiver needs longer to answer it.
constexpr const wchar_t* kQueryParameters = L"$PASHQ,PAR\r\n";
constexpr DWORD kQueryParametersPauseMs = 500;
constexpr const wchar_t* kQueryBeaconStatus = L"$GPCRQ,MSS\r\n";
constexpr const wchar_t* kQueryBeaconSettings = L"$GPCRQ,MSK\r\n";
constexpr const wchar_t* kSetElevMaskFormat = L"$PASHS,PEM,%-d\r\n";

}  // namespace

void CCSI::QueryPAR() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kQueryParameters, kQueryParametersPauseMs);
}

void CCSI::QueryNmeaActive() { QueryPAR(); }
void CCSI::QueryGpsSettings() { QueryPAR(); }
void CCSI::QuerySatElevMask() { QueryPAR(); }

void CCSI::QueryBeacon() {
    if (!m_Port.IsOpen()) return;
    WriteCommand(kQueryBeaconStatus, kCommandPauseMs);
    WriteCommand(kQueryBeaconSettings, kCommandPauseMs);
}

// ---- Settings

void CCSI::SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) {
    SendBeaconCommand(eMode, strFrequency, strBitRate);
}

void CCSI::SetSatElevMask(int nDegrees) {
    if (!m_Port.IsOpen()) return;
    WriteCommand(CString::Formatted(kSetElevMaskFormat, nDegrees), kCommandPauseMs);
}

// ---- Factory reset

namespace {

// The receiver restarts after the reset: its acknowledgement may take up to ten seconds, and it
// needs three more before it takes commands again.
constexpr const wchar_t* kReset = L"$PASHS,RST\r\n";
constexpr int kResetTimeoutMs = 10000;
constexpr DWORD kAfterResetPauseMs = 3000;
constexpr int kSetupTimeoutMs = 1000;

// After the reset: differential corrections used automatically as they arrive on the receiver's
// port B, the sentences the library reads, and the dilution-of-precision masks.
constexpr const wchar_t* kSetupAfterReset[] = {
    L"$PASHS,RTC,AUT,Y\r\n",    L"$PASHS,RTC,REM,B\r\n",    L"$PASHS,NME,GGA,A,ON\r\n",
    L"$PASHS,NME,GSA,A,ON\r\n", L"$PASHS,NME,VTG,A,ON\r\n", L"$PASHS,NME,SAT,A,ON\r\n",
};
constexpr int kPdopMask = 14;
constexpr int kHdopMask = 10;
constexpr int kVdopMask = 10;
constexpr const wchar_t* kPdopMaskFormat = L"$PASHS,PDP,%0d\r\n";
constexpr const wchar_t* kHdopMaskFormat = L"$PASHS,HDP,%0d\r\n";
constexpr const wchar_t* kVdopMaskFormat = L"$PASHS,VDP,%0d\r\n";
// Keeps the new settings over the next power cycle.
constexpr const wchar_t* kSaveSettings = L"$PASHS,SAV,Y\r\n";

}  // namespace

bool CCSI::ResetAll(bool bWait) {
    if (!Initialize() || !m_Port.IsOpen()) return false;
    // A step that was not acknowledged makes the whole reset fail, but the later steps still go
    // out: a receiver that missed one setting is better off with all the others.
    bool bResult = WriteAck(kReset, bWait, kResetTimeoutMs);
    platform::Sleep(kAfterResetPauseMs);
    auto step = [&](const CString& strCommand) {
        if (!WriteAck(strCommand, bWait, kSetupTimeoutMs)) bResult = false;
    };
    for (const wchar_t* command : kSetupAfterReset) step(command);
    step(CString::Formatted(kPdopMaskFormat, kPdopMask));
    step(CString::Formatted(kHdopMaskFormat, kHdopMask));
    step(CString::Formatted(kVdopMaskFormat, kVdopMask));
    step(kSaveSettings);
    return bResult;
}

}  // namespace tolvik
