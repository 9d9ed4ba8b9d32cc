#include "tolvik/models/CSokkiaAxis3.h"

#include <cmath>
#include <span>

#include "models/CommandSets.h"
#include "replies/ReplyFields.h"

namespace tolvik {

// Like every receiver record, this one declares CObject as its base, whatever the C++ base.
TOLVIK_IMPLEMENT_DYNAMIC(CSokkiaAxis3, CObject)

namespace {

// The receiver writes its settings to flash and takes no command for two seconds.
constexpr const wchar_t* kSave = L"$JSAVE\r\n";
void SaveSettings() { WriteCommand(kSave, 2000); }

// Binary message 95 (raw measurements) at five per second or once per second.
constexpr const wchar_t* kBin95FivePerSecond = L"$JBIN,95,0.2\r\n";
constexpr const wchar_t* kBin95OncePerSecond = L"$JBIN,95,1\r\n";

// Saving stops the binary output, so message 95 is switched on again at the interval last
// chosen (even when raw data was switched off since: the interval outlives that).
void RepeatBinaryMessage95() {
    const bool bFast = s_dBinOutputInterval.load() == 0.2;
    WriteCommand(bFast ? kBin95FivePerSecond : kBin95OncePerSecond, 200);
}

}  // namespace

CSokkiaAxis3::CSokkiaAxis3() = default;
CSokkiaAxis3::~CSokkiaAxis3() = default;

CString CSokkiaAxis3::GetName() { return L"Sokkia Axis3"; }
bool CSokkiaAxis3::HasRawData() { return true; }
bool CSokkiaAxis3::ImplementsQueryNmea() { return true; }
bool CSokkiaAxis3::ImplementsBeacon() { return true; }
bool CSokkiaAxis3::ImplementsSetElevMask() { return true; }
bool CSokkiaAxis3::ImplementsSetNmea() { return true; }
bool CSokkiaAxis3::HasDGPSSupport() const { return true; }

bool CSokkiaAxis3::Initialize() {
    if (!CGPSReceiver::Initialize()) return false;
    platform::Sleep(500);
    return true;
}

// ---- Raw data: binary messages 96 and 95, sent without pauses

namespace {
constexpr int kFivePerSecondRate = 5;
constexpr const wchar_t* kRawFivePerSecond[] = {L"$JBIN,96,0.2\r\n", kBin95FivePerSecond};
constexpr const wchar_t* kRawOncePerSecond[] = {L"$JBIN,96,1\r\n", kBin95OncePerSecond};
constexpr const wchar_t* kRawOff[] = {L"$JBIN,96,0\r\n", L"$JBIN,95,0\r\n"};

}  // namespace

void CSokkiaAxis3::SetRawDataOutput(bool bOn, int nRate) {
    if (!m_Port.IsOpen()) return;
    if (!bOn) {
        SendSteps(kRawOff, 0);  // the interval is kept for the next repeat of message 95
    } else if (nRate == kFivePerSecondRate) {
        SendSteps(kRawFivePerSecond, 0);
        s_dBinOutputInterval = 0.2;
    } else {
        SendSteps(kRawOncePerSecond, 0);
        s_dBinOutputInterval = 1.0;
    }
    WriteCommand(kSave, 0);
}

bool CSokkiaAxis3::EnablePostProcessing(bool bOn) {
    SetRawDataOutput(bOn, 1);
    return true;
}

bool CSokkiaAxis3::SetRawDataOutputInterval(double dInterval) {
    int nRate = 0;
    if (!replies::TruncateToInt(dInterval, nRate)) return false;
    SetRawDataOutput(true, nRate);
    return true;
}

// ---- Queries

namespace {
void SendQueries(std::span<const wchar_t* const> queries) {
    if (!CGPSReceiver::m_Port.IsOpen()) return;
    SendSteps(queries, 200);
}

constexpr const wchar_t* kShowQuery[] = {L"$JSHOW\r\n"};
constexpr const wchar_t* kLbandBeamQuery[] = {L"$JLBEAM\r\n"};
constexpr const wchar_t* kBeaconQueries[] = {L"$GPCRQ,MSS\r\n", L"$GPCRQ,MSK\r\n"};
constexpr const wchar_t* kOmniStarQueries[] = {L"$JI\r\n", L"$JGEO\r\n"};
}  // namespace

void CSokkiaAxis3::QueryJSHOW() { SendQueries(kShowQuery); }
void CSokkiaAxis3::QueryNmeaActive() { QueryJSHOW(); }
void CSokkiaAxis3::QuerySatElevMask() { QueryJSHOW(); }
void CSokkiaAxis3::QueryDgpsMode() { QueryJSHOW(); }
void CSokkiaAxis3::QueryLbandSatellites() { SendQueries(kLbandBeamQuery); }
void CSokkiaAxis3::QueryBeacon() { SendQueries(kBeaconQueries); }

void CSokkiaAxis3::QueryOmniStar() {
    if (!m_Port.IsOpen()) return;
    SendQueries(kOmniStarQueries);
    QueryJSHOW();
}

// ---- Settings

void CSokkiaAxis3::SetSatElevMask(int nDegrees) {
    if (!m_Port.IsOpen()) return;
    WriteCommand(CString::Formatted(L"$JMASK,%d\r\n", nDegrees), 800);
    SaveSettings();
    RepeatBinaryMessage95();
}

void CSokkiaAxis3::SetLbandFrequency(double dFrequency, int nRate) {
    if (!m_Port.IsOpen()) return;
    // The receiver takes the frequency in kHz.
    WriteCommand(CString::Formatted(L"$JFREQ,%f,%d\r\n", dFrequency * 1000.0, nRate), 800);
    SaveSettings();
    RepeatBinaryMessage95();
}

void CSokkiaAxis3::SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) {
    if (SendBeaconCommand(eMode, strFrequency, strBitRate)) SaveSettings();
}

