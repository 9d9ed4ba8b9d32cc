// The nineteen receiver models: names, run-time records and capability answers, and the exact
// transcript of every command operation (commands and pauses, in order) as the simulated receiver
// hears it, on a closed port and on an open one, in the C locale and in one with a decimal comma
// (a GUI host in a German locale must still send "$JFREQ,1557845.000000,1200").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/Nmea.h"
#include "support/CommandTrace.h"
#include "support/TestSupport.h"
#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/models/Models.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
constexpr int kPort = 4;

struct SirfProbe : CSirf {
    using CSirf::SendBinaryMsg;
};

// What an operation returned or left behind, noted after its transcript as " =value".
std::string g_notes;
template <class V>
void Note(const V& value) {
    std::ostringstream text;
    text << " =" << value;
    g_notes += text.str();
}

// Each command with its line end and the given pause mark ("" when it has none).
std::string Paced(const std::vector<std::string>& commands, const std::string& mark) {
    std::string text;
    for (const std::string& command : commands) text += command + "\r\n" + mark;
    return text;
}
std::string Bytes(std::vector<int> bytes) { return std::string(bytes.begin(), bytes.end()); }

// The status fields the gsr2650lb commands touch (elevation mask valid, DGPS mode valid, the mode,
// updated, L-band tuning), then its raw logs (on, interval). Every row starts from "11310 0/4".
std::string State(const Cgsr2650lb& r) {
    const CGPSStatusData& s = CGPSReceiver::m_GPSData.m_Status;
    std::string text;
    for (int n : {+s.m_bElevMaskValid, +s.m_bDgpsModeValid, +s.m_nDgpsMode, +s.m_bUpdated, s.m_nLbandTuneMode})
        text += std::to_string(n);
    return text + " " + std::to_string(r.m_bRawOutputOn) + "/" + std::to_string(r.m_nRawInterval);
}
const std::string kSame = " 11310 0/4";
void SetStartState(Cgsr2650lb& r) {
    CGPSStatusData& s = CGPSReceiver::m_GPSData.m_Status;
    s.m_bElevMaskValid = s.m_bDgpsModeValid = s.m_bUpdated = true;
    s.m_nDgpsMode = DGPS_MODE_WAAS;
    s.m_nLbandTuneMode = 0;
    r.m_bRawOutputOn = false;
    r.m_nRawInterval = 4;
}

struct Row {
    const char* legend;
    std::function<std::unique_ptr<CGPSReceiver>()> make;
    std::function<void(CGPSReceiver&)> op;
    std::string expected;     // sent on an open port, then the notes (and a gsr2650lb's state)
    std::string closed = "";  // sent (and a changed gsr2650lb state) when the port cannot open
};
// A row whose operation is a series of calls without arguments, in this order.
using Call = void (CGPSReceiver::*)();
template <class T>
Row Calls(const char* legend, std::vector<Call> calls, std::string expected) {
    return {legend, [] { return std::make_unique<T>(); },
            [calls](CGPSReceiver& r) {
                for (const Call call : calls) (r.*call)();
            },
            std::move(expected)};
}
template <class T>
Row On(const char* legend, std::function<void(T&)> op, std::string expected, std::string closed = "") {
    return {legend, [] { return std::make_unique<T>(); }, [op](CGPSReceiver& r) { op(static_cast<T&>(r)); },
            std::move(expected), std::move(closed)};
}
// The row with its receiver switched to emulation first: the port closed, nothing sent.
Row Emulated(Row row) {
    row.op = [op = row.op](CGPSReceiver& r) {
        CGPSReceiver::m_Port.Close();
        r.SetupReceiver(kPort, 0, 0.0, L"", true);
        op(r);
    };
    return row;
}

// What the row's operation sends on a fresh receiver (open: set up on the simulator and opened;
// otherwise left on port 0, which cannot open), and what it notes.
std::string Heard(const Row& row, bool open) {
    test::CommandTrace trace(kPort);
    test::RecordingHost host;
    const auto receiver = row.make();
    if (open) {
        receiver->SetupReceiver(kPort, 0, 0.0, L"", false);
        EXPECT_TRUE(receiver->OpenPort());
    }
    auto* gsr = dynamic_cast<Cgsr2650lb*>(receiver.get());
    if (gsr) SetStartState(*gsr);
    s_dBinOutputInterval = 0.2;  // its value when the library loads
    trace.Take();
    g_notes.clear();
    row.op(*receiver);
    // Nothing shows a box or leaves the wait cursor on, not even a failed open on construction.
    EXPECT_TRUE(host.MessageBoxes().empty() && host.WaitCursorDepth() == 0);
    const std::string sent = trace.Take(), state = gsr ? " " + State(*gsr) : "";
    if (!open) return sent + (state == kSame ? "" : state);  // the state only when it changed
    return sent + g_notes + state;
}

