// Helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/SimulatedReceiver.h"
#include "tolvik/platform/CString.h"
#include "tolvik/platform/Host.h"
#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik::test {

// Sample recordings of real receivers live in ../shared/data beside the project; tests read them
// in place. Path of a file there, e.g. SharedData("receivers/garmin17n.log").
std::string SharedData(const std::string& relative);
// Skips the test when the shared data folder is missing, unless TOLVIK_REQUIRE_SHARED_DATA=1
// (as CI sets it), in which case the test fails.
#define TOLVIK_REQUIRE_SHARED_DATA()                                                               \
    do {                                                                                           \
        if (!::tolvik::test::SharedDataAvailable()) {                                              \
            if (::tolvik::test::SharedDataRequired()) FAIL() << "missing " TOLVIK_SHARED_DATA_DIR; \
            GTEST_SKIP() << "shared sample data not found at " TOLVIK_SHARED_DATA_DIR;             \
        }                                                                                          \
    } while (0)
bool SharedDataAvailable();
bool SharedDataRequired();

// Path of a file committed in the project (e.g. "data/sample.log").
std::string ProjectFile(const std::string& relative);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Lines of a text file without their line ends.
std::vector<std::string> ReadLines(const std::string& path);

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A host that installs itself while it lives: its main window (created on the constructing
// thread) keeps every record the library posts, settings stay in memory, message boxes are
// recorded, and the executable path can be set.
class RecordingHost : public CWinApp {
public:
    RecordingHost();
    ~RecordingHost() override;

    // Dispatches the messages waiting for the main window; returns how many.
    int Pump();

    int DoMessageBox(const CString& text, UINT nType) override;
    CString GetModuleFileName() const override;
    void SetModuleFileName(const CString& path) { m_strModule = path; }

    std::vector<std::unique_ptr<CGPSData>> epochs;
    std::vector<std::unique_ptr<CString>> rawStrings;
    std::vector<std::unique_ptr<CGPSDataRaw>> rawEpochs;
    std::vector<std::unique_ptr<CGPSDataEphemeris>> ephemerides;
    int binaryMessages = 0;
    std::vector<std::unique_ptr<CGPSBinaryRecord>> binaryRecords;  // with SetBinaryRecordCopies(true)
    std::vector<WPARAM> deviceEvents;                              // WM_GPS_DEVICE: lost or back
    std::vector<CString> messageBoxes;                             // guarded: boxes may come from the reader thread

    std::vector<CString> MessageBoxes();

private:
    class MainWindow;
    std::unique_ptr<MainWindow> m_pWindow;
    CString m_strModule;
    std::mutex m_boxMutex;
};

// A receiver with every protected member made public, for handler-level tests.
class TestReceiver : public CGPSReceiver {
public:
    CString GetName() override { return m_strName; }
    CString m_strName = L"Test Receiver";

    using CGPSReceiver::BroadcastNotification;
    using CGPSReceiver::GetNmeaMsgStatus;
    using CGPSReceiver::IsChecksumOK;
    using CGPSReceiver::PostNewData;
    using CGPSReceiver::PostNewDataRaw;
    using CGPSReceiver::ProcessAxis4BIN;
    using CGPSReceiver::ProcessBIN;
    using CGPSReceiver::ProcessCRMSK;
    using CGPSReceiver::ProcessCRMSS;
    using CGPSReceiver::ProcessECUTOFF;
    using CGPSReceiver::ProcessGarminEstPrecision;
    using CGPSReceiver::ProcessGGA;
    using CGPSReceiver::ProcessGSA;
    using CGPSReceiver::ProcessGSV;
    using CGPSReceiver::ProcessINGGA;
    using CGPSReceiver::ProcessJiOrJgeoOrRd1;
    using CGPSReceiver::ProcessJSHOW;
    using CGPSReceiver::ProcessLOGLIST;
    using CGPSReceiver::ProcessOMNIHPPOS;
    using CGPSReceiver::ProcessOMNIINFO;
    using CGPSReceiver::ProcessOMNISTAT;
    using CGPSReceiver::ProcessPARPEM;
    using CGPSReceiver::ProcessPARPER;
    using CGPSReceiver::ProcessPARPMD;
    using CGPSReceiver::ProcessPARPRTA;
    using CGPSReceiver::ProcessPASHR;
    using CGPSReceiver::ProcessPASHR_MBN;
    using CGPSReceiver::ProcessPASHR_PBN;
    using CGPSReceiver::ProcessPASHR_SNV;
    using CGPSReceiver::ProcessPMCAG;
    using CGPSReceiver::ProcessPSLIRParMode;
    using CGPSReceiver::ProcessPSLIRParNmea;
    using CGPSReceiver::ProcessPSRDIFFSOURCE;
    using CGPSReceiver::ProcessRTKSOURCE;
    using CGPSReceiver::ProcessRXCONFIG;
    using CGPSReceiver::ProcessSBASCONTROL;
    using CGPSReceiver::ProcessVTG;
    using CGPSReceiver::ProcessWAAS1;
    using CGPSReceiver::ReadDoubleValue;
    using CGPSReceiver::ReadIntValue;
    using CGPSReceiver::WriteAck;
};

// An NMEA sentence with its checksum and line end: Nmea("GPGGA,...") gives "$GPGGA,...*hh\r\n".
std::string Nmea(const std::string& body);
// The same as the text a framed sentence reaches Parse with: "$...*hh\r\n" as a CString.
CString NmeaText(const std::string& body);

// Pulls the cable of a simulated receiver mapped to nPort. The device node goes with it, as a
// USB adapter's does: the system may hand the freed terminal number to a test running beside
// this one, and a reopen must not take that terminal away from it.
void Unplug(sim::SimulatedReceiver& receiver, int nPort);

// Replay equivalence: epochs that two paths through the library produced for the same bytes.
// Forgets what an earlier run in this process left in the state the receivers share.
void FreshSharedState();
// Every field a host sees is the same in both, except the moment of posting (m_Time).
void ExpectSameEpoch(const CGPSData& a, const CGPSData& b);
// The epochs the engine posts to the host for the lines of a recording replayed one by one with
// the "Other" model (geoid mode 1, antenna 1.5 m), as the tool's fast replay passes them on.
std::vector<std::unique_ptr<CGPSData>> EngineReplay(RecordingHost& host, const std::vector<std::string>& lines);

}  // namespace tolvik::test
