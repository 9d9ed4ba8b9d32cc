#include "tolvik/models/Cgsr2650lb.h"

#include <span>

#include "tolvik/platform/Clock.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(Cgsr2650lb, CObject)

namespace {

// Writes one whole command to the shared port and gives the receiver time to take it. The
// caller has checked that the port is open; a failed write is not reported (the port retries).
void WriteCommand(const CString& strCommand, DWORD nPauseMs) {
    CGPSReceiver::m_Port.Write(strCommand);
    platform::Sleep(nPauseMs);
}

// ---- NMEA output set-up
//
// Each step is "LOG" or "UNLOG", a blank, the receiver port the log belongs to, and a suffix that
// starts with its own blank. The set-up names no port, so that it applies to the port the receiver
// hears it on; the word is then followed by two blanks: "LOG  GPGGA ONTIME 1 0 NOHOLD".
constexpr const wchar_t* kLog = L"LOG ";
constexpr const wchar_t* kUnlog = L"UNLOG ";
constexpr const wchar_t* kNmeaSetupPort = L"";
constexpr DWORD kNmeaSetupPauseMs = 200;

// Sentences logged every second (period 1 s, offset 0).
constexpr const wchar_t* kGgaEverySecond = L" GPGGA ONTIME 1 0 NOHOLD\r\n";
constexpr const wchar_t* kGsaEverySecond = L" GPGSA ONTIME 1 0 NOHOLD\r\n";
constexpr const wchar_t* kGsvEverySecond = L" GPGSV ONTIME 1 0 NOHOLD\r\n";
constexpr const wchar_t* kVtgEverySecond = L" GPVTG ONTIME 1 0 NOHOLD\r\n";
// Sentences named only to switch them off.
constexpr const wchar_t* kGgaLong = L" GPGGALONG\r\n";
constexpr const wchar_t* kGgaRtk = L" GPGGARTK\r\n";
constexpr const wchar_t* kGll = L" GPGLL\r\n";
constexpr const wchar_t* kGrs = L" GPGRS\r\n";
constexpr const wchar_t* kGsa = L" GPGSA\r\n";
constexpr const wchar_t* kGst = L" GPGST\r\n";
constexpr const wchar_t* kGsv = L" GPGSV\r\n";
constexpr const wchar_t* kRmb = L" GPRMB\r\n";
constexpr const wchar_t* kRmc = L" GPRMC\r\n";
constexpr const wchar_t* kVtg = L" GPVTG\r\n";
constexpr const wchar_t* kZda = L" GPZDA\r\n";
constexpr const wchar_t* kAlm = L" GPALM\r\n";

struct NmeaSetupStep {
    const wchar_t* word;    // kLog or kUnlog
    const wchar_t* suffix;  // the sentence and, for LOG, its schedule
};

// GGA, GSA, GSV and VTG every second.
constexpr NmeaSetupStep kDefaultNmea[] = {
    {kLog, kGgaEverySecond},
    {kUnlog, kGgaLong},
    {kUnlog, kGgaRtk},
    {kUnlog, kGll},
    {kUnlog, kGrs},
    {kLog, kGsaEverySecond},
    {kUnlog, kGst},
    {kLog, kGsvEverySecond},
    {kUnlog, kRmb},
    {kUnlog, kRmc},
    {kLog, kVtgEverySecond},
    {kUnlog, kZda},
    {kUnlog, kAlm},
};

// GGA every second and nothing else of the list.
constexpr NmeaSetupStep kGgaOnlyNmea[] = {
    {kUnlog, kAlm},
    {kLog, kGgaEverySecond},
    {kUnlog, kGgaLong},
    {kUnlog, kGgaRtk},
    {kUnlog, kGll},
    {kUnlog, kGrs},
    {kUnlog, kGsa},
    {kUnlog, kGst},
    {kUnlog, kGsv},
    {kUnlog, kRmb},
    {kUnlog, kRmc},
    {kUnlog, kVtg},
    {kUnlog, kZda},
};

void SendNmeaSetup(std::span<const NmeaSetupStep> steps) {
    if (!CGPSReceiver::m_Port.IsOpen()) return;
    for (const NmeaSetupStep& step : steps) {
        WriteCommand(CString(step.word) + kNmeaSetupPort + step.suffix, kNmeaSetupPauseMs);
    }
}

}  // namespace

Cgsr2650lb::Cgsr2650lb() {
    // The receiver is set up as soon as the object exists, with the constructor's defaults (port
    // 0, 9600 baud, not emulating); a port that is already open takes the new line settings. Where
    // port 0 cannot be opened nothing is sent and the failure is not reported. (Called here, the
    // virtual resolves to this class's Initialize.)
    Initialize();
}

Cgsr2650lb::~Cgsr2650lb() = default;

CString Cgsr2650lb::GetName() { return L"GSR2650 LB"; }
bool Cgsr2650lb::HasRawData() { return true; }
bool Cgsr2650lb::ImplementsQueryNmea() { return true; }
// The receiver does answer settings and beacon queries, but hosts are not offered them.
bool Cgsr2650lb::ImplementsQueryGpsSettings() { return false; }
bool Cgsr2650lb::ImplementsBeacon() { return false; }
bool Cgsr2650lb::ImplementsSetElevMask() { return true; }
bool Cgsr2650lb::ImplementsSetNmea() { return true; }
bool Cgsr2650lb::ImplementsResetAll() { return true; }
bool Cgsr2650lb::HasDGPSSupport() const { return true; }
int Cgsr2650lb::GetDefaultBaudrate() { return 9600; }

bool Cgsr2650lb::Initialize() {
    // Whatever was commanded before, the raw logs count as off after an initialisation.
    m_bRawOutputOn = false;
    m_nRawInterval = 0;
    if (!CGPSReceiver::Initialize()) return false;
    SetDefaultNMEA();
    return true;
}

void Cgsr2650lb::SetDefaultNMEA() { SendNmeaSetup(kDefaultNmea); }

void Cgsr2650lb::SetGgaOnlyNMEA() { SendNmeaSetup(kGgaOnlyNmea); }

}  // namespace tolvik
