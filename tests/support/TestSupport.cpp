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

void ExpectSameEpoch(const CGPSData& a, const CGPSData& b) {
    EXPECT_EQ(a.m_dLatitude, b.m_dLatitude);
    EXPECT_EQ(a.m_dLongitude, b.m_dLongitude);
    EXPECT_EQ(a.m_dAltitude, b.m_dAltitude);
    EXPECT_EQ(a.m_dHDOP, b.m_dHDOP);
    EXPECT_EQ(a.m_dPDOP, b.m_dPDOP);
    EXPECT_EQ(a.m_dVDOP, b.m_dVDOP);
    EXPECT_EQ(a.m_dMeanSNR, b.m_dMeanSNR);
    EXPECT_EQ(a.m_dHorzError, b.m_dHorzError);
    EXPECT_EQ(a.m_dVertError, b.m_dVertError);
    EXPECT_EQ(a.m_dPosError, b.m_dPosError);
    for (int i = 0; i < CGPSData::kMaxSatellites; ++i) {
        const CGPSSatelliteData& x = a.m_Satellites[i];
        const CGPSSatelliteData& y = b.m_Satellites[i];
        // Field by field: the record has padding, whose bytes no copy is bound to keep.
        EXPECT_EQ(std::tie(x.m_dElevation, x.m_dAzimuth, x.m_nPRN, x.m_bUsed, x.m_bInView, x.m_nSNR),
                  std::tie(y.m_dElevation, y.m_dAzimuth, y.m_nPRN, y.m_bUsed, y.m_bInView, y.m_nSNR))
            << "satellite slot " << i;
    }
    EXPECT_EQ(a.m_nSatellitesUsed, b.m_nSatellitesUsed);
    EXPECT_EQ(a.m_nSatellitesInView, b.m_nSatellitesInView);
    EXPECT_EQ(a.m_nFixStatus, b.m_nFixStatus);
    EXPECT_EQ(a.m_dCourse, b.m_dCourse);
    EXPECT_EQ(a.m_dSpeed, b.m_dSpeed);
    EXPECT_EQ(a.m_bPositionValid, b.m_bPositionValid);
    EXPECT_EQ(a.m_bVelocityValid, b.m_bVelocityValid);
    EXPECT_EQ(a.m_bDOPValid, b.m_bDOPValid);
    EXPECT_EQ(a.m_bSVInfoValid, b.m_bSVInfoValid);
    EXPECT_EQ(a.m_bSatellitesChanged, b.m_bSatellitesChanged);
    EXPECT_EQ(a.m_bProprietaryValid, b.m_bProprietaryValid);
    EXPECT_EQ(a.m_dUTCTime, b.m_dUTCTime);
    EXPECT_EQ(a.m_dNorthOffset, b.m_dNorthOffset);
    EXPECT_EQ(a.m_dEastOffset, b.m_dEastOffset);
    EXPECT_EQ(0, std::memcmp(a.m_szProprietary, b.m_szProprietary, sizeof a.m_szProprietary));
    const CGPSStatusData& s = a.m_Status;
    const CGPSStatusData& t = b.m_Status;
    EXPECT_EQ(s.m_bUpdated, t.m_bUpdated);
    EXPECT_EQ(s.m_bElevMaskValid, t.m_bElevMaskValid);
    EXPECT_EQ(s.m_nElevMask, t.m_nElevMask);
    EXPECT_EQ(s.m_bNmeaStatusValid, t.m_bNmeaStatusValid);
    EXPECT_EQ(0, std::memcmp(s.m_NmeaStatus, t.m_NmeaStatus, sizeof s.m_NmeaStatus));
    EXPECT_EQ(s.m_bPosModeValid, t.m_bPosModeValid);
    EXPECT_EQ(s.m_dOutputPeriod, t.m_dOutputPeriod);
    EXPECT_EQ(s.m_bAckReceived, t.m_bAckReceived);
    EXPECT_EQ(s.m_nDgpsMode, t.m_nDgpsMode);
    EXPECT_EQ(0, std::memcmp(s.m_szReplyText, t.m_szReplyText, sizeof s.m_szReplyText));
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
