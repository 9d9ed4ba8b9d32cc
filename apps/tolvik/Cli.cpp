#include "Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "ConsoleHost.h"
#include "Output.h"
#include "RawEpochLog.h"
#include "RinexOutput.h"
#include "tolvik/platform/Profile.h"

namespace tolvik::tool {

namespace {

// A number option's check: the whole text is a finite number within [low, high]. CLI11's own
// range check lets "nan" through (every comparison with it is false), so this one reads the
// number itself.
CLI::Validator FiniteIn(double low, double high) {
    CLI::Validator v(
        [low, high](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || end != text.c_str() + text.size()) return "'" + text + "' is not a number";
            if (!std::isfinite(value) || errno == ERANGE) return "'" + text + "' is not a finite number";
            if (value < low || value > high) {
                return "'" + text + "' is out of range (" + CLI::detail::to_string(low) + " to " +
                       CLI::detail::to_string(high) + ")";
            }
            return {};
        },
        "");
    return v;
}

// Whole numbers within [low, high].
CLI::Validator WholeIn(long low, long high) {
    CLI::Validator v(
        [low, high](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const long value = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE) {
                return "'" + text + "' is not a whole number";
            }
            if (value < low || value > high) {
                return "'" + text + "' is out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")";
            }
            return {};
        },
        "");
    return v;
}

std::string BaudProblem(const std::string& text, bool allowAuto) {
    if (allowAuto && text == "auto") return {};
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || value <= 0 || value > INT_MAX) {
        return "'" + text + "' is not a line speed" + (allowAuto ? " (or 'auto')" : "");
    }
    if (!IsPortBaudRate(static_cast<int>(value))) {
        std::string rates;
        for (const int r : PortBaudRates()) rates += (rates.empty() ? "" : ", ") + std::to_string(r);
        return "the device does not take " + text + " baud (" + rates + ")";
    }
    return {};
}

CLI::Validator BaudRate(bool allowAuto) {
    return CLI::Validator([allowAuto](std::string& text) { return BaudProblem(text, allowAuto); }, "");
}

void AddReceiverSettings(CLI::App& sub, ReceiverSettings& s, bool receiverRequired) {
    auto* receiver = sub.add_option("--receiver", s.name,
                                    receiverRequired ? "receiver model; see 'tolvik receivers'"
                                                     : "receiver model (default \"Other\"); see 'tolvik receivers'");
    if (receiverRequired) receiver->required();
    sub.add_option("--geoid-mode", s.geoidMode, "0 ignore the geoid separation, 1 add it, 2 subtract it")
        ->check(WholeIn(0, 2));
    sub.add_option("--antenna-height", s.antennaHeight, "antenna height in metres, subtracted from altitudes")
        ->check(FiniteIn(-1000.0, 1000.0));
    sub.add_option("--min-sats", s.minSatellites, "fewest satellites for a usable fix (default 4)")
        ->check(WholeIn(3, 32));
}

void AddOutput(CLI::App& sub, OutputOptions& o) {
    sub.add_option("--format", o.format,
                   "records (one JSON object per posted message), gpsd (TPV and SKY objects of gpsd's JSON "
                   "protocol), gpx (a GPX 1.1 track), nmea (the sentences as received) or table (default)")
        ->check(CLI::IsMember({"records", "gpsd", "gpx", "nmea", "table"}));
    sub.add_flag("--json", o.json, "the same as --format records");
    sub.add_flag("--text", o.text, "also print every framed message (\"text\" objects with --json)");
}

void AddRawEpochLog(CLI::App& sub, RawEpochLogOptions& o) {
    sub.add_option("--log-raw-epochs", o.base,
                   "write raw measurement epochs and ephemerides to BASE_<day><Mon>_<h>h<m>m<s>s.tvr");
    sub.add_option("--rinex", o.rinex,
                   "write the raw epochs and ephemerides as RINEX 3.04 files BASE.obs and BASE.nav");
    sub.add_option("--log-interval", o.interval, "seconds between logged raw epochs (default 1)")
        ->check(FiniteIn(0.1, 86400.0));
}

