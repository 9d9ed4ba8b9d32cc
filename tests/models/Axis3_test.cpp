// The "$J" command set of CSokkiaAxis3 and CCSImax: exact commands, pauses and binary interval.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <span>
#include <string>

#include "support/CommandTrace.h"
#include "support/TestSupport.h"
#include "tolvik/models/CCSImax.h"

namespace tolvik {
namespace {

const std::string kSave = "$JSAVE\r\n[2000]";
const std::string k95Slow = "$JBIN,95,1\r\n[200]";
const std::string k95Fast = "$JBIN,95,0.2\r\n[200]";
const std::string kRawOnSlow = "$JBIN,96,1\r\n$JBIN,95,1\r\n$JSAVE\r\n";
const std::string kRawOff = "$JBIN,96,0\r\n$JBIN,95,0\r\n$JSAVE\r\n";

struct Case {
    const char* legend;
    std::function<void(CSokkiaAxis3&)> operation;
    std::string expected;
    double interval = 0.2;  // s_dBinOutputInterval afterwards
};

std::function<void(CSokkiaAxis3&)> Mode(DgpsMode eMode) {
    return [eMode](CSokkiaAxis3& r) { r.SetDgpsMode(eMode); };
}

// In this order: each row starts with the binary interval the row before left.
const Case kOpenPortCases[] = {
    {"initialize only settles", [](auto& r) { EXPECT_TRUE(r.Initialize()); }, "[500]"},
    {"post-processing: always once per second", [](auto& r) { EXPECT_TRUE(r.EnablePostProcessing(true)); }, kRawOnSlow,
     1.0},
    {"off keeps the interval; L-band repeats 95 at it",
     [](auto& r) { r.EnablePostProcessing(false), r.SetLbandFrequency(1557.845, 1200); },
     kRawOff + "$JFREQ,1557845.000000,1200\r\n[800]" + kSave + k95Slow, 1.0},
    {"GGA only", [](auto& r) { r.SetGgaOnlyNMEA(); }, "$JOFF\r\n[1000]$JASC,GPGGA,1\r\n[200]" + kSave + k95Slow, 1.0},
    {"no interval at all", [](auto& r) { EXPECT_FALSE(r.SetRawDataOutputInterval(NAN)); }, "", 1.0},
    {"5.9 s truncates to 5: five per second", [](auto& r) { r.SetRawDataOutputInterval(5.9); },
     "$JBIN,96,0.2\r\n$JBIN,95,0.2\r\n$JSAVE\r\n"},
    {"mask", [](auto& r) { r.SetSatElevMask(10); }, "$JMASK,10\r\n[800]" + kSave + k95Fast},
    {"default NMEA", [](auto& r) { r.SetDefaultNMEA(); },
     "$JOFF\r\n[1000]$JASC,GPGGA,1\r\n[200]$JASC,GPGSA,1\r\n[200]$JASC,GPVTG,1\r\n[200]"
     "$JASC,GPGSV,1\r\n[200]" +
         kSave + k95Fast},
    {"beacon", [](auto& r) { r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L""); }, "$GPMSK,304.0,M,,A,0\r\n[200]" + kSave},
    {"queries", [](auto& r) { r.QueryNmeaActive(), r.QueryDgpsMode(), r.QueryLbandSatellites(); },
     "$JSHOW\r\n[200]$JSHOW\r\n[200]$JLBEAM\r\n[200]"},
    {"beacon query", [](auto& r) { r.QueryBeacon(); }, "$GPCRQ,MSS\r\n[200]$GPCRQ,MSK\r\n[200]"},
    {"OmniSTAR", [](auto& r) { r.QueryOmniStar(), r.DgpsStatusMsg(true), r.DgpsStatusMsg(false); },
     "$JI\r\n[200]$JGEO\r\n[200]$JSHOW\r\n[200]$JASC,D1,1\r\n$JASC,D1,0\r\n"},
    {"DGPS none", Mode(DGPS_MODE_NONE), "$JDIFF,OFF\r\n[1000]" + kSave},
    {"DGPS beacon", Mode(DGPS_MODE_BEACON), "$JDIFF,BEACON\r\n[1000]" + kSave},
    {"DGPS L-band", Mode(DGPS_MODE_LBAND), "$JAPP,2\r\n[5000]$JDIFF,LBAND\r\n[5000]" + kSave},
    {"DGPS WAAS", Mode(DGPS_MODE_WAAS), "$JAPP,1\r\n[5000]$JDIFF,WAAS\r\n[5000]" + kSave},
    {"DGPS CDGPS only saves", Mode(DGPS_MODE_CDGPS), kSave},
    {"DGPS OmniSTAR only saves", Mode(DGPS_MODE_OMNISTAR), kSave},
    {"0.2 s truncates to 0: once per second", [](auto& r) { EXPECT_TRUE(r.SetRawDataOutputInterval(0.2)); }, kRawOnSlow,
     1.0},
};

const Case kClosedPortCases[] = {
    {"everything else, beacon save included",
     [](auto& r) {
         r.SetBeacon(BEACON_MODE_MANUAL, L"1", L""), r.EnablePostProcessing(true), r.QueryBeacon();
         r.SetRawDataOutputInterval(1), r.SetSatElevMask(5), r.SetLbandFrequency(1557.845, 1200);
         r.SetDefaultNMEA(), r.SetGgaOnlyNMEA(), r.DgpsStatusMsg(true), r.QueryOmniStar();
     },
     ""},
    {"DGPS beacon still waits", Mode(DGPS_MODE_BEACON), "[1000][2000]"},
    {"DGPS WAAS still waits", Mode(DGPS_MODE_WAAS), "[5000][5000][2000]"},
};

template <class Model>
void ExpectTranscripts(bool bOpen, std::span<const Case> cases) {
    test::CommandTrace trace(4);
    test::RecordingHost host;
    Model receiver;
    receiver.SetupReceiver(trace.Port(), 0, 0.0, L"", false);
    if (bOpen) {
        ASSERT_TRUE(receiver.OpenPort());
    }
    trace.Take();
    s_dBinOutputInterval = 0.2;  // its value when the library loads
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        c.operation(receiver);
        EXPECT_EQ(trace.Take(), c.expected);
        EXPECT_EQ(s_dBinOutputInterval.load(), c.interval);
    }
}

TEST(Axis3Test, OpenPort) { ExpectTranscripts<CSokkiaAxis3>(true, kOpenPortCases); }
TEST(Axis3Test, CsiMaxIsDrivenTheSameWay) { ExpectTranscripts<CCSImax>(true, kOpenPortCases); }
TEST(Axis3Test, ClosedPort) { ExpectTranscripts<CSokkiaAxis3>(false, kClosedPortCases); }

}  // namespace
}  // namespace tolvik
