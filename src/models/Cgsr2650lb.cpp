#include "tolvik/models/Cgsr2650lb.h"

#include <cmath>
#include <mutex>
#include <span>

#include "models/CommandSets.h"
#include "replies/ReplyFields.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(Cgsr2650lb, CObject)

namespace {

// The receiver keeps its settings over a power cycle only once they are saved.
constexpr const wchar_t* kSaveConfig = L"SAVECONFIG\r\n";

// Writes to the status part of the shared epoch, which the reader thread's reply handlers also
// write; the change reaches the host with the next published epoch.
template <typename Change>
void ChangeStatus(Change change) {
    std::lock_guard lock(CGPSReceiver::SharedStateLock());
    change(CGPSReceiver::m_GPSData.m_Status);
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
    {kLog, kGgaEverySecond}, {kUnlog, kGgaLong}, {kUnlog, kGgaRtk},       {kUnlog, kGll}, {kUnlog, kGrs},
    {kLog, kGsaEverySecond}, {kUnlog, kGst},     {kLog, kGsvEverySecond}, {kUnlog, kRmb}, {kUnlog, kRmc},
    {kLog, kVtgEverySecond}, {kUnlog, kZda},     {kUnlog, kAlm},
};

// GGA every second and nothing else of the list.
constexpr NmeaSetupStep kGgaOnlyNmea[] = {
    {kUnlog, kAlm}, {kLog, kGgaEverySecond}, {kUnlog, kGgaLong}, {kUnlog, kGgaRtk}, {kUnlog, kGll},
    {kUnlog, kGrs}, {kUnlog, kGsa},          {kUnlog, kGst},     {kUnlog, kGsv},    {kUnlog, kRmb},
    {kUnlog, kRmc}, {kUnlog, kVtg},          {kUnlog, kZda},
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

// ---- Raw measurement logs (binary), for post-processing

namespace {
constexpr const wchar_t* kRangeLogFormat = L"LOG RANGEB ONTIME %i\r\n";  // seconds
constexpr CommandStep kEphemerisAndAlmanacLogs[] = {{L"LOG RAWEPHEMB ONCHANGED\r\n", 100},
                                                    {L"LOG ALMANACB ONCHANGED\r\n", 100}};
constexpr CommandStep kRawLogsOff[] = {
    {L"UNLOG RANGEB\r\n", 100}, {L"UNLOG RAWEPHEMB\r\n", 100}, {L"UNLOG ALMANACB\r\n", 100}};

}  // namespace

void Cgsr2650lb::SetRawDataOutput(bool bOn, int nInterval) {
    if (!m_Port.IsOpen()) return;
    if (bOn) {
        WriteCommand(CString::Formatted(kRangeLogFormat, nInterval), 100);
        SendSteps(kEphemerisAndAlmanacLogs);
        m_nRawInterval = nInterval;
        m_bRawOutputOn = true;
    } else {
        SendSteps(kRawLogsOff);
        m_bRawOutputOn = false;  // the interval is kept
    }
    WriteCommand(kSaveConfig, 1000);
}

bool Cgsr2650lb::EnablePostProcessing(bool bOn) {
    if (bOn != m_bRawOutputOn) SetRawDataOutput(bOn, 1);
    return true;
}

bool Cgsr2650lb::SetRawDataOutputInterval(double dInterval) {
    int nInterval = 0;
    if (!replies::TruncateToInt(dInterval, nInterval)) return false;
    if (!m_bRawOutputOn || nInterval != m_nRawInterval) SetRawDataOutput(m_bRawOutputOn, nInterval);
    return true;
}

// ---- Queries. The receiver-specific ones ask for one-shot ASCII logs on the receiver's port COM2
// ("LOG COM2 ECUTOFFA ONCE") and mark what they ask about unknown until the reply is taken.

namespace {
constexpr int kQueryPort = 2;
constexpr DWORD kQueryLogPauseMs = 100;

void SendQueryLog(const wchar_t* suffix) {
    WriteCommand(L"LOG " + CString::Formatted(L"COM%i", kQueryPort) + suffix, kQueryLogPauseMs);
}
}  // namespace

void Cgsr2650lb::QuerySatElevMask() {
    if (!m_Port.IsOpen()) return;
    SendQueryLog(L" ECUTOFFA ONCE\r\n");
    ChangeStatus([](CGPSStatusData& status) {
        status.m_bElevMaskValid = false;
        status.m_bUpdated = false;
    });
}

void Cgsr2650lb::QueryGpsSettings() { QuerySatElevMask(); }

void Cgsr2650lb::QueryBeacon() {
    if (!m_Port.IsOpen()) return;
    SendQueryLog(L" RXCONFIGA ONCE\r\n");
    ChangeStatus([](CGPSStatusData& status) {
        status.m_nDgpsMode = DGPS_MODE_NONE;
        status.m_bDgpsModeValid = false;
        status.m_bUpdated = false;
    });
}

namespace {
constexpr const wchar_t* kDgpsSourceQueries[] = {L" RTKSOURCEA ONCE\r\n", L" SBASCONTROLA ONCE\r\n",
                                                 L" PSRDIFFSOURCEA ONCE\r\n"};
}  // namespace

void Cgsr2650lb::QueryDgpsMode() {
    if (!m_Port.IsOpen()) return;
    for (const wchar_t* suffix : kDgpsSourceQueries) SendQueryLog(suffix);
    ChangeStatus([](CGPSStatusData& status) {
        status.m_nDgpsMode = DGPS_MODE_NONE;
        status.m_bDgpsModeValid = false;
        status.m_bUpdated = false;
    });
}

namespace {
constexpr CommandStep kLogListQuery[] = {{L"LOG LOGLISTA ONCE\r\n", 200}};
constexpr CommandStep kWaasQuery[] = {{L"LOG WAAS1A ONCE\r\n", 200}};
constexpr CommandStep kOmniStarQueries[] = {
    {L"LOG OMNIINFOA ONCE\r\n", 200}, {L"LOG OMNISTATA ONCE\r\n", 200}, {L"LOG OMNIHPPOSA ONCE\r\n", 200}};
}  // namespace

void Cgsr2650lb::QueryNmeaActive() {
    if (m_Port.IsOpen()) SendSteps(kLogListQuery);
}

void Cgsr2650lb::QueryWAAS() {
    if (m_Port.IsOpen()) SendSteps(kWaasQuery);
}

void Cgsr2650lb::QueryOmniStar() {
    if (m_Port.IsOpen()) SendSteps(kOmniStarQueries);
}

void Cgsr2650lb::QueryLbandSatellites() { QueryOmniStar(); }

// ---- Settings

void Cgsr2650lb::SetSatElevMask(int nDegrees) {
    if (!m_Port.IsOpen()) return;
    WriteCommand(CString::Formatted(L"ECUTOFF %i\r\n", nDegrees), 200);
    WriteCommand(kSaveConfig, 500);
}

// ---- Correction sources

namespace {
// Whatever RTK, pseudorange or SBAS corrections arrive.
constexpr CommandStep kAutomaticSources[] = {
    {L"RTKSOURCE AUTO ANY\r\n", 100}, {L"PSRDIFFSOURCE AUTO ANY\r\n", 100}, {L"SBASCONTROL ENABLE AUTO\r\n", 100}};
constexpr CommandStep kNoSources[] = {
    {L"RTKSOURCE NONE\r\n", 100}, {L"PSRDIFFSOURCE NONE\r\n", 100}, {L"SBASCONTROL DISABLE AUTO\r\n", 100}};
constexpr CommandStep kLbandSources[] = {
    {L"RTKSOURCE OMNISTAR\r\n", 100}, {L"PSRDIFFSOURCE NONE\r\n", 100}, {L"SBASCONTROL DISABLE AUTO\r\n", 100}};
constexpr CommandStep kWaasSources[] = {
    {L"RTKSOURCE NONE\r\n", 100}, {L"PSRDIFFSOURCE NONE\r\n", 100}, {L"SBASCONTROL ENABLE AUTO\r\n", 100}};
constexpr CommandStep kCdgpsSources[] = {
    {L"PSRDIFFSOURCE CDGPS\r\n", 100}, {L"RTKSOURCE NONE\r\n", 100}, {L"SBASCONTROL DISABLE AUTO\r\n", 100}};
constexpr CommandStep kOmniStarSources[] = {
    {L"PSRDIFFSOURCE OMNISTAR\r\n", 100}, {L"RTKSOURCE NONE\r\n", 100}, {L"SBASCONTROL DISABLE AUTO\r\n", 100}};

// A mode the receiver has no sources for changes only the datum.
std::span<const CommandStep> SourceCommands(DgpsMode eMode) {
    switch (eMode) {
        case DGPS_MODE_NONE:
            return kNoSources;
        case DGPS_MODE_BEACON:
            return kAutomaticSources;
        case DGPS_MODE_LBAND:
            return kLbandSources;
        case DGPS_MODE_WAAS:
            return kWaasSources;
        case DGPS_MODE_CDGPS:
            return kCdgpsSources;
        case DGPS_MODE_OMNISTAR:
            return kOmniStarSources;
        default:
            return {};
    }
}

// Corrections refer to WGS84, with the receiver's own undulation table.
constexpr CommandStep kWgs84Datum[] = {{L"UNDULATION TABLE\r\n", 100}, {L"DATUM WGS84\r\n", 100}};
}  // namespace

void Cgsr2650lb::SetBeacon(BEACON_MODE_TYPE, CString, CString) {
    if (m_Port.IsOpen()) SendSteps(kAutomaticSources);
}

void Cgsr2650lb::SetDgpsMode(DgpsMode eMode) {
    if (!m_Port.IsOpen()) return;
    SendSteps(kWgs84Datum);
    SendSteps(SourceCommands(eMode));
    WriteCommand(kSaveConfig, 2000);
    // Reported without waiting for the receiver's reply, also for a mode it has no sources for.
    ChangeStatus([eMode](CGPSStatusData& status) {
        status.m_nDgpsMode = eMode;
        status.m_bDgpsModeValid = true;
        status.m_bUpdated = true;
    });
}

void Cgsr2650lb::DgpsStatusMsg(bool) {}

namespace {
// A user datum (the WGS84 ellipsoid, shifted and rotated) with a fixed undulation. The receiver
// takes the blank before the line end and "datum user" in lower case as they are.
constexpr CommandStep kUserDatum[] = {
    {L"USERDATUM 6378137 298.257222101 -.9910 1.9072 .5129 .000000125033 .0000000467845 "
     L".0000000565292 0 \r\n",
     100},
    {L"datum user\r\n", 100},
    {L"UNDULATION USER -1.09\r\n", 100},
    {kSaveConfig, 1000}};
}  // namespace

void Cgsr2650lb::SendCorrection() {
    if (m_Port.IsOpen()) SendSteps(kUserDatum);
}

// ---- L-band

namespace {
constexpr double kMaxCdgpsFrequencyMHz = 3000.0;
constexpr int kLbandTuneAutomatic = 1;
constexpr int kLbandTuneManual = 2;
}  // namespace

void Cgsr2650lb::ChangeCDGPS_Freq(double dFrequency) {
    if (!m_Port.IsOpen()) return;
    // Also refuses a frequency that is not a number.
    if (!(dFrequency >= 0.0 && dFrequency <= kMaxCdgpsFrequencyMHz)) return;
    // The receiver takes kHz; the fraction of a MHz is dropped first.
    const int nKiloHertz = static_cast<int>(dFrequency) * 1000;
    WriteCommand(CString::Formatted(L"ASSIGNLBAND CDGPS %i 4800\r\n", nKiloHertz), 100);
    WriteCommand(kSaveConfig, 1000);
}

void Cgsr2650lb::SetLbandFrequency(double dFrequency, int nRate) {
    if (!m_Port.IsOpen()) return;
    int nTuneMode = kLbandTuneAutomatic;
    if (dFrequency == 0.0) {
        WriteCommand(L"RTKSOURCE OMNISTAR ANY\r\n", 800);
    } else {
        // In kHz, and the bit rate.
        WriteCommand(CString::Formatted(L"ASSIGNOMNI USER %.0f %d\r\n", dFrequency * 1000.0, nRate), 800);
        nTuneMode = kLbandTuneManual;
    }
    ChangeStatus([nTuneMode](CGPSStatusData& status) { status.m_nLbandTuneMode = nTuneMode; });
    WriteCommand(kSaveConfig, 2000);
}

// ---- Factory reset

bool Cgsr2650lb::ResetAll(bool bWait) {
    if (!m_Port.IsOpen()) return false;
    const bool bAcknowledged = WriteAck(L"RESET 0\r\n", bWait, 10000);
    // The receiver comes back with its factory NMEA output and sources.
    if (!Initialize()) return false;
    SetDgpsMode(DGPS_MODE_BEACON);
    platform::Sleep(3000);
    return bAcknowledged;
}

}  // namespace tolvik
