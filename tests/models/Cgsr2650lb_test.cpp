// Cgsr2650lb: initialisation on construction, commands and pauses, the raw-log state and the
// status fields the commands touch.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "support/CommandTrace.h"
#include "support/TestSupport.h"
#include "tolvik/models/Cgsr2650lb.h"

namespace tolvik {
namespace {

std::string Paced(std::initializer_list<const char*> commands, int pauseMs) {
    std::string text;
    for (const char* c : commands) text += c + ("\r\n[" + std::to_string(pauseMs) + "]");
    return text;
}
// The set-up names no port: two blanks after the word.
const std::string kDefaultNmea =
    Paced({"LOG  GPGGA ONTIME 1 0 NOHOLD", "UNLOG  GPGGALONG", "UNLOG  GPGGARTK", "UNLOG  GPGLL", "UNLOG  GPGRS",
           "LOG  GPGSA ONTIME 1 0 NOHOLD", "UNLOG  GPGST", "LOG  GPGSV ONTIME 1 0 NOHOLD", "UNLOG  GPRMB",
           "UNLOG  GPRMC", "LOG  GPVTG ONTIME 1 0 NOHOLD", "UNLOG  GPZDA", "UNLOG  GPALM"},
          200);
const std::string kGgaOnlyNmea =
    Paced({"UNLOG  GPALM", "LOG  GPGGA ONTIME 1 0 NOHOLD", "UNLOG  GPGGALONG", "UNLOG  GPGGARTK", "UNLOG  GPGLL",
           "UNLOG  GPGRS", "UNLOG  GPGSA", "UNLOG  GPGST", "UNLOG  GPGSV", "UNLOG  GPRMB", "UNLOG  GPRMC",
           "UNLOG  GPVTG", "UNLOG  GPZDA"},
          200);
const std::string kDatum = Paced({"UNDULATION TABLE", "DATUM WGS84"}, 100);
const std::string kAuto = Paced({"RTKSOURCE AUTO ANY", "PSRDIFFSOURCE AUTO ANY", "SBASCONTROL ENABLE AUTO"}, 100);
const std::string kOnChanged = Paced({"LOG RAWEPHEMB ONCHANGED", "LOG ALMANACB ONCHANGED"}, 100);
const std::string kRawOn1 = "LOG RANGEB ONTIME 1\r\n[100]" + kOnChanged;
const std::string kSave = "SAVECONFIG\r\n[1000]", kSave2 = "SAVECONFIG\r\n[2000]";

// The status fields (elevation mask valid, DGPS mode valid, the mode, updated, L-band tuning),
// then the raw logs (on, interval): "11310 0/4" is the state every row below starts from.
std::string State(const Cgsr2650lb& r) {
    const CGPSStatusData& s = CGPSReceiver::m_GPSData.m_Status;
    std::string text;
    for (int n : {+s.m_bElevMaskValid, +s.m_bDgpsModeValid, +s.m_nDgpsMode, +s.m_bUpdated, s.m_nLbandTuneMode})
        text += std::to_string(n);
    return text + " " + std::to_string(r.m_bRawOutputOn) + "/" + std::to_string(r.m_nRawInterval);
}
void SetStartState(Cgsr2650lb& r) {
    CGPSStatusData& s = CGPSReceiver::m_GPSData.m_Status;
    s.m_bElevMaskValid = s.m_bDgpsModeValid = s.m_bUpdated = true;
    s.m_nDgpsMode = DGPS_MODE_WAAS, s.m_nLbandTuneMode = 0;
    r.m_bRawOutputOn = false, r.m_nRawInterval = 4;
}

TEST(Gsr2650lbTest, ConstructionCommandsPausesAndStateOnPortZero) {
    const struct {
        const char* legend;
        std::function<void(Cgsr2650lb&)> operation;
        std::string expected;
        std::string state = "11310 0/4";  // afterwards
    } cases[] = {
        {"NMEA lists", [](auto& r) { r.SetGgaOnlyNMEA(), r.SetDefaultNMEA(); }, kGgaOnlyNmea + kDefaultNmea},
        {"mask queries: COM2, one blank", [](auto& r) { r.QuerySatElevMask(), r.QueryGpsSettings(); },
         Paced({"LOG COM2 ECUTOFFA ONCE", "LOG COM2 ECUTOFFA ONCE"}, 100), "01300 0/4"},
        {"beacon and DGPS queries", [](auto& r) { r.QueryBeacon(), r.QueryDgpsMode(); },
         Paced({"LOG COM2 RXCONFIGA ONCE", "LOG COM2 RTKSOURCEA ONCE", "LOG COM2 SBASCONTROLA ONCE",
                "LOG COM2 PSRDIFFSOURCEA ONCE"},
               100),
         "10000 0/4"},
        {"other queries", [](auto& r) { r.QueryNmeaActive(), r.QueryWAAS(), r.QueryLbandSatellites(); },
         Paced({"LOG LOGLISTA ONCE", "LOG WAAS1A ONCE", "LOG OMNIINFOA ONCE", "LOG OMNISTATA ONCE",
                "LOG OMNIHPPOSA ONCE"},
               200)},
        {"mask", [](auto& r) { r.SetSatElevMask(-5); }, "ECUTOFF -5\r\n[200]SAVECONFIG\r\n[500]"},
        {"beacon ignores its arguments",
         [](auto& r) { r.SetBeacon(BEACON_MODE_MANUAL, L"304", L"100"), r.DgpsStatusMsg(true); }, kAuto},
        {"user datum", [](auto& r) { r.SendCorrection(); },
         "USERDATUM 6378137 298.257222101 -.9910 1.9072 .5129 .000000125033 .0000000467845 "
         ".0000000565292 0 \r\n[100]datum user\r\n[100]UNDULATION USER -1.09\r\n[100]" +
             kSave},
        {"CDGPS drops the fraction first; 3000.5 and -1 are out of range",
         [](auto& r) { r.ChangeCDGPS_Freq(1547.9), r.ChangeCDGPS_Freq(3000.5), r.ChangeCDGPS_Freq(-1.0); },
         "ASSIGNLBAND CDGPS 1547000 4800\r\n[100]" + kSave},
        {"L-band automatic", [](auto& r) { r.SetLbandFrequency(0.0, 1200); },
         "RTKSOURCE OMNISTAR ANY\r\n[800]" + kSave2, "11311 0/4"},
        {"L-band manual", [](auto& r) { r.SetLbandFrequency(1557.845, 2400); },
         "ASSIGNOMNI USER 1557845 2400\r\n[800]" + kSave2, "11312 0/4"},
        {"DGPS CDGPS", [](auto& r) { r.SetDgpsMode(DGPS_MODE_CDGPS); },
         kDatum + Paced({"PSRDIFFSOURCE CDGPS", "RTKSOURCE NONE", "SBASCONTROL DISABLE AUTO"}, 100) + kSave2,
         "11410 0/4"},
        {"DGPS 7: datum only, 7 reported", [](auto& r) { r.SetDgpsMode(static_cast<DgpsMode>(7)); }, kDatum + kSave2,
         "11710 0/4"},
        {"reset without waiting forgets replies and raw logs", [](auto& r) { EXPECT_TRUE(r.ResetAll(false)); },
         "RESET 0\r\n[10000]" + kDefaultNmea + kDatum + kAuto + kSave2 + "[3000]", "01110 0/0"},
        {"raw logs on twice: sent once", [](auto& r) { r.EnablePostProcessing(true), r.EnablePostProcessing(true); },
         kRawOn1 + kSave, "11310 1/1"},
        {"initialize forgets the raw state",
         [](auto& r) { r.m_bRawOutputOn = true, r.Initialize(), r.EnablePostProcessing(true); },
         kDefaultNmea + kRawOn1 + kSave, "00300 1/1"},
        {"raw logs off when off", [](auto& r) { r.EnablePostProcessing(false); }, ""},
        {"interval while off: off again", [](auto& r) { EXPECT_TRUE(r.SetRawDataOutputInterval(2.0)); },
         Paced({"UNLOG RANGEB", "UNLOG RAWEPHEMB", "UNLOG ALMANACB"}, 100) + kSave},
        {"same whole seconds", [](auto& r) { r.m_bRawOutputOn = true, r.SetRawDataOutputInterval(4.9); }, "",
         "11310 1/4"},
        {"new interval", [](auto& r) { r.m_bRawOutputOn = true, r.SetRawDataOutputInterval(5.5); },
         "LOG RANGEB ONTIME 5\r\n[100]" + kOnChanged + kSave, "11310 1/5"},
        {"not a number", [](auto& r) { EXPECT_FALSE(r.SetRawDataOutputInterval(NAN)); }, ""},
    };
    test::CommandTrace trace(0);
    test::RecordingHost host;
    Cgsr2650lb receiver;  // opens port 0 at 9600 baud and sets the NMEA output up
    EXPECT_EQ(trace.Take(), "[10]" + kDefaultNmea);
    EXPECT_EQ(CGPSReceiver::m_Port.m_nPort, 0);
    EXPECT_EQ(trace.Receiver().BaudRate(), 9600);
    EXPECT_EQ(State(receiver), "00000 0/0");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        SetStartState(receiver);
        c.operation(receiver);
        EXPECT_EQ(trace.Take(), c.expected);
        EXPECT_EQ(State(receiver), c.state);
    }
    test::TestReceiver running;  // another engine's receiver takes the open port at 4800 baud
    running.m_nBaudRate = 4800;
    ASSERT_TRUE(running.Initialize());
    ASSERT_EQ(trace.Receiver().BaudRate(), 4800);
    Cgsr2650lb second;  // and this one back at 9600
    EXPECT_EQ(trace.Take(), kDefaultNmea);
    EXPECT_EQ(trace.Receiver().BaudRate(), 9600);
}

// Port 0 has no device: construction fails quietly, and nothing is sent, waited for or changed.
TEST(Gsr2650lbTest, WithoutADevice) {
    test::CommandTrace trace(5);
    test::RecordingHost host;
    Cgsr2650lb r;
    EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen());
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(host.WaitCursorDepth(), 0);
    SetStartState(r);
    EXPECT_FALSE(r.Initialize());
    EXPECT_EQ(State(r), "00300 0/0");
    SetStartState(r);
    r.SetDefaultNMEA(), r.SetGgaOnlyNMEA(), r.QuerySatElevMask(), r.QueryBeacon(), r.QueryWAAS();
    r.QueryDgpsMode(), r.QueryNmeaActive(), r.QueryOmniStar(), r.SetSatElevMask(5);
    r.SendCorrection(), r.SetBeacon(BEACON_MODE_AUTOMATIC, L"", L""), r.ChangeCDGPS_Freq(1547);
    r.SetLbandFrequency(0, 0), r.SetDgpsMode(DGPS_MODE_LBAND), r.SetRawDataOutputInterval(1.0);
    r.EnablePostProcessing(true);
    EXPECT_FALSE(r.ResetAll(true));
    EXPECT_EQ(State(r), "11310 0/4");
    r.SetupReceiver(0, 0, 0.0, L"", true);  // emulation needs no port
    EXPECT_TRUE(r.Initialize());
    EXPECT_EQ(State(r), "00300 0/0");
    EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen());
    EXPECT_EQ(trace.Take(), "");
}

}  // namespace
}  // namespace tolvik
