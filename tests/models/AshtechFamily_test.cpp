// Command sets of CAshtech, CRacal, CCSI, CStarlink, CSokkia and CLeica: the exact transcript of
// every operation (commands and pauses, in order) as the simulated receiver hears it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
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
using Factory = std::unique_ptr<CGPSReceiver> (*)();
template <class T>
std::unique_ptr<CGPSReceiver> New() {
    return std::make_unique<T>();
}
#define OP(...) [](CGPSReceiver& r) { __VA_ARGS__; }
#define RESULT(...) [](CGPSReceiver& r) { return __VA_ARGS__; }

// Each command with its line end and the given pause mark ("" when it has none).
std::string Paced(const std::vector<std::string>& commands, const std::string& mark) {
    std::string text;
    for (const std::string& command : commands) text += command + "\r\n" + mark;
    return text;
}

const std::string kAshtechDefault = Paced({"$PASHS,NME,ALL,A,OFF", "$PASHS,NME,GGA,A,ON", "$PASHS,NME,GSA,A,ON",
                                           "$PASHS,NME,VTG,A,ON", "$PASHS,NME,SAT,A,ON", "$PASHS,NME,GSV,A,ON"},
                                          "[200]");
const std::string kAshtechGgaOnly = Paced({"$PASHS,NME,ALL,A,OFF", "$PASHS,NME,GGA,A,ON"}, "[200]");
const std::string kStarlinkDefault = Paced({"$PSLIS,NME,ALL,A,OFF", "$PSLIS,NME,GGA,A,ON", "$PSLIS,NME,GSA,A,ON",
                                            "$PSLIS,NME,VTG,A,ON", "$PSLIS,NME,GSV,A,ON"},
                                           "[200]");
const std::vector<std::string> kCsiSetup = {
    "$PASHS,RTC,AUT,Y",    "$PASHS,RTC,REM,B", "$PASHS,NME,GGA,A,ON", "$PASHS,NME,GSA,A,ON", "$PASHS,NME,VTG,A,ON",
    "$PASHS,NME,SAT,A,ON", "$PASHS,PDP,14",    "$PASHS,HDP,10",       "$PASHS,VDP,10",       "$PASHS,SAV,Y"};
const std::string kBeaconQueries = "$GPCRQ,MSS\r\n[200]$GPCRQ,MSK\r\n[200]";
const std::string kStarlinkPar = "$PSLIQ,PAR\r\n[500]";

// Opened: set up and opened; Configured: set up only; Unconfigured: port 0, which cannot open.
enum class PortState { Opened, Configured, Unconfigured, Emulation };

// What op sends on a fresh receiver of the model.
std::string Transcript(Factory make, PortState setup, std::function<void(CGPSReceiver&)> op) {
    test::CommandTrace trace(kPort);
    test::RecordingHost host;
    const auto receiver = make();
    const bool emulation = setup == PortState::Emulation;
    if (setup != PortState::Unconfigured) receiver->SetupReceiver(kPort, 0, 0.0, L"", emulation);
    if (setup == PortState::Opened) {
        EXPECT_TRUE(receiver->OpenPort());
    }
    trace.Take();
    op(*receiver);
    return trace.Take();
}