// ---- NMEA output: everything off, then the sentences once per second

namespace {
constexpr const wchar_t* kDefaultNmea[] = {L"$JASC,GPGGA,1\r\n", L"$JASC,GPGSA,1\r\n", L"$JASC,GPVTG,1\r\n",
                                           L"$JASC,GPGSV,1\r\n"};
constexpr const wchar_t* kGgaOnlyNmea[] = {L"$JASC,GPGGA,1\r\n"};

void SendNmeaSetup(std::span<const wchar_t* const> sentences) {
    if (!CGPSReceiver::m_Port.IsOpen()) return;
    WriteCommand(L"$JOFF\r\n", 1000);
    SendSteps(sentences, 200);
    SaveSettings();
    RepeatBinaryMessage95();
}
}  // namespace

void CSokkiaAxis3::SetDefaultNMEA() { SendNmeaSetup(kDefaultNmea); }
void CSokkiaAxis3::SetGgaOnlyNMEA() { SendNmeaSetup(kGgaOnlyNmea); }

// ---- Differential source

namespace {
// Changing the application (L-band or WAAS) restarts the receiver's firmware: long pauses.
constexpr CommandStep kDgpsNone[] = {{L"$JDIFF,OFF\r\n", 1000}};
constexpr CommandStep kDgpsBeacon[] = {{L"$JDIFF,BEACON\r\n", 1000}};
constexpr CommandStep kDgpsLband[] = {{L"$JAPP,2\r\n", 5000}, {L"$JDIFF,LBAND\r\n", 5000}};
constexpr CommandStep kDgpsWaas[] = {{L"$JAPP,1\r\n", 5000}, {L"$JDIFF,WAAS\r\n", 5000}};

// The receiver has no command for the other sources; for them the operation only saves.
std::span<const CommandStep> DgpsSourceCommands(DgpsMode eMode) {
    switch (eMode) {
        case DGPS_MODE_NONE:
            return kDgpsNone;
        case DGPS_MODE_BEACON:
            return kDgpsBeacon;
        case DGPS_MODE_LBAND:
            return kDgpsLband;
        case DGPS_MODE_WAAS:
            return kDgpsWaas;
        default:
            return {};
    }
}
}  // namespace

// No open test: on a closed port the writes fail and the pauses still pass.
void CSokkiaAxis3::SetDgpsMode(DgpsMode eMode) {
    SendSteps(DgpsSourceCommands(eMode));
    SaveSettings();
}

void CSokkiaAxis3::DgpsStatusMsg(bool bOn) {
    if (!m_Port.IsOpen()) return;
    WriteCommand(bOn ? L"$JASC,D1,1\r\n" : L"$JASC,D1,0\r\n", 0);
}

}  // namespace tolvik