const std::string kAshtechDefault = Paced({"$PASHS,NME,ALL,A,OFF", "$PASHS,NME,GGA,A,ON", "$PASHS,NME,GSA,A,ON",
                                           "$PASHS,NME,VTG,A,ON", "$PASHS,NME,SAT,A,ON", "$PASHS,NME,GSV,A,ON"},
                                          "[200]");
const std::string kStarlinkDefault = Paced({"$PSLIS,NME,ALL,A,OFF", "$PSLIS,NME,GGA,A,ON", "$PSLIS,NME,GSA,A,ON",
                                            "$PSLIS,NME,VTG,A,ON", "$PSLIS,NME,GSV,A,ON"},
                                           "[200]");
const std::vector<std::string> kCsiSetup = {
    "$PASHS,RTC,AUT,Y",    "$PASHS,RTC,REM,B", "$PASHS,NME,GGA,A,ON", "$PASHS,NME,GSA,A,ON", "$PASHS,NME,VTG,A,ON",
    "$PASHS,NME,SAT,A,ON", "$PASHS,PDP,14",    "$PASHS,HDP,10",       "$PASHS,VDP,10",       "$PASHS,SAV,Y"};
const std::string kBeaconQueries = "$GPCRQ,MSS\r\n[200]$GPCRQ,MSK\r\n[200]";
const std::string kPar = "$PASHQ,PAR\r\n[500]", kStarlinkPar = "$PSLIQ,PAR\r\n[500]";
const std::string kStarlinkReset = "$PSLIS,RST,CLR\r\n[100][5000]" + kStarlinkDefault;
const std::string kMsk = "$GPMSK,304.0,M,,A,0\r\n[200]";

// SiRF: binary frames (A0 A2, length, payload, 15-bit sum, B0 B3), then NMEA with its checksum.
std::string DgpsSourceFrame(int source, int checksum) {
    return Bytes({0xA0, 0xA2, 0, 7, 0x85, source, 0, 0, 0, 0, 0, 0, checksum, 0xB0, 0xB3}) + "[3000]";
}
// Message 0x81, mode 2, ten zero rate and checksum pairs, the baud rate's low 16 bits.
std::string SwitchToNmeaFrame(int baudHigh, int baudLow, int checksum) {
    return Bytes({0xA0, 0xA2, 0x00, 0x18, 0x81, 0x02}) + std::string(20, '\0') +
           Bytes({baudHigh, baudLow, checksum >> 8, checksum & 0xFF, 0xB0, 0xB3}) + "[3000]";
}
const std::string kSirfGga = "$PSRF103,00,00,02,01*26\r\n[400]";
const std::string kSirfRmcGllOff = "$PSRF103,04,00,00,01*20\r\n[400]$PSRF103,01,00,00,01*25\r\n[400]";
const std::string kSirfDefault = kSirfGga +
                                 "$PSRF103,02,00,02,01*24\r\n[400]$PSRF103,05,00,02,01*23\r\n[400]"
                                 "$PSRF103,03,00,02,01*25\r\n[400]" +
                                 kSirfRmcGllOff;

// "$J" commands of the Sokkia Axis3 (and the CSI - MAX built on it).
const std::string kSave = "$JSAVE\r\n[2000]", k95Slow = "$JBIN,95,1\r\n[200]", k95Fast = "$JBIN,95,0.2\r\n[200]";
const std::string kRawOnSlow = "$JBIN,96,1\r\n$JBIN,95,1\r\n$JSAVE\r\n";

// gsr2650lb: the set-up names no port, two blanks after the word.
const std::string kGsrDefault =
    Paced({"LOG  GPGGA ONTIME 1 0 NOHOLD", "UNLOG  GPGGALONG", "UNLOG  GPGGARTK", "UNLOG  GPGLL", "UNLOG  GPGRS",
           "LOG  GPGSA ONTIME 1 0 NOHOLD", "UNLOG  GPGST", "LOG  GPGSV ONTIME 1 0 NOHOLD", "UNLOG  GPRMB",
           "UNLOG  GPRMC", "LOG  GPVTG ONTIME 1 0 NOHOLD", "UNLOG  GPZDA", "UNLOG  GPALM"},
          "[200]");
const std::string kGsrGgaOnly =
    Paced({"UNLOG  GPALM", "LOG  GPGGA ONTIME 1 0 NOHOLD", "UNLOG  GPGGALONG", "UNLOG  GPGGARTK", "UNLOG  GPGLL",
           "UNLOG  GPGRS", "UNLOG  GPGSA", "UNLOG  GPGST", "UNLOG  GPGSV", "UNLOG  GPRMB", "UNLOG  GPRMC",
           "UNLOG  GPVTG", "UNLOG  GPZDA"},
          "[200]");