void AddLine(CLI::App& sub, LineOptions& o, bool allowAutoBaud) {
    auto* port =
        sub.add_option("--port", o.port, "serial port number (COM<N>: is /dev/ttyS<N-1>)")->check(WholeIn(1, 98));
    auto* device =
        sub.add_option("--device", o.device, "serial device to use (with --port, the device of that number)");
    (void)port;
    (void)device;
    sub.add_option("--baud", o.baud,
                   allowAutoBaud ? "line speed, or 'auto' to find it (default: the stored or model's rate)"
                                 : "line speed (default: the stored or model's rate)")
        ->check(BaudRate(allowAutoBaud));
    sub.add_option("--settings", o.settings, "settings file (default $XDG_CONFIG_HOME/tolvik/settings.ini)");
}

void NeedPortOrDevice(const LineOptions& line, const char* command) {
    if (line.port == 0 && line.device.empty()) {
        throw UsageError(std::string(command) + " needs --port N or --device PATH");
    }
}

// "--version" anywhere before "--" answers at once, after a subcommand too.
bool AsksForVersion(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") return false;
        if (word == "--version") return true;
    }
    return false;
}

const char* const kFooter =
    "Exit codes: 0 success, 1 failure (file, device or receiver), 2 wrong command line.\n"
    "See man tolvik for the details.";

}  // namespace