struct Row {
    const char* legend;
    Factory make;
    void (*op)(CGPSReceiver&);
    std::string expected;
};
const Row kOperations[] = {
    {"Ashtech default NMEA", New<CAshtech>, OP(r.SetDefaultNMEA()), kAshtechDefault},
    {"Ashtech GGA only", New<CAshtech>, OP(r.SetGgaOnlyNMEA()), kAshtechGgaOnly},
    {"CSI QueryPAR", New<CCSI>, OP(static_cast<CCSI&>(r).QueryPAR()), "$PASHQ,PAR\r\n[500]"},
    {"CSI query NMEA", New<CCSI>, OP(r.QueryNmeaActive()), "$PASHQ,PAR\r\n[500]"},
    {"CSI query settings", New<CCSI>, OP(r.QueryGpsSettings()), "$PASHQ,PAR\r\n[500]"},
    {"CSI query mask", New<CCSI>, OP(r.QuerySatElevMask()), "$PASHQ,PAR\r\n[500]"},
    {"CSI query beacon", New<CCSI>, OP(r.QueryBeacon()), kBeaconQueries},
    {"CSI negative mask", New<CCSI>, OP(r.SetSatElevMask(-5)), "$PASHS,PEM,-5\r\n[200]"},
    {"beacon mode 0 ignores the texts", New<CCSI>, OP(r.SetBeacon(BEACON_MODE_AUTOMATIC, L"304.0", L"100")),
     "$GPMSK,,A,,A,0\r\n[200]"},
    {"beacon, no bit rate", New<CCSI>, OP(r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L"")),
     "$GPMSK,304.0,M,,A,0\r\n[200]"},
    {"beacon, bit rate", New<CCSI>, OP(r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L"100")),
     "$GPMSK,304.0,M,100,M,0\r\n[200]"},
    {"Starlink QueryPAR", New<CStarlink>, OP(static_cast<CStarlink&>(r).QueryPAR()), kStarlinkPar},
    {"Starlink query NMEA", New<CStarlink>, OP(r.QueryNmeaActive()), kStarlinkPar},
    {"Starlink query mask", New<CStarlink>, OP(r.QuerySatElevMask()), kStarlinkPar},
    {"Starlink has no settings query", New<CStarlink>, OP(r.QueryGpsSettings()), ""},
    {"Starlink query beacon", New<CStarlink>, OP(r.QueryBeacon()), "$PSLIQ,NME,MSS\r\n[200]$PSLIQ,NME,MSK\r\n[200]"},
    {"Starlink beacon", New<CStarlink>, OP(r.SetBeacon(BEACON_MODE_MANUAL, L"304.0", L"")),
     "$GPMSK,304.0,M,,A,0\r\n[200]"},
    {"Starlink mask", New<CStarlink>, OP(r.SetSatElevMask(-5)), "$PSLIS,ELM,-5\r\n[200]"},
    {"Starlink default NMEA", New<CStarlink>, OP(r.SetDefaultNMEA()), kStarlinkDefault},
    {"Starlink GGA only", New<CStarlink>, OP(r.SetGgaOnlyNMEA()),
     "$PSLIS,NME,ALL,A,OFF\r\n[200]$PSLIS,NME,GGA,A,ON\r\n[200]"},
    {"Sokkia query mask", New<CSokkia>, OP(r.QuerySatElevMask()), "$PMCAG,004,908\r\n[200]"},
    {"Sokkia query beacon", New<CSokkia>, OP(r.QueryBeacon()), kBeaconQueries},
    {"Sokkia beacon, mode 2 is manual", New<CSokkia>, OP(r.SetBeacon(static_cast<BEACON_MODE_TYPE>(2), L"290.5", L"")),
     "$GPMSK,290.5,M,,A,0\r\n[200]"},
    {"Sokkia mask", New<CSokkia>, OP(r.SetSatElevMask(-5)), "$PMCAG,008,15,,,,-5,,,,,,,,,,,\r\n[800]"},
    {"Sokkia default NMEA", New<CSokkia>, OP(r.SetDefaultNMEA()),
     "$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,1,VTG,1,GSV,1,ZDA,0,RMC,0,GLL,0\r\n[1000]"},
    {"Sokkia GGA only", New<CSokkia>, OP(r.SetGgaOnlyNMEA()),
     "$PMCAG,005,0,900,0,906,0,907,0,GGA,1,GSA,0,VTG,0,GSV,0,ZDA,0,RMC,0,GLL,0\r\n[1000]"},
};

// On a closed port every one of them is silent, pauses included.
TEST(AshtechFamilyTest, OperationsSendTheirCommandsAndPauses) {
    for (const Row& row : kOperations) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(Transcript(row.make, PortState::Opened, row.op), row.expected);
        EXPECT_EQ(Transcript(row.make, PortState::Unconfigured, row.op), "");
    }
}