const std::string kDatum = Paced({"UNDULATION TABLE", "DATUM WGS84"}, "[100]");
const std::string kAuto = Paced({"RTKSOURCE AUTO ANY", "PSRDIFFSOURCE AUTO ANY", "SBASCONTROL ENABLE AUTO"}, "[100]");
const std::string kOnChanged = Paced({"LOG RAWEPHEMB ONCHANGED", "LOG ALMANACB ONCHANGED"}, "[100]");
const std::string kRawOn1 = "LOG RANGEB ONTIME 1\r\n[100]" + kOnChanged;
const std::string kSave1 = "SAVECONFIG\r\n[1000]", kSave2 = "SAVECONFIG\r\n[2000]";

using R = CGPSReceiver;
using Ashtech = CAshtech;
using Gsr = Cgsr2650lb;
using Axis3 = CSokkiaAxis3;
// clang-format off
const std::vector<Row> kRows = {
    On<Ashtech>("default NMEA", [](auto& r) { r.SetDefaultNMEA(); }, kAshtechDefault),
    On<Ashtech>("GGA only", [](auto& r) { r.SetGgaOnlyNMEA(); },
                Paced({"$PASHS,NME,ALL,A,OFF", "$PASHS,NME,GGA,A,ON"}, "[200]")),
    On<Ashtech>("raw output on and off",
                [](auto& r) {
                    Note(r.EnablePostProcessing(true));
                    Note(r.EnablePostProcessing(false));
                },
                Paced({"$PASHS,RAW,MBN,A,ON", "$PASHS,RAW,PBN,A,ON", "$PASHS,RAW,SNV,A,ON", "$PASHS,RAW,MBN,A,OFF",
                       "$PASHS,RAW,PBN,A,OFF", "$PASHS,RAW,SNV,A,OFF"}, "[200]") + " =1 =1"),
    // The interval is stored whatever the result; only 0.25 s and longer are sent.
    On<Ashtech>("raw interval: a real number",
                [](auto& r) {
                    for (const double s : {0.2, 0.25, 1.5, HUGE_VAL}) {
                        Note(r.SetRawDataOutputInterval(s));
                        Note(r.m_dRawDataInterval);
                    }
                },
                "$PASHS,RCI,0.250000\r\n[200]$PASHS,RCI,1.500000\r\n[200] =0 =0.2 =1 =0.25 =1 =1.5 =0 =inf"),
    Calls<CCSI>("queries: PAR for both", {&R::QueryNmeaActive, &R::QueryGpsSettings}, kPar + kPar),
    Calls<CCSI>("query mask, beacon", {&R::QuerySatElevMask, &R::QueryBeacon}, kPar + kBeaconQueries),
    On<CCSI>("beacon mode 0 ignores the texts", [](auto& r) { r.SetBeacon(BEACON_MODE_AUTOMATIC, L"304.0", L"100"); },
             "$GPMSK,,A,,A,0\r\n[200]"),
    On<CCSI>("beacon, with and without bit rate",
             [](auto& r) {
                 r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L"");
                 r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L"100");
             },
             kMsk + "$GPMSK,304.0,M,100,M,0\r\n[200]"),
    On<CCSI>("reset, 23 s", [](auto& r) { Note(r.ResetAll(false)); },
             "$PASHS,RST\r\n[10000][3000]" + Paced(kCsiSetup, "[1000]") + " =1"),
    Emulated(On<CCSI>("reset, emulation", [](auto& r) { Note(r.ResetAll(false)); }, " =0")),
    Calls<CStarlink>("queries: PAR, none for settings",
                     {&R::QueryNmeaActive, &R::QuerySatElevMask, &R::QueryGpsSettings},
                     kStarlinkPar + kStarlinkPar),
    On<CStarlink>("query beacon", [](auto& r) { r.QueryBeacon(); }, "$PSLIQ,NME,MSS\r\n[200]$PSLIQ,NME,MSK\r\n[200]"),
    On<CStarlink>("beacon", [](auto& r) { r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L""); }, kMsk),
    On<CStarlink>("GGA only", [](auto& r) { r.SetGgaOnlyNMEA(); },
                  "$PSLIS,NME,ALL,A,OFF\r\n[200]$PSLIS,NME,GGA,A,ON\r\n[200]"),
    On<CStarlink>("reset never waits", [](auto& r) { Note(r.ResetAll(true)); }, kStarlinkReset + " =1"),
    Emulated(On<CStarlink>("reset, emulation", [](auto& r) { Note(r.ResetAll(true)); }, " =0")),
    Calls<CSokkia>("query mask, beacon", {&R::QuerySatElevMask, &R::QueryBeacon},
                   "$PMCAG,004,908\r\n[200]" + kBeaconQueries),
    On<CSokkia>("beacon, mode 2 is manual",
                [](auto& r) { r.SetBeacon(static_cast<BEACON_MODE_TYPE>(2), L"290.5", L""); },
                "$GPMSK,290.5,M,,A,0\r\n[200]"),
    Calls<CSokkia>("NMEA lists", {&R::SetDefaultNMEA, &R::SetGgaOnlyNMEA},
                   "$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,1,VTG,1,GSV,1,ZDA,0,RMC,0,GLL,0\r\n[1000]"
                   "$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,0,VTG,0,GSV,0,ZDA,0,RMC,0,GLL,0\r\n[1000]"),
    On<CSokkia>("initialize", [](auto& r) { Note(r.Initialize()); }, "$PMCAG,008,15,,,,,,,,,,5,,,,,\r\n[500] =1"),
    On<CLeica>("initialize", [](auto& r) { Note(r.Initialize()); },
               Paced({"$PMVXG,007,,1,,,,,", "$PMVXG,007,GGA,0,1,,1,6,2", "$PMVXG,007,GSA,0,1,,1,,,",
                      "$PMVXG,007,GSV,0,1,,5,,,"}, "[200]") + " =1"),

    On<SirfProbe>("WAAS at 4800 baud",
                  [](auto& r) {
                      r.m_nBaudRate = 4800;
                      r.SetDgpsMode(DGPS_MODE_WAAS);
                  },
                  "$PSRF100,0,4800,8,1,0*0F\r\n[3000]" + DgpsSourceFrame(1, 0x86) +
                  SwitchToNmeaFrame(0x12, 0xC0, 0x155) + kSirfDefault),
    On<SirfProbe>("L-band at 9600 baud: no source", [](auto& r) { r.SetDgpsMode(DGPS_MODE_LBAND); },
                  "$PSRF100,0,9600,8,1,0*0C\r\n[3000]" + DgpsSourceFrame(0, 0x85) +
                  SwitchToNmeaFrame(0x25, 0x80, 0x128) + kSirfDefault),
    On<SirfProbe>("reset at 115200 baud",
                  [](auto& r) {
                      r.m_nBaudRate = 115200;
                      Note(r.ResetAll(false));
                  },
                  SwitchToNmeaFrame(0xC2, 0x00, 0x145) + kSirfDefault + " =1"),
    On<SirfProbe>("largest frame whole, a larger one not at all; the sum 0x3FC000 keeps 15 bits",
                  [](auto& r) {
                      std::vector<unsigned char> payload(CSirf::kMaxPayloadBytes + 1, 0xFF);
                      Note(r.SendBinaryMsg(payload.data(), CSirf::kMaxPayloadBytes + 1));
                      Note(r.SendBinaryMsg(payload.data(), CSirf::kMaxPayloadBytes));
                  },
                  Bytes({0xA0, 0xA2, 0x40, 0}) + std::string(16384, '\xFF') + Bytes({0x40, 0, 0xB0, 0xB3}) + " =0 =1"),
    // Nothing is acknowledged: the reset does not wait for a receiver that never answers.
    On<CHolux>("reset", [](auto& r) { Note(r.ResetAll(true)); },
               SwitchToNmeaFrame(0x25, 0x80, 0x128) + kSirfDefault + " =1"),

    // The DGPS modes pause even on a closed port. The binary interval (noted last) starts at 0.2 s;
    // only the raw-output commands change it.
    On<Axis3>("initialize only settles", [](auto& r) { Note(r.Initialize()); }, "[500] =1"),
    On<Axis3>("post-processing: always once per second",
              [](auto& r) {
                  Note(r.EnablePostProcessing(true));
                  Note(s_dBinOutputInterval.load());
              },
              kRawOnSlow + " =1 =1"),
    On<Axis3>("off keeps the interval; L-band repeats 95 at it",
              [](auto& r) {
                  s_dBinOutputInterval = 1.0;
                  r.EnablePostProcessing(false);
                  r.SetLbandFrequency(1557.845, 1200);
                  Note(s_dBinOutputInterval.load());
              },
              "$JBIN,96,0\r\n$JBIN,95,0\r\n$JSAVE\r\n$JFREQ,1557845.000000,1200\r\n[800]" + kSave + k95Slow + " =1"),
    On<Axis3>("GGA only",
              [](auto& r) {
                  s_dBinOutputInterval = 1.0;
                  r.SetGgaOnlyNMEA();
              },
              "$JOFF\r\n[1000]$JASC,GPGGA,1\r\n[200]" + kSave + k95Slow),
    On<Axis3>("no interval at all", [](auto& r) { Note(r.SetRawDataOutputInterval(NAN)); }, " =0"),
    On<Axis3>("5.9 s truncates to 5: five per second",
              [](auto& r) {
                  s_dBinOutputInterval = 1.0;
                  r.SetRawDataOutputInterval(5.9);
                  Note(s_dBinOutputInterval.load());
              },
              "$JBIN,96,0.2\r\n$JBIN,95,0.2\r\n$JSAVE\r\n =0.2"),
    On<Axis3>("0.2 s truncates to 0: once per second",
              [](auto& r) {
                  Note(r.SetRawDataOutputInterval(0.2));
                  Note(s_dBinOutputInterval.load());
              },
              kRawOnSlow + " =1 =1"),
    On<Axis3>("default NMEA", [](auto& r) { r.SetDefaultNMEA(); },
              "$JOFF\r\n[1000]" + Paced({"$JASC,GPGGA,1", "$JASC,GPGSA,1", "$JASC,GPVTG,1", "$JASC,GPGSV,1"}, "[200]") +
              kSave + k95Fast),
    On<Axis3>("beacon", [](auto& r) { r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L""); }, kMsk + kSave),
    Calls<Axis3>("queries", {&R::QueryNmeaActive, &R::QueryDgpsMode, &R::QueryLbandSatellites, &R::QueryBeacon},
                 "$JSHOW\r\n[200]$JSHOW\r\n[200]$JLBEAM\r\n[200]" + kBeaconQueries),
    On<Axis3>("OmniSTAR",
              [](auto& r) {
                  r.QueryOmniStar();
                  r.DgpsStatusMsg(true);
                  r.DgpsStatusMsg(false);
              },
              "$JI\r\n[200]$JGEO\r\n[200]$JSHOW\r\n[200]$JASC,D1,1\r\n$JASC,D1,0\r\n"),
    On<Axis3>("DGPS none", [](auto& r) { r.SetDgpsMode(DGPS_MODE_NONE); }, "$JDIFF,OFF\r\n[1000]" + kSave,
              "[1000][2000]"),
    On<Axis3>("DGPS beacon", [](auto& r) { r.SetDgpsMode(DGPS_MODE_BEACON); },
              "$JDIFF,BEACON\r\n[1000]" + kSave, "[1000][2000]"),
    On<Axis3>("DGPS L-band", [](auto& r) { r.SetDgpsMode(DGPS_MODE_LBAND); },
              "$JAPP,2\r\n[5000]$JDIFF,LBAND\r\n[5000]" + kSave, "[5000][5000][2000]"),
    On<Axis3>("DGPS WAAS", [](auto& r) { r.SetDgpsMode(DGPS_MODE_WAAS); },
              "$JAPP,1\r\n[5000]$JDIFF,WAAS\r\n[5000]" + kSave, "[5000][5000][2000]"),
    On<Axis3>("DGPS CDGPS and OmniSTAR only save",
              [](auto& r) {
                  r.SetDgpsMode(DGPS_MODE_CDGPS);
                  r.SetDgpsMode(DGPS_MODE_OMNISTAR);
              },
              kSave + kSave, "[2000][2000]"),
    On<CCSImax>("CSI - MAX: as the Axis3", [](auto& r) { r.SetLbandFrequency(1557.845, 1200); },
                "$JFREQ,1557845.000000,1200\r\n[800]" + kSave + k95Fast),

    // The state after each row follows its transcript.
    On<Gsr>("GGA only", [](auto& r) { r.SetGgaOnlyNMEA(); }, kGsrGgaOnly + kSame),
    Calls<Gsr>("mask queries: COM2, one blank", {&R::QuerySatElevMask, &R::QueryGpsSettings},
               Paced({"LOG COM2 ECUTOFFA ONCE", "LOG COM2 ECUTOFFA ONCE"}, "[100]") + " 01300 0/4"),
    Calls<Gsr>("beacon and DGPS queries", {&R::QueryBeacon, &R::QueryDgpsMode},
               Paced({"LOG COM2 RXCONFIGA ONCE", "LOG COM2 RTKSOURCEA ONCE", "LOG COM2 SBASCONTROLA ONCE",
                      "LOG COM2 PSRDIFFSOURCEA ONCE"}, "[100]") + " 10000 0/4"),
    Calls<Gsr>("other queries", {&R::QueryNmeaActive, &R::QueryWAAS, &R::QueryLbandSatellites},
               Paced({"LOG LOGLISTA ONCE", "LOG WAAS1A ONCE", "LOG OMNIINFOA ONCE", "LOG OMNISTATA ONCE",
                      "LOG OMNIHPPOSA ONCE"}, "[200]") + kSame),
    On<Gsr>("beacon ignores its arguments",
            [](auto& r) {
                r.SetBeacon(BEACON_MODE_MANUAL, L"304", L"100");
                r.DgpsStatusMsg(true);
            },
            kAuto + kSame),
    On<Gsr>("user datum", [](auto& r) { r.SendCorrection(); },
            "USERDATUM 6378137 298.257222101 -.9910 1.9072 .5129 .000000125033 .0000000467845 "
            ".0000000565292 0 \r\n[100]datum user\r\n[100]UNDULATION USER -1.09\r\n[100]" + kSave1 + kSame),
    On<Gsr>("CDGPS drops the fraction first; 3000.5 and -1 are out of range",
            [](auto& r) {
                r.ChangeCDGPS_Freq(1547.9);
                r.ChangeCDGPS_Freq(3000.5);
                r.ChangeCDGPS_Freq(-1.0);
            },
            "ASSIGNLBAND CDGPS 1547000 4800\r\n[100]" + kSave1 + kSame),
    On<Gsr>("L-band automatic", [](auto& r) { r.SetLbandFrequency(0.0, 1200); },
            "RTKSOURCE OMNISTAR ANY\r\n[800]" + kSave2 + " 11311 0/4"),
    On<Gsr>("L-band manual", [](auto& r) { r.SetLbandFrequency(1557.845, 2400); },
            "ASSIGNOMNI USER 1557845 2400\r\n[800]" + kSave2 + " 11312 0/4"),
    On<Gsr>("DGPS CDGPS", [](auto& r) { r.SetDgpsMode(DGPS_MODE_CDGPS); },
            kDatum + Paced({"PSRDIFFSOURCE CDGPS", "RTKSOURCE NONE", "SBASCONTROL DISABLE AUTO"}, "[100]") + kSave2 +
            " 11410 0/4"),
    On<Gsr>("DGPS 7: datum only, 7 reported", [](auto& r) { r.SetDgpsMode(static_cast<DgpsMode>(7)); },
            kDatum + kSave2 + " 11710 0/4"),
    On<Gsr>("reset without waiting forgets replies and raw logs", [](auto& r) { Note(r.ResetAll(false)); },
            "RESET 0\r\n[10000]" + kGsrDefault + kDatum + kAuto + kSave2 + "[3000] =1 01110 0/0"),
    On<Gsr>("raw logs on twice: sent once",
            [](auto& r) {
                r.EnablePostProcessing(true);
                r.EnablePostProcessing(true);
            },
            kRawOn1 + kSave1 + " 11310 1/1"),
    On<Gsr>("initialize forgets the raw state",
            [](auto& r) {
                r.m_bRawOutputOn = true;
                r.Initialize();
                r.EnablePostProcessing(true);
            },
            kGsrDefault + kRawOn1 + kSave1 + " 00300 1/1", " 00300 0/0"),
    On<Gsr>("raw logs off when off", [](auto& r) { r.EnablePostProcessing(false); }, kSame),
    On<Gsr>("interval while off: off again", [](auto& r) { Note(r.SetRawDataOutputInterval(2.0)); },
            Paced({"UNLOG RANGEB", "UNLOG RAWEPHEMB", "UNLOG ALMANACB"}, "[100]") + kSave1 + " =1" + kSame),
    On<Gsr>("same whole seconds",
            [](auto& r) {
                r.m_bRawOutputOn = true;
                r.SetRawDataOutputInterval(4.9);
            },
            " 11310 1/4", " 11310 1/4"),
    On<Gsr>("new interval",
            [](auto& r) {
                r.m_bRawOutputOn = true;
                r.SetRawDataOutputInterval(5.5);
            },
            "LOG RANGEB ONTIME 5\r\n[100]" + kOnChanged + kSave1 + " 11310 1/5", " 11310 1/4"),
    Emulated(On<Gsr>("emulation initialises without a port",
                     [](auto& r) {
                         Note(r.Initialize());
                         Note(CGPSReceiver::m_Port.IsOpen());
                     },
                     " =1 =0 00300 0/0", " 00300 0/0")),
    On<Gsr>("not a number", [](auto& r) { Note(r.SetRawDataOutputInterval(NAN)); }, " =0" + kSame),
};
// clang-format on