int RunTool(int argc, const char* const* argv) {
    if (AsksForVersion(argc, argv)) {
        std::printf("tolvik %s\n", TOLVIK_VERSION);
        return kExitOk;
    }
    CLI::App app("tolvik: replay recordings of GPS receivers, read and configure live ones, simulate one.", "tolvik");
    app.footer(kFooter);
    app.require_subcommand(1);
    bool version = false;  // answered before parsing, after a subcommand too
    app.add_flag("--version", version, "the tool's version");

    ReplayOptions replay;
    CLI::App* replayCmd = app.add_subcommand("replay", "replay a recording and print its epochs");
    replayCmd->add_option("FILE", replay.file, "the recording (default: the bundled sample; - reads standard input)");
    replayCmd->add_flag("--fast", replay.fast, "feed every line at once, one pass, instead of one line per 500 ms");
    replayCmd->add_flag("--raw", replay.raw, "FILE is a raw byte log from a port (binary records included); one pass")
        ->excludes("--fast");
    replayCmd->add_flag("--loop", replay.loop, "paced: start again at the end of the file");
    replayCmd->add_flag("--realtime", replay.realtime, "paced by the sentences' own time stamps, not 500 ms a line")
        ->excludes("--fast");
    replayCmd->add_option("--epochs", replay.epochs, "stop after N epochs with a position")
        ->check(WholeIn(1, LONG_MAX));
    AddOutput(*replayCmd, replay.output);
    AddReceiverSettings(*replayCmd, replay.receiver, false);
    AddRawEpochLog(*replayCmd, replay.rawEpochs);

    MonitorOptions monitor;
    CLI::App* monitorCmd = app.add_subcommand("monitor", "read a live receiver and print its epochs until Ctrl-C");
    AddLine(*monitorCmd, monitor.line, true);
    AddOutput(*monitorCmd, monitor.output);
    AddReceiverSettings(*monitorCmd, monitor.receiver, false);
    monitorCmd->add_option("--log-raw", monitor.rawLog, "write every byte read to FILE (a later 'replay --raw' input)");
    AddRawEpochLog(*monitorCmd, monitor.rawEpochs);
    monitorCmd->add_option("--seconds", monitor.seconds, "stop after S seconds")->check(FiniteIn(0.001, 1e7));

    SimulateOptions simulate;
    CLI::App* simulateCmd =
        app.add_subcommand("simulate", "a simulated receiver on a pseudo-terminal; prints its device path");
    simulateCmd->add_option("FILE", simulate.file, "sentences to stream (default: the bundled sample; - reads stdin)");
    simulateCmd->add_option("--receiver", simulate.receiver, "answer commands as this receiver model does");
    simulateCmd->add_option("--rate", simulate.rate, "R lines per second instead of the recording's own pace")
        ->check(FiniteIn(0.01, 100000.0));
    simulateCmd->add_option("--baud", simulate.baud, "the receiver's own line speed; other rates read garbage")
        ->check(BaudRate(false));
    simulateCmd->add_flag("--fast", simulate.fast, "as fast as the line allows")->excludes("--rate");
    simulateCmd->add_flag("--once", simulate.once, "stop at the end of the file instead of starting again");
    simulateCmd->add_flag("--raw", simulate.raw, "FILE is a raw byte log (binary records included): an epoch a second")
        ->excludes("--rate");

    ServeOptions serve;
    CLI::App* serveCmd =
        app.add_subcommand("serve", "serve a receiver to gpsd clients (gpsd's JSON protocol) until Ctrl-C");
    serveCmd->add_option("--listen", serve.listen,
                         "HOST:PORT to listen on (default 127.0.0.1:2947; port 0: a free one)");
    serveCmd->add_option("--http", serve.http, "HOST:PORT of a live view for a browser (a page and its event stream)");
    auto* serveReplay = serveCmd->add_option("--replay", serve.replay, "serve a recording instead of a device");
    serveCmd->add_option("--rate", serve.rate, "R lines per second (with --replay)")
        ->check(FiniteIn(0.01, 1e6))
        ->needs(serveReplay);
    serveCmd->add_flag("--realtime", serve.realtime, "pace the recording by its own time stamps (the default)")
        ->excludes("--rate");
    serveCmd->add_flag("--loop", serve.loop, "start the recording again at its end")->needs(serveReplay);
    serveCmd->add_option("--queue", serve.queue, "reports kept for a client that does not keep up (default 1024)")
        ->check(WholeIn(1, 1000000));
    AddLine(*serveCmd, serve.line, false);
    AddReceiverSettings(*serveCmd, serve.receiver, false);

    ReceiversOptions receivers;
    CLI::App* receiversCmd =
        app.add_subcommand("receivers", "list the receiver models with their capabilities and default baud rates");
    receiversCmd->add_flag("--json", receivers.json, "one JSON object per model");

    CommandOptions command;
    CLI::App* commandCmd = app.add_subcommand("command", "send one configuration operation to a receiver");
    commandCmd->footer("Operations (arguments in this order):\n" + CommandOperationsHelp());
    commandCmd->add_option("--receiver", command.receiver, "receiver model; see 'tolvik receivers'")->required();
    AddLine(*commandCmd, command.line, false);
    commandCmd->add_flag("--json", command.json, "print the reported settings as a JSON object");
    commandCmd->add_option("--wait", command.wait, "seconds a query waits for its reply (default 3)")
        ->check(FiniteIn(0.1, 3600.0));
    commandCmd->add_flag("--list", command.list, "list the operations this model implements");
    commandCmd->add_flag("--no-wait", command.noWait, "reset-all: do not wait for acknowledgements");
    commandCmd->add_option("OPERATION", command.operation, "the operation");
    commandCmd->add_option("ARGS", command.arguments, "its arguments");

    CLI::App* failing = &app;
    if (argc < 2) {
        std::fprintf(stderr, "usage: tolvik SUBCOMMAND [OPTIONS]; try 'tolvik --help'\n");
        return kExitUsage;
    }
    bool known = argv[1][0] == '-';
    for (const CLI::App* sub : app.get_subcommands({})) known = known || sub->get_name() == argv[1];
    if (!known) {
        std::fprintf(stderr, "tolvik: unknown command '%s'\ntry 'tolvik --help'\n", argv[1]);
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        for (CLI::App* sub : app.get_subcommands()) failing = sub;
        const std::string name = failing == &app ? "" : " " + failing->get_name();
        std::fprintf(stderr, "tolvik%s: %s\ntry 'tolvik%s --help'\n", name.c_str(), e.what(), name.c_str());
        return kExitUsage;
    }

    try {
        FlushLinesWhenPiped();
        if (replayCmd->parsed()) return RunReplay(replay);
        if (monitorCmd->parsed()) {
            NeedPortOrDevice(monitor.line, "monitor");
            return RunMonitor(monitor);
        }
        if (simulateCmd->parsed()) return RunSimulate(simulate);
        if (receiversCmd->parsed()) return RunReceivers(receivers);
        if (serveCmd->parsed()) {
            if (serve.replay.empty() && serve.line.port == 0 && serve.line.device.empty()) {
                throw UsageError("serve needs --replay FILE, or --port N or --device PATH");
            } else if (!serve.replay.empty() &&
                       (serve.line.port != 0 || !serve.line.device.empty() || !serve.line.baud.empty())) {
                throw UsageError("serve takes --replay FILE or a device, not both");
            }
            return RunServe(serve);
        }
        if (commandCmd->parsed()) {
            failing = commandCmd;
            if (!command.list && command.operation != "set-baud") {
                NeedPortOrDevice(command.line, "command");
                if (command.operation.empty()) throw UsageError("command needs an OPERATION (or --list)");
            }
            return RunCommand(command);
        }
        return kExitUsage;
    } catch (const UsageError& e) {
        for (CLI::App* sub : app.get_subcommands()) failing = sub;
        const std::string name = failing == &app ? "" : " " + failing->get_name();
        std::fprintf(stderr, "tolvik%s: %s\ntry 'tolvik%s --help'\n", name.c_str(), e.what(), name.c_str());
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "tolvik: %s\n", e.what());
        return kExitFailure;
    }
}

