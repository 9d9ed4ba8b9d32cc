// Command-line parsing and the pieces the tool's commands share.
//
// Every subcommand has an options struct that the command-line parser fills (ranges checked
// there), so adding an option is one member, one line in BuildCommandLine and one use.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/platform/Sync.h"

namespace tolvik::tool {

// A command line that does not make sense: reported with exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Settings of the receiver model shared by replay and monitor.
struct ReceiverSettings {
    std::string name = "Other";
    int geoidMode = 0;
    double antennaHeight = 0.0;
    int minSatellites = 4;
};

// What is printed for each posted message.
struct OutputOptions {
    bool json = false;   // the same as format "records"
    std::string format;  // records, gpsd, gpx, nmea or table; empty: table (records with json)
    bool text = false;   // every framed message too
};

// The format name the options ask for (UsageError when --json and --format disagree).
std::string OutputFormat(const OutputOptions& options);

// The raw epoch log (--log-raw-epochs BASE).
struct RawEpochLogOptions {
    std::string base;   // empty: no log
    std::string rinex;  // RINEX files BASE.obs and BASE.nav; empty: none
    double interval = 1.0;
};

// The serial line of a live receiver.
struct LineOptions {
    int port = 0;          // 0: not given
    std::string device;    // empty: the device of the port number
    std::string baud;      // empty: stored or default rate; "auto": try the common rates
    std::string settings;  // settings file; empty: DefaultSettingsPath()
};

struct ReplayOptions {
    std::string file;  // empty: the bundled sample; "-": standard input
    bool fast = false;
    bool raw = false;
    bool loop = false;      // paced: start again at the end of the file
    bool realtime = false;  // paced by the sentences' own time stamps
    long epochs = 0;        // stop after this many epochs with a position (0: no limit)
    ReceiverSettings receiver;
    OutputOptions output;
    RawEpochLogOptions rawEpochs;
};

struct MonitorOptions {
    LineOptions line;
    ReceiverSettings receiver;
    OutputOptions output;
    RawEpochLogOptions rawEpochs;
    std::string rawLog;    // every byte read, for 'replay --raw'
    double seconds = 0.0;  // 0: until Ctrl-C
    double silenceWarningSeconds = 5.0;
};

struct SimulateOptions {
    std::string file;      // empty: the bundled sample; "-": standard input
    std::string receiver;  // the dialect to answer in; empty: every dialect the simulator knows
    double rate = 0.0;     // lines per second; 0: the recording's own pace
    int baud = 0;          // the simulated receiver's own line speed (0: whatever is set)
    bool fast = false;
    bool once = false;
    bool raw = false;  // the file is a raw byte log: one epoch (burst) a second
};

struct ServeOptions {
    std::string listen = "127.0.0.1:2947";  // the gpsd-protocol port
    std::string http;                       // HOST:PORT of the live view in a browser; empty: none
    std::string replay;                     // a recording instead of a device
    double rate = 0.0;                      // replay: lines per second; 0: the recording's own pace
    bool realtime = false;
    bool loop = false;
    long queue = 1024;  // reports kept for a client that does not keep up
    LineOptions line;
    ReceiverSettings receiver;
};

struct CommandOptions {
    LineOptions line;
    std::string receiver;
    bool json = false;
    double wait = 3.0;  // seconds a query waits for its reply
    bool list = false;
    bool noWait = false;  // reset-all: do not wait for acknowledgements
    std::string operation;
    std::vector<std::string> arguments;
};

struct ReceiversOptions {
    bool json = false;
};

// Parses the command line and runs the subcommand; returns the exit code.
int RunTool(int argc, const char* const* argv);

// Set by Ctrl-C (SIGINT) and SIGTERM once InstallInterruptHandler has run.
platform::Event& InterruptEvent();
void InstallInterruptHandler();

// Output lines reach a pipe as they are written; a terminal is line-buffered anyway.
void FlushLinesWhenPiped();

// The recording bundled with the project.
std::string BundledSamplePath();
// Reads the input file ("-": standard input, copied to a temporary file the engine can open);
// UsageError for a folder, runtime_error for a file that cannot be read. Returns the path to use.
std::string ResolveInputFile(const std::string& path);

// The receiver with exactly this display name; UsageError naming the choices otherwise.
CGPSReceiver* ReceiverByName(CGPSEngine& engine, const std::string& name);

// Line speeds a serial port can be set to, lowest first.
const std::vector<int>& PortBaudRates();
bool IsPortBaudRate(int baud);
// The settings file in use, with the stored rate of the model checked: a stored Baud entry that
// is not a rate the port can take is refused (runtime_error naming the file).
std::string SettingsPathFor(const LineOptions& line);
void CheckStoredBaudRate(const std::string& settingsPath, const std::string& receiverName);

// Opens the raw epoch log named after BASE (time-stamped), when asked for; returns false after
// reporting a file that cannot be created.
class CRawEpochLog;
bool OpenRawEpochLog(const RawEpochLogOptions& options, CRawEpochLog& log, int port, double antennaHeight);

// The start of a run of replay (emulating) or monitor (on a port): the named model set up on the
// engine and the host, the framed messages forwarded when the format wants them, the raw epoch
// log and the RINEX output opened when asked for and fed by the host. The model, or nullptr
// after reporting a file that cannot be created.
class ConsoleHost;
class Printer;
class RinexOutput;
CGPSReceiver* StartRun(CGPSEngine& engine, ConsoleHost& host, const Printer& printer, const ReceiverSettings& settings,
                       const RawEpochLogOptions& rawEpochs, int port, bool emulating, CRawEpochLog& rawLog,
                       RinexOutput& rinex);

// The end of a run, once the engine has stopped: delivers what it posted last, then the summary
// on stderr (messages, checksum errors, overflows, epochs; raw counts when there were any) and
// the raw epoch log's status when one was written.
bool FinishRun(ConsoleHost& host, const CGPSEngine& engine, const CGPSReceiver& receiver, const Printer& printer,
               CRawEpochLog& rawLog);

int RunReplay(const ReplayOptions& options);
int RunMonitor(const MonitorOptions& options);
int RunSimulate(const SimulateOptions& options);
int RunReceivers(const ReceiversOptions& options);
int RunCommand(const CommandOptions& options);
int RunServe(const ServeOptions& options);
// The operations of 'tolvik command', one line each, for --help.
std::string CommandOperationsHelp();

}  // namespace tolvik::tool