TEST(CommandSets, EveryOperationSendsItsCommandsAndPausesInAnyLocale) {
    std::vector<const char*> locales = {"C"};
    for (const char* comma : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"}) {  // generated by scripts/deps
        if (std::setlocale(LC_ALL, comma) && *std::localeconv()->decimal_point == ',') {
            locales.push_back(comma);
            break;
        }
    }
    for (const char* locale : locales) {
        std::setlocale(LC_ALL, locale);
        for (const Row& row : kRows) {
            SCOPED_TRACE(std::string(locale) + ": " + row.legend);
            EXPECT_EQ(Heard(row, true), row.expected);
            EXPECT_EQ(Heard(row, false), row.closed);
        }
    }
    std::setlocale(LC_ALL, "C");
    if (locales.size() < 2) GTEST_SKIP() << "no comma-decimal locale (de_DE.UTF-8); scripts/deps generates it";
}

// Construction opens port 0 at 9600 baud and sets the NMEA output up, also after another
// engine's receiver took the open port to 4800 baud.
TEST(CommandSets, Gsr2650lbSetsUpPortZeroOnConstruction) {
    test::CommandTrace trace(0);
    test::RecordingHost host;
    Cgsr2650lb first;
    EXPECT_EQ(trace.Take(), "[10]" + kGsrDefault);
    EXPECT_EQ(trace.Receiver().BaudRate(), 9600);
    test::TestReceiver running;
    running.m_nBaudRate = 4800;
    ASSERT_TRUE(running.Initialize());
    ASSERT_EQ(trace.Receiver().BaudRate(), 4800);
    Cgsr2650lb second;
    EXPECT_EQ(trace.Take(), kGsrDefault);
    EXPECT_EQ(trace.Receiver().BaudRate(), 9600);
}