platform::Event& InterruptEvent() {
    static auto* event = new platform::Event(true, false);
    return *event;
}

namespace {
void OnSignal(int) { InterruptEvent().Set(); }  // a write to an eventfd: async-signal-safe
}  // namespace

void InstallInterruptHandler() {
    InterruptEvent();
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

std::string OutputFormat(const OutputOptions& options) { return FormatOption(options.json, options.format); }

void FlushLinesWhenPiped() {
    // A pipe is block-buffered by default, so 'tolvik monitor | jq' would show nothing until the
    // buffer fills. Line buffering costs a write per line, which only fast replay would notice;
    // it sets full buffering again itself.
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

std::string BundledSamplePath() {
    struct stat st {};
    const std::string inSource = std::string(TOLVIK_DATA_DIR) + "/sample.log";
    if (stat(inSource.c_str(), &st) == 0) return inSource;
    // Installed: <prefix>/bin/tolvik and <prefix>/share/tolvik/sample.log.
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, static_cast<std::size_t>(n));
        path = path.substr(0, path.rfind('/'));
        path = path.substr(0, path.rfind('/')) + "/share/tolvik/sample.log";
        if (stat(path.c_str(), &st) == 0) return path;
    }
    return inSource;
}

std::string ResolveInputFile(const std::string& path) {
    if (path.empty()) return BundledSamplePath();
    if (path == "-") {
        // The engine replays a file by name; standard input goes through a private copy.
        const char* tmp = std::getenv("TMPDIR");
        std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/tolvik-stdin-XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0) throw std::runtime_error("cannot keep standard input: " + std::string(std::strerror(errno)));
        unlink(name.c_str());  // gone when the tool ends; reachable through /proc meanwhile
        char buffer[65536];
        ssize_t n = 0;
        while ((n = read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
            if (write(fd, buffer, static_cast<std::size_t>(n)) != n) {
                throw std::runtime_error("cannot keep standard input: " + std::string(std::strerror(errno)));
            }
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw UsageError(path + " is a folder; give a recording file");
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw std::runtime_error(path + ": " + std::strerror(errno));
    return path;
}

CGPSReceiver* ReceiverByName(CGPSEngine& engine, const std::string& name) {
    const CString wanted = CString::FromBytes(name);
    std::string choices;
    for (CGPSReceiver* r : engine.Receivers()) {
        if (r->GetName() == wanted) return r;
        choices += (choices.empty() ? "" : ", ") + std::string("\"") + r->GetName().ToBytes() + "\"";
    }
    throw UsageError("unknown receiver '" + name + "' (one of " + choices + ")");
}

const std::vector<int>& PortBaudRates() {
    static const std::vector<int> kRates = {1200,  2400,   4800,   9600,   19200, 38400,
                                            57600, 115200, 230400, 460800, 921600};
    return kRates;
}

bool IsPortBaudRate(int baud) {
    for (const int r : PortBaudRates()) {
        if (r == baud) return true;
    }
    return false;
}

std::string SettingsPathFor(const LineOptions& line) {
    return line.settings.empty() ? DefaultSettingsPath() : line.settings;
}

void CheckStoredBaudRate(const std::string& settingsPath, const std::string& receiverName) {
    CProfile profile;
    if (!profile.Open(settingsPath)) throw std::runtime_error(settingsPath + ": cannot read");
    const CString none = L"";
    const std::string stored = profile.GetString(CString::FromBytes(receiverName), L"Baud", none).ToBytes();
    if (stored.empty()) return;
    if (!BaudProblem(stored, false).empty()) {
        throw std::runtime_error(settingsPath + ": [" + receiverName + "] Baud=" + stored +
                                 " is not a line speed the port can take; correct or remove the entry");
    }
}

bool OpenRawEpochLog(const RawEpochLogOptions& options, CRawEpochLog& log, int port, double antennaHeight) {
    if (options.base.empty()) return true;
    log.SetDefaultFilename(CString::FromBytes(options.base));
    log.SetLogInterval(options.interval);
    log.SetAntennaHeight(antennaHeight);
    log.SetPort(port);
    log.Enable(true);
    if (!log.IsReady() || !log.Open()) {
        std::fprintf(stderr, "tolvik: cannot create the raw epoch log %s\n",
                     log.GetErrorText().empty() ? log.GetFilename().ToBytes().c_str() : log.GetErrorText().c_str());
        return false;
    }
    std::fprintf(stderr, "tolvik: logging raw epochs to %s\n", log.GetFilename().ToBytes().c_str());
    return true;
}

CGPSReceiver* StartRun(CGPSEngine& engine, ConsoleHost& host, const Printer& printer, const ReceiverSettings& settings,
                       const RawEpochLogOptions& rawEpochs, int port, bool emulating, CRawEpochLog& rawLog,
                       RinexOutput& rinex) {
    CGPSReceiver* receiver = ReceiverByName(engine, settings.name);
    receiver->SetupReceiver(emulating ? 0 : port, settings.geoidMode, settings.antennaHeight, L"", emulating);
    engine.SetMinSatRequierment(settings.minSatellites);
    engine.SetReceiver(receiver);
    host.SetReceiver(receiver);
    if (printer.WantsMessages()) engine.m_ComBuffer.SetStopped(false);
    if (!OpenRawEpochLog(rawEpochs, rawLog, port, settings.antennaHeight)) return nullptr;
    if (rawLog.IsOpen()) host.SetRawLog(&rawLog);
    if (!rinex.Open(rawEpochs.rinex, rawEpochs.interval, settings.antennaHeight, *receiver)) return nullptr;
    host.SetRawLog(rinex.Log());
    engine.InitReceivers();
    return receiver;
}

bool FinishRun(ConsoleHost& host, const CGPSEngine& engine, const CGPSReceiver& receiver, const Printer& printer,
               CRawEpochLog& rawLog) {
    host.Pump();
    std::fflush(stdout);
    std::fprintf(stderr,
                 "tolvik: %d messages, %d checksum errors, %d overflows; %ld epochs posted (%ld with a position)",
                 receiver.m_nMessageCount, receiver.m_nChecksumErrors, engine.m_nOverflowCount.load(), printer.epochs,
                 printer.positions);
    if (receiver.m_nRawMessageCount > 0 || printer.rawEpochs > 0) {
        std::fprintf(stderr, "; %d raw messages (%d refused), %ld raw epochs, %ld ephemerides",
                     receiver.m_nRawMessageCount, receiver.m_nRawMessageErrors, printer.rawEpochs, printer.ephemerides);
    }
    std::fputc('\n', stderr);
    if (rawLog.IsOpen()) std::fprintf(stderr, "tolvik: %s\n", rawLog.GetStatusString().ToBytes().c_str());
    rawLog.Close();  // a failure to write the last bytes counts too
    bool ok = true;
    if (!rawLog.GetErrorText().empty()) {
        std::fprintf(stderr, "tolvik: raw epoch log %s\n", rawLog.GetErrorText().c_str());
        ok = false;
    }
    if (const std::string error = engine.GetRawLogError(); !error.empty()) {
        std::fprintf(stderr, "tolvik: raw byte log %s\n", error.c_str());
        ok = false;
    }
    return ok;
}

}  // namespace tolvik::tool
