// 'tolvik command' against the simulated receiver of each command family, the command-line
// conventions, the man page, and output that reaches a pipe while the tool still runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "Cli.h"
#include "tolvik/platform/Clock.h"
#include "tool/ToolProcess.h"

namespace tolvik::test {
namespace {

using namespace std::chrono_literals;
using sim::SimulatedReceiver;

// One command of each family, through the real binary on a pseudo-terminal: the exact bytes
// the operation puts on the line (after whatever the model sends when it starts) and what the
// tool prints. Each model's simulator keeps the mask it was set to, so a query after the set
// reads the new value back.
TEST(ToolCommand, EveryFamilyRoundTripsOverAPty) {
    const struct {
        const char* model;
        std::vector<std::string> operation;
        std::string onTheLine;  // what the operation sends, exactly, at the end of the transcript
        std::string printed;
    } kRows[] = {
        // Ashtech family: "$PSLIR" and "$PMCAG" replies carry the mask; CSI acknowledges.
        {"Starlink", {"query-sat-elev-mask"}, "$PSLIQ,PAR\r\n", "elevation mask: 10 degrees\n"},
        {"Starlink", {"set-sat-elev-mask", "15"}, "$PSLIS,ELM,15\r\n", "set-sat-elev-mask: sent\n"},
        {"Starlink", {"query-sat-elev-mask"}, "$PSLIQ,PAR\r\n", "elevation mask: 15 degrees\n"},
        {"Starlink", {"--json", "query-nmea-active"}, "", "\"nmeaStatusValid\":true"},
        {"Sokkia Axis", {"set-sat-elev-mask", "7"}, "$PMCAG,008,15,,,,7,,,,,,,,,,,\r\n", "set-sat-elev-mask: sent\n"},
        {"Sokkia Axis", {"query-sat-elev-mask"}, "$PMCAG,004,908\r\n", "elevation mask: 7 degrees\n"},
        {"CSI", {"set-sat-elev-mask", "12"}, "$PASHS,PEM,12\r\n", "set-sat-elev-mask: sent\n"},
        {"CSI", {"query-beacon"}, "$GPCRQ,MSS\r\n$GPCRQ,MSK\r\n", "beacon: signal 55, SNR 21, 304.0 kHz, 100 bit/s\n"},
        // "$J": the "$>JSHOW" report; a set saves and switches binary message 95 on again.
        {"Sokkia Axis3",
         {"set-sat-elev-mask", "20"},
         "$JMASK,20\r\n$JSAVE\r\n$JBIN,95,0.2\r\n",
         "set-sat-elev-mask: sent\n"},
        {"Sokkia Axis3", {"query-sat-elev-mask"}, "$JSHOW\r\n", "elevation mask: 20 degrees\n"},
        {"Sokkia Axis3", {"query-dgps-mode"}, "$JSHOW\r\n", "differential mode: beacon\n"},
        // SiRF: its own checksummed "$PSRF103" sentences.
        {"SiRF",
         {"set-gga-only-nmea"},
         Nmea("PSRF103,00,00,02,01") + Nmea("PSRF103,02,00,00,01") + Nmea("PSRF103,05,00,00,01") +
             Nmea("PSRF103,03,00,00,01") + Nmea("PSRF103,04,00,00,01") + Nmea("PSRF103,01,00,00,01"),
         "set-gga-only-nmea: sent\n"},
        // LOG/UNLOG: "#ECUTOFFA" logs.
        {"GSR2650 LB", {"set-sat-elev-mask", "5"}, "ECUTOFF 5\r\nSAVECONFIG\r\n", "set-sat-elev-mask: sent\n"},
        {"GSR2650 LB", {"query-sat-elev-mask"}, "LOG COM2 ECUTOFFA ONCE\r\n", "elevation mask: 5 degrees\n"},
    };
    std::string model;
    std::unique_ptr<SimulatedReceiver> receiver;
    for (const auto& row : kRows) {
        SCOPED_TRACE(std::string(row.model) + " " + row.operation.back());
        if (model != row.model) {
            model = row.model;
            SimulatedReceiver::Options options;
            options.dialect = SimulatedReceiver::DialectOf(model);
            receiver = std::make_unique<SimulatedReceiver>(options);
            ASSERT_TRUE(receiver->IsOpen());
        }
        receiver->ClearReceived();
        std::vector<std::string> args = {"command", "--receiver", row.model, "--device", receiver->DevicePath()};
        args.insert(args.end(), row.operation.begin(), row.operation.end());
        const auto r = Tolvik(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(row.printed), std::string::npos) << r.out;  // other replies may come along
        EXPECT_TRUE(receiver->Received().ends_with(row.onTheLine)) << receiver->Received();
    }
}

// The library's acknowledged reset, in virtual time: a receiver that never acknowledges makes
// every wait run out (23 s of virtual time) and the command end with 1 and a time-out message.
TEST(ToolCommand, ResetAllWithASilentReceiverTimesOut) {
    SimulatedReceiver receiver(SimulatedReceiver::Options{false, false});
    platform::VirtualClock clock;
    platform::ScopedClock useClock(clock);
    const std::jthread driver([&](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            if (clock.WaitForTimedWaiters(1, 50ms)) clock.AdvanceToNextDeadline();
        }
    });
    TempDir dir;
    tool::CommandOptions options;
    options.receiver = "CSI";
    options.line.port = 7;
    options.line.device = receiver.DevicePath();
    options.line.settings = dir.File("settings.ini");
    options.operation = "reset-all";
    testing::internal::CaptureStderr();
    const int rc = tool::RunCommand(options);
    const std::string err = testing::internal::GetCapturedStderr();
    CSerialPort::ClearPortDevices();
    EXPECT_EQ(rc, 1);
    EXPECT_NE(err.find("time-out"), std::string::npos) << err;
    EXPECT_GE(clock.MonotonicMs(), 23000u);
    EXPECT_TRUE(receiver.WaitForReceived("$PASHS,SAV,Y\r\n", 10s)) << "the whole sequence went out";
}

TEST(ToolCommand, SetBaudStoresTheRateWhereTheLibraryReadsIt) {
    TempDir dir;
    const std::string settings = dir.File("sub/settings.ini");
    const auto r = Tolvik({"command", "--receiver", "CSI", "--settings", settings, "set-baud", "19200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(settings), "[CSI]\nBaud=19200\n\n");
}

// The exit-code contract: 2 for a command line the tool refuses, 1 for a run that fails, each
// with its reason on standard error.
TEST(ToolCli, WrongCommandLinesAreRefusedWithTheirReason) {
    TempDir dir;
    // The stored rate is the one a run uses, and a bad one is refused.
    WriteFile(dir.File("settings.ini"), "[CSI]\nBaud=0\n");
    SimulatedReceiver silent(SimulatedReceiver::Options{false, false});
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    } kRows[] = {
        {{}, 2, "usage"},
        {{"fly"}, 2, "'fly'"},
        {{"replay", "--bogus"}, 2, "--bogus"},
        {{"replay", "--receiver"}, 2, "--receiver"},
        {{"replay", "--min-sats", "four"}, 2, "four"},
        {{"replay", "--receiver", "Nope"}, 2, "Nope"},
        {{"monitor", "--receiver", "Other"}, 2, "--port"},
        {{"receivers", "extra"}, 2, "extra"},
        {{"replay", "--fast", "--format", "kml"}, 2, "kml"},
        {{"replay", "--fast", "--json", "--format", "gpsd"}, 2, "--json"},
        {{"monitor", "--device", "/dev/null", "--receiver", "Other", "--format", "xml"}, 2, "xml"},
        {{"serve"}, 2, "--replay"},
        {{"serve", "--listen", "localhost", "--replay", "x"}, 2, "HOST:PORT"},
        {{"serve", "--listen", "127.0.0.1:70000", "--replay", "x"}, 2, "70000"},
        {{"serve", "--replay", "x", "--rate", "0"}, 2, "--rate"},
        {{"serve", "--replay", "x", "--device", "/dev/null"}, 2, "not both"},
        {{"replay", "--fast", "/nonexistent/recording.log"}, 1, "/nonexistent/recording.log"},
        {{"monitor", "--receiver", "Other", "--device", "/nonexistent/ttyUSB9"}, 1, "cannot open /nonexistent/ttyUSB9"},
        {{"replay", "--min-sats", "2"}, 2, "--min-sats: '2' is out of range (3 to 32)"},
        {{"replay", "--geoid-mode", "5"}, 2, "--geoid-mode: '5' is out of range (0 to 2)"},
        {{"replay", "--epochs", "0"}, 2, "--epochs: '0' is out of range"},
        {{"replay", "--antenna-height", "nan"}, 2, "'nan' is not a finite number"},
        {{"replay", "--log-interval", "inf"}, 2, "'inf' is not a finite number"},
        {{"monitor", "--seconds", "-1", "--device", "/dev/null"}, 2, "--seconds: '-1' is out of range"},
        {{"simulate", "--rate", "1e-300"}, 2, "--rate: '1e-300' is out of range"},
        {{"monitor", "--device", "/dev/null", "--baud", "12345"}, 2, "the device does not take 12345 baud"},
        {{"monitor", "--baud", "9600"}, 2, "monitor needs --port N or --device PATH"},
        {{"replay", "--fast", "--raw"}, 2, "--fast excludes --raw"},
        {{"replay", dir.Path()}, 2, "is a folder"},
        {{"replay", "--fast", "--", "--not-an-option"}, 1, "--not-an-option: No such file"},
        {{"command", "--receiver", "SiRF", "--device", "/dev/null", "query-sat-elev-mask"},
         2,
         "\"SiRF\" does not implement query-sat-elev-mask; it implements:\n  set-default-nmea"},
        {{"command", "--receiver", "CSI", "--device", "/dev/null", "set-sat-elev-mask"},
         2,
         "set-sat-elev-mask takes DEG, not 0 argument(s)"},
        {{"command", "--receiver", "CSI", "--device", "/dev/null", "set-sat-elev-mask", "high"},
         2,
         "set-sat-elev-mask DEG needs a whole number, not 'high'"},
        {{"command", "--receiver", "CSI", "--device", "/dev/null", "fly"}, 2, "unknown operation 'fly'"},
        {{"command", "--receiver", "CSI", "query-beacon"}, 2, "command needs --port N or --device PATH"},
        {{"command", "--receiver", "Nope", "--list"}, 2, "unknown receiver 'Nope'"},
        {{"command", "--receiver", "CSI", "set-baud", "12345"}, 2, "the device does not take 12345 baud"},
        {{"command", "--receiver", "CSI", "--device", "/dev/null", "--settings", dir.File("settings.ini"),
          "query-beacon"},
         1,
         "Baud=0 is not a line speed"},
        // A query nobody answers within --wait.
        {{"command", "--receiver", "Starlink", "--device", silent.DevicePath(), "--wait", "0.3", "query-sat-elev-mask"},
         1,
         "no reply from \"Starlink\""},
        {{"command", "--receiver", "CSI", "--device", "/nonexistent/tty", "query-beacon"},
         1,
         "cannot open /nonexistent/tty"},
    };
    for (const auto& row : kRows) {
        const auto r = Tolvik(row.args);
        SCOPED_TRACE(row.message);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
}

TEST(ToolCli, ConventionsOfAUnixTool) {
    // A subcommand's help holds its own options only.
    const auto help = Tolvik({"replay", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--epochs"), std::string::npos);
    EXPECT_EQ(help.out.find("--device"), std::string::npos) << help.out;
    for (const auto& args : {std::vector<std::string>{"--version"}, {"monitor", "--version"}}) {
        const auto version = Tolvik(args);
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_TRUE(version.out.starts_with("tolvik ")) << version.out;
    }
    EXPECT_TRUE(Tolvik({"command", "--receiver", "SiRF", "--list"}).out.starts_with("  set-default-nmea\n"));
    // '-' reads standard input; --epochs counts with --fast too.
    const std::string gga = Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const auto stdinRun = Tolvik({"replay", "--fast", "--json", "--epochs", "2", "-"}, gga + gga + gga + gga);
    ASSERT_EQ(stdinRun.exitCode, 0) << stdinRun.err;
    const auto epochs = JsonLines(stdinRun.out);
    EXPECT_EQ(
        std::count_if(epochs.begin(), epochs.end(), [](const auto& o) { return o.value("positionValid", false); }), 2);
}

// Every subcommand, every option its help lists and the operations are in the man page (where
// groff writes a hyphen as \-).
TEST(ToolCli, ManPageCoversEveryOption) {
    const std::string man = ReadFile(ProjectFile("docs/tolvik.1"));
    const auto expectListed = [&](const std::string& word) {
        std::string escaped;
        for (const char c : word) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(man.find(escaped), std::string::npos) << word;
    };
    for (const char* sub : {"replay", "monitor", "simulate", "receivers", "command", "serve"}) {
        expectListed(std::string(".SS ") + sub);
        const auto help = Tolvik({sub, "--help"});
        ASSERT_EQ(help.exitCode, 0);
        std::istringstream words(help.out);
        for (std::string word; words >> word;) {
            word = word.substr(0, word.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", 2));
            if (word.starts_with("--") && word != "--help" && word.size() >= 3) expectListed(word);
        }
    }
    for (const char* op :
         {"query-nmea-active", "set-beacon", "reset-all", "set-raw-data-output-interval", "set-baud"}) {
        expectListed(op);
    }
}

// The first monitor line reaches a pipe while monitor still runs: stdout is not left
// block-buffered until the program ends.
TEST(ToolCli, MonitorLinesReachAPipeAtOnce) {
    SimulatedReceiver receiver(SimulatedReceiver::Options{false, false});
    receiver.StartStreaming({"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"},
                            SimulatedReceiver::Pace::FixedRate, 20.0, true);
    ToolProcess monitor({"monitor", "--device", receiver.DevicePath(), "--seconds", "60"}, STDOUT_FILENO);
    const std::string line = monitor.Output().Next("\n").value_or("");
    EXPECT_FALSE(monitor.Exited()) << "monitor was still running when its first line arrived";
    EXPECT_NE(line.find("48."), std::string::npos) << line;
    monitor.Stop();
    receiver.StopStreaming();
}

}  // namespace
}  // namespace tolvik::test