TEST(CommandSets, AcknowledgedResetThroughTheEngineEndsEachWaitEarly) {
    test::CommandTrace trace(kPort);
    test::RecordingHost host;
    CGPSEngine engine;
    auto* receiver = engine.FindReceiver(L"CSI");
    ASSERT_NE(receiver, nullptr);
    receiver->SetupReceiver(kPort, 0, 0.0, L"", false);
    engine.SetReceiver(receiver);
    ASSERT_TRUE(engine.Start());
    // Pause marks may precede a command on its line. The GSA sentence behind the acknowledgement
    // lets its single comma be framed.
    trace.Receiver().OnLine([&](const std::string& line) {
        if (line.find("$PASHS") == std::string::npos) return;
        trace.Receiver().Send(sim::NmeaSentence("PASHR,ACK") + test::Nmea("GPGSA,A,3,05,09,,,,,,,,,,,2.1,1.2,1.7"));
    });
    trace.Take();
    // The reader thread sits in its cycle pause after each reply: let those pauses pass while it
    // and the window's timer both wait, but never a first-byte wait, which a reply on its way
    // ends, nor anything near a time-out.
    std::atomic<bool> done{false};
    std::thread driver([&] {
        while (!done) {
            if (trace.Clock().WaitForTimedWaiters(2, 50ms))
                trace.Clock().AdvanceToNextDeadline(CGPSEngine::kCyclePauseMs);
        }
    });
    EXPECT_TRUE(receiver->ResetAll(true));
    done = true;
    driver.join();
    EXPECT_LT(trace.Clock().MonotonicMs(), 10000u);
    EXPECT_TRUE(trace.Receiver().WaitForReceived("$PASHS,RST\r\n[3000]" + Paced(kCsiSetup, ""), 10s));
    engine.Stop();  // also wakes a handler still waiting for the timer that is gone
}

