// tolvik replay: a recording through the engine, paced as the engine replays it, or at once.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "Cli.h"
#include "ConsoleHost.h"
#include "RawEpochLog.h"
#include "RinexOutput.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {

constexpr int kRawBurst = 512;  // bytes per read from a port, roughly what a burst brings

// A progress line on standard error for long fast replays, when someone watches a terminal.
class Progress {
public:
    explicit Progress(long long total) : m_total(total), m_enabled(total > (4 << 20) && isatty(STDERR_FILENO)) {}
    void Update(long long done, long epochs) {
        if (!m_enabled) return;
        const DWORD now = platform::GetTickCount();
        if (now - m_last < 250) return;
        m_last = now;
        std::fprintf(stderr, "\r%6.1f / %.1f MB (%3.0f%%)  %ld epochs ", done / 1e6, m_total / 1e6,
                     100.0 * static_cast<double>(done) / static_cast<double>(m_total), epochs);
    }
    void Finish() {
        if (m_enabled) std::fputs("\r\033[K", stderr);
    }

private:
    long long m_total;
    bool m_enabled;
    DWORD m_last = 0;
};

long long FileSize(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// The tool never reads the collected raw text: emptied after every burst, it never reaches the
// collection limit, which would stop forwarding the messages in the middle of a burst.
void KeepCollecting(CGPSEngine& engine) {
    const bool limitReached = engine.m_ComBuffer.LimitReached();
    engine.m_ComBuffer.ClearData();
    if (limitReached) engine.m_ComBuffer.SetStopped(false);
}

void FastReplay(CGPSEngine& engine, ConsoleHost& host, Printer& printer, const std::string& path) {
    CTextFile file(false, false);
    if (!file.Open(path.c_str(), CTextFile::modeRead | CTextFile::typeText)) {
        throw std::runtime_error(path + ": " + file.GetErrorText());
    }
    Progress progress(FileSize(path));
    long long done = 0;
    CString line;
    while (file.ReadString(line)) {
        done += line.GetLength() + 1;
        engine.ReplayLine(line);
        host.Pump();
        KeepCollecting(engine);
        progress.Update(done, printer.epochs);
    }
    progress.Finish();
}

void RawReplay(CGPSEngine& engine, ConsoleHost& host, Printer& printer, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open");
    engine.m_bAttachRawData = true;
    Progress progress(FileSize(path));
    long long done = 0;
    char buffer[kRawBurst];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const int n = static_cast<int>(in.gcount());
        done += n;
        CBinBuffer burst(buffer, n);
        engine.UpdateGPSBuffer(burst);
        host.Pump();
        KeepCollecting(engine);
        progress.Update(done, printer.epochs);
    }
    progress.Finish();
}

int PacedReplay(CGPSEngine& engine, ConsoleHost& host, Printer& printer, const std::string& path, long maxEpochs) {
    engine.m_bEmulation = true;
    engine.m_strEmulationFile = CString::FromBytes(path);
    if (!engine.Start()) {
        std::fprintf(stderr, "tolvik: %s: %s\n", path.c_str(), engine.GetLastErrorString().ToBytes().c_str());
        return kExitFailure;
    }
    InstallInterruptHandler();
    const platform::Event* events[] = {&InterruptEvent()};
    // The engine replays endlessly: until Ctrl-C, the epoch limit, or the engine stops itself.
    while (engine.IsActive()) {
        const DWORD r = MsgWaitForMultipleObjects(events, 1, 500);
        host.Pump();
        KeepCollecting(engine);
        if (r == platform::WAIT_OBJECT_0) break;
        if (maxEpochs > 0 && printer.positions >= maxEpochs) break;
    }
    engine.Stop();
    host.Pump();
    return kExitOk;
}

}  // namespace

int RunReplay(const std::vector<std::string>& words) {
    const Args args(words,
                    {"receiver", "geoid-mode", "antenna-height", "min-sats", "epochs", "log-raw-epochs", "log-interval", "rinex", "format"},
                    {"fast", "raw", "json", "text"}, 1);
    if (args.Has("fast") && args.Has("raw")) throw UsageError("--fast and --raw exclude each other");
    const std::string path = args.Positional().empty() ? BundledSamplePath() : args.Positional()[0];
    {
        std::ifstream probe(path, std::ios::binary);
        struct stat st{};
        if (!probe || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
            std::fprintf(stderr, "tolvik: %s: %s\n", path.c_str(), errno ? std::strerror(errno) : "cannot read");
            return kExitFailure;
        }
    }
    const ReceiverSettings settings = ReadReceiverSettings(args);

    Printer printer(stdout, FormatOption(args.Has("json"), args.Value("format")), args.Has("text"));
    const bool fast = args.Has("fast") || args.Has("raw");
    ConsoleHost host(printer, !fast);
    host.SetProfilePath(DefaultSettingsPath());
    CGPSEngine engine;
    CGPSReceiver* receiver = ReceiverByName(engine, args.Value("receiver", "Other"));
    receiver->SetupReceiver(0, settings.geoidMode, settings.antennaHeight, L"", true);
    engine.SetMinSatRequierment(settings.minSatellites);
    engine.SetReceiver(receiver);
    host.SetReceiver(receiver);
    if (printer.WantsMessages()) engine.m_ComBuffer.SetStopped(false);
    CRawEpochLog rawLog;
    if (!OpenRawEpochLog(args, rawLog, 1, settings.antennaHeight)) return kExitFailure;
    if (rawLog.IsOpen()) host.SetRawLog(&rawLog);
    RinexOutput rinex;
    if (!rinex.Open(args.Value("rinex"), args.Double("log-interval", 1.0), settings.antennaHeight, *receiver)) return kExitFailure;
    host.SetRawLog(rinex.Log());
    engine.InitReceivers();
    // A replay starts from a fresh epoch with the fix-status map loaded, paced or not, so both
    // give the same epochs. Emulating, this touches no port.
    receiver->Initialize();

    int rc = kExitOk;
    if (args.Has("raw")) {
        RawReplay(engine, host, printer, path);
    } else if (args.Has("fast")) {
        FastReplay(engine, host, printer, path);
    } else {
        rc = PacedReplay(engine, host, printer, path, args.Int("epochs", 0));
    }
    if (!FinishRun(host, engine, *receiver, printer, rawLog)) rc = kExitFailure;
    if (!rinex.Finish()) rc = kExitFailure;
    return rc;
}

}  // namespace tolvik::tool
