#include "support/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "sim/Nmea.h"
#include "tolvik/engine/CGPSEngine.h"

namespace tolvik::test {

std::string SharedData(const std::string& relative) { return std::string(TOLVIK_SHARED_DATA_DIR) + "/" + relative; }

bool SharedDataAvailable() {
    struct stat st {};
    return stat(TOLVIK_SHARED_DATA_DIR, &st) == 0 && S_ISDIR(st.st_mode);
}

bool SharedDataRequired() {
    const char* v = std::getenv("TOLVIK_REQUIRE_SHARED_DATA");
    return v && std::string(v) == "1";
}

std::string ProjectFile(const std::string& relative) { return std::string(TOLVIK_SOURCE_DIR) + "/" + relative; }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << bytes;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::istringstream in(ReadFile(path));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvik-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

// ---- RecordingHost

class RecordingHost::MainWindow : public CWnd {
public:
    explicit MainWindow(RecordingHost& host) : m_host(host) { CreateOnThisThread(); }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_GPS_NEWDATA:
                m_host.epochs.emplace_back(reinterpret_cast<CGPSData*>(wParam));
                break;
            case WM_GPS_RAWSTRING:
                m_host.rawStrings.emplace_back(reinterpret_cast<CString*>(wParam));
                break;
            case WM_GPS_NEWDATARAW:
                m_host.rawEpochs.emplace_back(reinterpret_cast<CGPSDataRaw*>(wParam));
                break;
            case WM_GPS_EPHEMERIS:
                m_host.ephemerides.emplace_back(reinterpret_cast<CGPSDataEphemeris*>(wParam));
                break;
            case WM_GPS_BINARY:
                ++m_host.binaryMessages;
                if (lParam) m_host.binaryRecords.emplace_back(reinterpret_cast<CGPSBinaryRecord*>(lParam));
                break;
            case WM_GPS_DEVICE:
                m_host.deviceEvents.push_back(wParam);
                break;
            default:
                break;
        }
        return 0;
    }

private:
    RecordingHost& m_host;
};

RecordingHost::RecordingHost() : m_pWindow(std::make_unique<MainWindow>(*this)) {
    SetMainWnd(m_pWindow.get());
    SetHostApp(this);
}

RecordingHost::~RecordingHost() {
    SetHostApp(nullptr);
    SetMainWnd(nullptr);
    m_pWindow->DestroyWindow();  // frees whatever is still queued
}

int RecordingHost::Pump() { return PumpWaitingMessages(); }

int RecordingHost::DoMessageBox(const CString& text, UINT) {
    std::lock_guard lock(m_boxMutex);
    messageBoxes.push_back(text);
    return IDOK;
}

std::vector<CString> RecordingHost::MessageBoxes() {
    std::lock_guard lock(m_boxMutex);
    return messageBoxes;
}

CString RecordingHost::GetModuleFileName() const {
    return m_strModule.IsEmpty() ? CWinApp::GetModuleFileName() : m_strModule;
}

// ---- NMEA helpers

std::string Nmea(const std::string& body) { return sim::NmeaSentence(body); }

CString NmeaText(const std::string& body) { return CString::FromBytes(Nmea(body)); }

void Unplug(sim::SimulatedReceiver& receiver, int nPort) {
    CSerialPort::SetPortDevice(nPort, "/nonexistent/unplugged-tty");
    receiver.Unplug();
}

namespace {

// Everything a host reads from an epoch except the moment of posting (m_Time), field by field:
// the records have padding, whose bytes no copy is bound to keep.
auto Fields(const CGPSData& d) {
    const CGPSStatusData& s = d.m_Status;
    return std::tie(d.m_dLatitude, d.m_dLongitude, d.m_dAltitude, d.m_dHDOP, d.m_dPDOP, d.m_dVDOP, d.m_dMeanSNR,
                    d.m_dHorzError, d.m_dVertError, d.m_dPosError, d.m_nSatellitesUsed, d.m_nSatellitesInView,
                    d.m_nFixStatus, d.m_dCourse, d.m_dSpeed, d.m_bPositionValid, d.m_bVelocityValid, d.m_bDOPValid,
                    d.m_bSVInfoValid, d.m_bSatellitesChanged, d.m_bProprietaryValid, d.m_dUTCTime, d.m_dNorthOffset,
                    d.m_dEastOffset, s.m_bUpdated, s.m_bElevMaskValid, s.m_nElevMask, s.m_bNmeaStatusValid,
                    s.m_bPosModeValid, s.m_dOutputPeriod, s.m_bAckReceived, s.m_nDgpsMode);
}

auto Fields(const CGPSSatelliteData& x) {
    return std::tie(x.m_dElevation, x.m_dAzimuth, x.m_nPRN, x.m_bUsed, x.m_bInView, x.m_nSNR);
}

}  // namespace

void ExpectSameEpoch(const CGPSData& a, const CGPSData& b) {
    EXPECT_EQ(Fields(a), Fields(b));
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        EXPECT_EQ(Fields(a.m_Satellites[i]), Fields(b.m_Satellites[i])) << "satellite slot " << i;
    }
    EXPECT_EQ(0, std::memcmp(a.m_szProprietary, b.m_szProprietary, sizeof a.m_szProprietary));
    EXPECT_EQ(0, std::memcmp(a.m_Status.m_NmeaStatus, b.m_Status.m_NmeaStatus, sizeof a.m_Status.m_NmeaStatus));
    EXPECT_EQ(0, std::memcmp(a.m_Status.m_szReplyText, b.m_Status.m_szReplyText, sizeof a.m_Status.m_szReplyText));
}

void FreshSharedState() {
    std::lock_guard lock(CGPSReceiver::SharedStateLock());
    CGPSReceiver::m_GPSData = CGPSData();
    CGPSReceiver::m_SpeedEngine.Reset();
    CGPSReceiver::m_nTotalGSV = 0;
    CGPSReceiver::m_nNextGSV = 1;
}

std::vector<std::unique_ptr<CGPSData>> EngineReplay(RecordingHost& host, const std::vector<std::string>& lines) {
    FreshSharedState();
    CGPSEngine engine;
    CGPSReceiver* receiver = engine.FindReceiver(L"Other");
    receiver->SetupReceiver(0, 1, 1.5, L"", true);
    engine.SetReceiver(receiver);
    receiver->Initialize();
    for (const auto& line : lines) engine.ReplayLine(CString::FromBytes(line));
    host.Pump();
    return std::move(host.epochs);
}

}  // namespace tolvik::test