// The checksum goes after the text; a text without "$" is left alone.
TEST(CommandSets, AppendNmeaChecksum) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {{L"$PSRF103,01,00,00,01", L"$PSRF103,01,00,00,01*25"},
                                                               {L"reset $", L"reset $*00"},
                                                               {L"x$A$", L"x$A$*65"},
                                                               {L"PSRF103,01", L"PSRF103,01"},
                                                               {L"", L""}};
    for (const auto& [text, expected] : cases) {
        CString sentence = text;
        const bool appended = AppendNmeaChecksum(sentence);
        EXPECT_EQ(appended, sentence != CString(text));
        EXPECT_EQ(sentence, CString(expected));
    }
}

// ---- The catalogue

using Factory = std::unique_ptr<CGPSReceiver> (*)();

template <class T>
std::unique_ptr<CGPSReceiver> Make() {
    return std::make_unique<T>();
}

struct ModelRow {
    const char* className;
    const wchar_t* displayName;
    const char* answers;  // Y or N for each question, in the order of the columns below
    int defaultBaud;
    Factory make;
    const CRuntimeClass* record;
};

// In the order of the engine's catalogue. Answers: raw data, query NMEA, query settings, beacon,
// elevation mask, set NMEA, reset, orthometric GGA height, DGPS.
// clang-format off
#define MODEL(C, ...) ModelRow{#C, __VA_ARGS__, &Make<C>, TOLVIK_RUNTIME_CLASS(C)}
const std::vector<ModelRow> kCatalogue = {
    MODEL(CAshtech,          L"Ashtech",         "YNNNNYNNN", 9600),
    MODEL(CCSI,              L"CSI",             "YYYYYYYNN", 9600),
    MODEL(CCSImax,           L"CSI - MAX",       "YYNYYYNNY", 9600),
    MODEL(CGarmin,           L"Garmin 17-N",     "NNNNNNNNN", 4800),
    MODEL(CHolux,            L"Holux",           "NNNNNYYNY", 4800),
    MODEL(CJavad,            L"Javad",           "NNNNNNNNN", 9600),
    MODEL(CLeica,            L"Leica",           "NNNNNNNNN", 9600),
    MODEL(COmnistar,         L"Omnistar",        "NNNNNNNNN", 4800),
    MODEL(CRacal,            L"Racal",           "YNNNNYNYN", 9600),
    MODEL(CSatloc,           L"Satloc",          "NNNNNNNNN", 9600),
    MODEL(CSirf,             L"SiRF",            "NNNNNYYNY", 4800),
    MODEL(CSokkia,           L"Sokkia Axis",     "NNNYYYNNN", 9600),
    MODEL(CSokkiaAxis3,      L"Sokkia Axis3",    "YYNYYYNNY", 9600),
    MODEL(Cgsr2650lb,        L"GSR2650 LB",      "YYNNYYYNY", 9600),
    MODEL(CStarlink,         L"Starlink",        "NYNYYYYYN", 9600),
    MODEL(CToughbookGPS01,   L"Toughbook GPS01", "NNNNNYYNY", 4800),
    MODEL(CHalvorn,          L"Halvorn",         "NNNNNNNNN", 4800),
    MODEL(CHalvornPocketGps, L"Halvorn Pocket",  "NNNNNNNNN", 9600),
    MODEL(COtherGps,         L"Other",           "NNNNNNNNN", 9600),
};
#undef MODEL
// clang-format on