TEST(AshtechFamilyTest, InitializeAndResetAll) {
    const std::string kStarlinkReset = "$PSLIS,RST,CLR\r\n[100][5000]" + kStarlinkDefault;
    const struct {
        const char* legend;
        Factory make;
        PortState setup;
        bool (*op)(CGPSReceiver&);
        bool result;
        std::string expected;
    } rows[] = {
        {"CSI reset, 23 s", New<CCSI>, PortState::Opened, RESULT(r.ResetAll(false)), true,
         "$PASHS,RST\r\n[10000][3000]" + Paced(kCsiSetup, "[1000]")},
        {"CSI reset, port unopenable", New<CCSI>, PortState::Unconfigured, RESULT(r.ResetAll(true)), false, ""},
        {"CSI reset, emulation", New<CCSI>, PortState::Emulation, RESULT(r.ResetAll(false)), false, ""},
        {"Starlink reset", New<CStarlink>, PortState::Opened, RESULT(r.ResetAll(false)), true, kStarlinkReset},
        {"Starlink reset never waits", New<CStarlink>, PortState::Opened, RESULT(r.ResetAll(true)), true,
         kStarlinkReset},
        {"Starlink reset, port unopenable", New<CStarlink>, PortState::Unconfigured, RESULT(r.ResetAll(false)), false,
         ""},
        {"Starlink reset, emulation", New<CStarlink>, PortState::Emulation, RESULT(r.ResetAll(true)), false, ""},
        {"Sokkia, after opening", New<CSokkia>, PortState::Configured, RESULT(r.Initialize()), true,
         "[10]$PMCAG,008,15,,,,,,,,,,5,,,,,\r\n[500]"},
        {"Sokkia, port unopenable", New<CSokkia>, PortState::Unconfigured, RESULT(r.Initialize()), false, ""},
        {"Leica, after opening", New<CLeica>, PortState::Configured, RESULT(r.Initialize()), true,
         "[10]" + Paced({"$PMVXG,007,,1,,,,,", "$PMVXG,007,GGA,0,1,,1,6,2", "$PMVXG,007,GSA,0,1,,1,,,",
                         "$PMVXG,007,GSV,0,1,,5,,,"},
                        "[200]")},
        {"Leica, port unopenable", New<CLeica>, PortState::Unconfigured, RESULT(r.Initialize()), false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        bool result = !row.result;
        EXPECT_EQ(Transcript(row.make, row.setup, [&](CGPSReceiver& r) { result = row.op(r); }), row.expected);
        EXPECT_EQ(result, row.result);
    }
}

TEST(AshtechFamilyTest, UnacknowledgedResetStillSendsEveryStep) {
    test::CommandTrace trace(kPort);
    test::RecordingHost host;
    CCSI receiver;
    receiver.SetupReceiver(kPort, 0, 0.0, L"", false);
    ASSERT_TRUE(receiver.OpenPort());
    trace.Take();
    platform::VirtualClock& clock = trace.Clock();
    std::atomic<bool> done{false};
    std::thread driver([&] {  // lets each acknowledgement window run out
        while (!done) {
            if (clock.WaitForTimedWaiters(1, 50ms)) clock.AdvanceToNextDeadline();
        }
    });
    EXPECT_FALSE(receiver.ResetAll(true));
    done = true;
    driver.join();
    EXPECT_EQ(trace.Take(), "$PASHS,RST\r\n[3000]" + Paced(kCsiSetup, ""));
    EXPECT_GE(clock.MonotonicMs(), 23000u);
}

TEST(AshtechFamilyTest, AcknowledgedResetThroughTheEngineEndsEachWaitEarly) {
    std::atomic<bool> finished{false};  // ends the clock driver below
    test::CommandTrace trace(kPort);
    test::RecordingHost host;
    CGPSEngine engine;
    auto* receiver = engine.FindReceiver(L"CSI");
    ASSERT_NE(receiver, nullptr);
    receiver->SetupReceiver(kPort, 0, 0.0, L"", false);
    engine.SetReceiver(receiver);
    ASSERT_TRUE(engine.Start());
    platform::VirtualClock& clock = trace.Clock();
    // Pause marks may precede a command on its line. The GSA sentence behind the acknowledgement
    // lets its single comma be framed.
    trace.Receiver().OnLine([&](const std::string& line) {
        if (line.find("$PASHS") == std::string::npos) return;
        trace.Receiver().Send(sim::NmeaSentence("PASHR,ACK") + test::Nmea("GPGSA,A,3,05,09,,,,,,,,,,,2.1,1.2,1.7"));
    });
    // The reader thread sits in its cycle pause after each reply: let those pauses pass while it
    // and the window's timer both wait, but never a first-byte wait, which a reply on its way
    // ends, nor anything near a time-out.
    std::thread driver([&] {
        while (!finished) {
            if (clock.WaitForTimedWaiters(2, 50ms)) clock.AdvanceToNextDeadline(CGPSEngine::kCyclePauseMs);
        }
    });
    trace.Take();
    EXPECT_TRUE(receiver->ResetAll(true));
    finished = true;
    driver.join();
    EXPECT_LT(clock.MonotonicMs(), 10000u);
    const std::string sent = "$PASHS,RST\r\n[3000]" + Paced(kCsiSetup, "");
    EXPECT_TRUE(trace.Receiver().WaitForReceived(sent, 10s));
    engine.Stop();  // also wakes a handler still waiting for the timer that is gone
}

}  // namespace
}  // namespace tolvik
