// CGPSReceiver: construction, the shared static state, base answers of the virtual interface,
// settings and the port operations of the base class.
#include "tolvik/receiver/CGPSReceiver.h"

#include <optional>

#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"
#include "tolvik/port/CAck.h"
#include "tolvik/resources/Resources.h"

namespace tolvik {

TOLVIK_IMPLEMENT_DYNAMIC(CGPSReceiver, CObject)

// The one physical connection and the epoch being assembled, shared by all receiver objects.
// Constructed when the library loads, in this order.
CBluetoothOrSerialPort CGPSReceiver::m_Port;
CSpeedEngine CGPSReceiver::m_SpeedEngine;
CGPSData CGPSReceiver::m_GPSData;
CGPSDataRaw CGPSReceiver::m_GPSDataRaw;
CGPSDataEphemeris CGPSReceiver::m_GPSEphemeris;
CBinBuffer CGPSReceiver::m_GPSMessageRaw;
std::atomic<std::uint32_t> CGPSReceiver::m_wNmeaBits{0};
std::atomic<bool> CGPSReceiver::m_bMonitorNmea{false};
bool CGPSReceiver::m_bGSVReceived = false;
int CGPSReceiver::m_nTotalGSV = 0;
int CGPSReceiver::m_nNextGSV = 1;
bool CGPSReceiver::m_bGSAReceived = false;
bool CGPSReceiver::m_bComputeMotion = true;

namespace {
constexpr int kDefaultBaudRate = 9600;
constexpr const wchar_t* kBaudEntry = L"Baud";
}  // namespace

HostSafeMutex& CGPSReceiver::SharedStateLock() {
    static HostSafeMutex lock;
    return lock;
}

namespace {
std::atomic<bool> s_bBinaryRecordCopies{false};
}  // namespace

void CGPSReceiver::SetBinaryRecordCopies(bool bOn) { s_bBinaryRecordCopies.store(bOn); }

bool CGPSReceiver::BinaryRecordCopies() { return s_bBinaryRecordCopies.load(); }

CGPSReceiver::CGPSReceiver() : m_NotificationCallbacks(10), m_StatusStrings(10) {
    m_NotificationCallbacks.InitHashTable(17);
    m_StatusStrings.InitHashTable(17);
    // Creating a receiver restarts the shared NMEA bookkeeping.
    m_nTotalGSV = 0;
    m_nNextGSV = 1;
    m_bComputeMotion = true;
    m_bGSAReceived = false;
    m_bGSVReceived = false;
    m_bMonitorNmea = false;
    m_wNmeaBits = 0;
}

CGPSReceiver::~CGPSReceiver() {
    // The base version on purpose: a model's override must not run from a base destructor.
    CGPSReceiver::EnablePostProcessing(false);
    m_Port.Close();
}

// ---- Base answers

void* CGPSReceiver::GetPortHandle() { return m_Port.GetHandle(); }
bool CGPSReceiver::HasRawData() { return false; }
bool CGPSReceiver::IsAvailable() const { return true; }
bool CGPSReceiver::IsExternalDriver() { return false; }
bool CGPSReceiver::UseExternalSettings() { return false; }
bool CGPSReceiver::IsRtkReceiver() { return false; }
int CGPSReceiver::GetCurrentBaudrate() { return m_nBaudRate; }
int CGPSReceiver::GetDefaultBaudrate() { return kDefaultBaudRate; }
bool CGPSReceiver::HasDefaultComPort() { return false; }
int CGPSReceiver::GetDefaultComPort() { return 3; }
void CGPSReceiver::KeepAlive() {}
bool CGPSReceiver::ImplementsQueryNmea() { return false; }
void CGPSReceiver::QueryNmeaActive() {}
bool CGPSReceiver::ImplementsQueryGpsSettings() { return false; }
void CGPSReceiver::QueryGpsSettings() {}
bool CGPSReceiver::ImplementsBeacon() { return false; }
void CGPSReceiver::QueryBeacon() {}
void CGPSReceiver::SetBeacon(BEACON_MODE_TYPE, CString, CString) {}
bool CGPSReceiver::ImplementsSetElevMask() { return false; }
void CGPSReceiver::QuerySatElevMask() {}
void CGPSReceiver::SetSatElevMask(int) {}
bool CGPSReceiver::ImplementsSetNmea() { return false; }
void CGPSReceiver::SetDefaultNMEA() {}
void CGPSReceiver::SetGgaOnlyNMEA() {}
bool CGPSReceiver::ImplementsResetAll() { return false; }
bool CGPSReceiver::ResetAll(bool) { return false; }
bool CGPSReceiver::GGASendsOrthoHeight() { return false; }
bool CGPSReceiver::HasDGPSSupport() const { return false; }
void CGPSReceiver::QueryDgpsMode() {}
void CGPSReceiver::SetDgpsMode(DgpsMode) {}
void CGPSReceiver::QueryOmniStar() {}
void CGPSReceiver::DgpsStatusMsg(bool) {}
void CGPSReceiver::QueryLbandSatellites() {}
void CGPSReceiver::SetLbandFrequency(double, int) {}
void CGPSReceiver::SendCorrection() {}
void CGPSReceiver::ChangeCDGPS_Freq(double) {}
void CGPSReceiver::QueryWAAS() {}

// ---- Configuration

void CGPSReceiver::SetupReceiver(int nComPort, int nGeoidMode, double dAntennaHeight, const CString& strSetup,
                                 bool bEmulation) {
    m_nComPort = nComPort;
    m_nGeoidMode = nGeoidMode;
    m_dAntennaHeight = dAntennaHeight;
    m_strSetupString = strSetup;
    m_bEmulation = bEmulation;
}

bool CGPSReceiver::Initialize() {
    {
        std::lock_guard lock(SharedStateLock());
        m_bComputeMotion = true;
        m_bGSAReceived = false;
        m_bGSVReceived = false;
        m_GPSData.Invalidate(true);
        m_GPSData.m_Status.Invalidate();
    }
    LoadAlternatGPSStatusStrings();
    if (m_bEmulation) return true;
    return OpenPort();
}

bool CGPSReceiver::OpenPort() {
    m_Port.SetPortNumber(m_nComPort);
    m_Port.SetBaudRate(m_nBaudRate);
    m_Port.SetHandshake(0);
    m_Port.SetParity(0);
    m_Port.SetStopBits(0);
    return m_Port.Open();
}

void CGPSReceiver::Suspend() {
    EnablePostProcessing(false);
    if (!m_bEmulation) m_Port.Close();
}

void CGPSReceiver::Send(const CString& strCommand) {
    if (m_Port.IsOpen()) m_Port.Write(strCommand + L"\r\n");
}

bool CGPSReceiver::SendBinary(const unsigned char* pData, unsigned short nLength) {
    if (!pData || nLength == 0) return false;
    return m_Port.WriteBinary(pData, nLength);
}

bool CGPSReceiver::WriteAck(const CString& strCommand, bool bWait, int nTimeout) {
    CWinApp* app = AfxGetApp();
    app->BeginWaitCursor();
    // The wait window exists before the command goes out: constructing it clears the shared
    // acknowledgement flag, so an answer that arrives before the wait starts still counts.
    std::optional<CAck> ack;
    if (bWait) ack.emplace(nullptr);
    if (!m_Port.Write(strCommand)) {
        app->EndWaitCursor();
        return false;
    }
    if (!bWait) {
        platform::Sleep(static_cast<DWORD>(nTimeout > 0 ? nTimeout : 0));
        app->EndWaitCursor();
        return true;
    }
    bool result = false;
    if (ack->Create(IDD_ACK, nullptr)) {
        result = ack->Wait(nTimeout);
        ack->DestroyWindow();
    }
    ack.reset();
    app->EndWaitCursor();
    return result;
}

void CGPSReceiver::SetProperties() {
    const CString name = GetName();
    m_nBaudRate = GetDefaultBaudrate();
    m_nBaudRate = AfxGetApp()->GetProfileInt(name, kBaudEntry, m_nBaudRate);
}

bool CGPSReceiver::SaveDifferentSettings(int nBaudRate) {
    if (nBaudRate == m_nBaudRate) return false;
    m_nBaudRate = nBaudRate;
    AfxGetApp()->WriteProfileInt(GetName(), kBaudEntry, nBaudRate);
    return true;
}

// ---- Last records (the library never updates m_Notification after construction)

bool CGPSReceiver::GetLastGPSPositionData(CGPSData& data) {
    data = m_Notification.m_LastPosition;
    return data.m_bPositionValid;
}

bool CGPSReceiver::GetLastGPSProprietaryMessage(CGPSData& data) {
    data = m_Notification.m_LastProprietary;
    return data.m_bProprietaryValid;
}

void CGPSReceiver::GetLastGPSRawData(CGPSDataRaw& data) { data = m_Notification.m_LastRaw; }

void CGPSReceiver::GetLastGPSEphemerisData(CGPSDataEphemeris& data) { data = m_Notification.m_LastEphemeris; }

// ---- Shared state operations the host may call while the engine runs

void CGPSReceiver::ResetSpeedEngine() {
    std::lock_guard lock(SharedStateLock());
    m_SpeedEngine.Reset();
}

void CGPSReceiver::InvalidateSVInfo() {
    std::lock_guard lock(SharedStateLock());
    m_GPSData.m_bSVInfoValid = false;
}

}  // namespace tolvik