// Models are built with no device behind port 0, as on a machine without receivers: the one model
// that opens the port on construction must then stay quiet. The host keeps this test's settings.
class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { CSerialPort::ClearPortDevices(); }

    test::RecordingHost host;
    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
};

TEST_F(CatalogueTest, EveryModelHasItsNameTreeRecordAndAnswers) {
    for (const ModelRow& row : kCatalogue) {
        SCOPED_TRACE(row.className);
        std::unique_ptr<CGPSReceiver> receiver = row.make();
        EXPECT_EQ(std::wstring(receiver->GetName().GetString()), row.displayName);

        std::string answers;
        for (const bool yes :
             {receiver->HasRawData(), receiver->ImplementsQueryNmea(), receiver->ImplementsQueryGpsSettings(),
              receiver->ImplementsBeacon(), receiver->ImplementsSetElevMask(), receiver->ImplementsSetNmea(),
              receiver->ImplementsResetAll(), receiver->GGASendsOrthoHeight(), receiver->HasDGPSSupport()})
            answers += yes ? 'Y' : 'N';
        EXPECT_EQ(answers, row.answers);
        EXPECT_FALSE(receiver->ResetAll(false));  // nothing behind the port
        // Every object starts at 9600, whatever its default, until its settings are loaded.
        EXPECT_EQ(receiver->GetCurrentBaudrate(), 9600);
        receiver->SetProperties();
        EXPECT_EQ(receiver->GetCurrentBaudrate(), row.defaultBaud);

        // The run-time record names the class itself and declares CObject as its base, so a
        // kind-of test against CGPSReceiver (or a model base) fails although C++ says otherwise.
        const CRuntimeClass* record = receiver->GetRuntimeClass();
        ASSERT_EQ(record, row.record);
        EXPECT_STREQ(record->m_lpszClassName, row.className);
        EXPECT_EQ(record->m_pBaseClass, &CObject::classCObject);
        EXPECT_FALSE(receiver->IsKindOf(TOLVIK_RUNTIME_CLASS(CGPSReceiver)));
    }
}

// Names that extend one another are still different receivers: a baud rate saved under one is
// not read back by the other.
TEST_F(CatalogueTest, NamesThatExtendOneAnotherAreDistinctSettingsKeys) {
    for (const auto& [shorter, longer] : {std::pair{&Make<CSokkia>, &Make<CSokkiaAxis3>},
                                          {&Make<CCSI>, &Make<CCSImax>},
                                          {&Make<CHalvorn>, &Make<CHalvornPocketGps>}}) {
        EXPECT_TRUE(shorter()->SaveDifferentSettings(38400));
        std::unique_ptr<CGPSReceiver> sameModel = shorter(), otherModel = longer();
        SCOPED_TRACE(sameModel->GetName().ToBytes());
        sameModel->SetProperties();
        otherModel->SetProperties();
        EXPECT_EQ(sameModel->GetCurrentBaudrate(), 38400);
        EXPECT_EQ(otherModel->GetCurrentBaudrate(), otherModel->GetDefaultBaudrate());
    }
}

}  // namespace
}  // namespace tolvik
