// tolvik replay: a recording through the engine, paced as the engine replays it, or at once.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string_view>

#include "Cli.h"
#include "ConsoleHost.h"
#include "RawEpochLog.h"
#include "RinexOutput.h"
#include "sim/SimulatedReceiver.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {

constexpr int kRawBurst = 512;  // bytes per read from a port, roughly what a burst brings
constexpr std::size_t kOutputBuffer = 64 * 1024;

// A progress line on standard error for long fast replays, when someone watches a terminal.
class Progress {
public:
    explicit Progress(long long total) : m_total(total), m_enabled(total > (4 << 20) && isatty(STDERR_FILENO)) {}
    void Update(long long done, long epochs) {
        if (!m_enabled) return;
        const DWORD now = platform::GetTickCount();
        if (now - m_last < 250) return;
        m_last = now;
        std::fprintf(stderr, "\r%6.1f / %.1f MB (%3.0f%%)  %ld epochs ", static_cast<double>(done) / 1e6,
                     static_cast<double>(m_total) / 1e6,
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
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// The tool never reads the collected raw text: emptied after every burst, it never reaches the
// collection limit, which would stop forwarding the messages in the middle of a burst.
void KeepCollecting(CGPSEngine& engine) {
    const bool limitReached = engine.m_ComBuffer.LimitReached();
    engine.m_ComBuffer.ClearData();
    if (limitReached) engine.m_ComBuffer.SetStopped(false);
}

// Stops a replay once enough epochs with a position were printed (0: no limit).
bool EnoughEpochs(const Printer& printer, long maxEpochs) { return maxEpochs > 0 && printer.positions >= maxEpochs; }

// Lines replayed between deliveries to the main window: each delivery after an empty queue
// costs the wake-up event's system calls, and what waits meanwhile stays small.
constexpr long kLinesPerDelivery = 256;

// Whether a line may hold a sentence with a date (RMC or ZDA) anywhere in it.
bool MayHoldDate(std::string_view line) {
    return line.find("RMC") != std::string_view::npos || line.find("ZDA") != std::string_view::npos;
}

// Whether the engine, with nothing left over in its framing buffer, frames the line with its
// "\r\n" as exactly one text message of those bytes: a '$' sentence of printable ASCII with no
// other message start in it, not a "$BIN" block, short enough not to overflow the buffer, with
// a second comma (framing waits for one) and a second field made of digits and points (a time,
// as RMC and ZDA carry there; the fixed-length binary records have letters in that field).
bool OneTextMessage(std::string_view line) {
    if (line.size() < 2 || line[0] != '$' || line.starts_with("$BIN")) return false;
    if (line.size() + 2 >= static_cast<std::size_t>(CGPSEngine::kBufferLimit)) return false;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c < 0x20 || c > 0x7E || c == '$' || c == '#') return false;
    }
    const auto c1 = line.find(',');
    const auto c2 = c1 == std::string_view::npos ? c1 : line.find(',', c1 + 1);
    if (c2 == std::string_view::npos) return false;
    for (std::size_t i = c1 + 1; i < c2; ++i) {
        if ((line[i] < '0' || line[i] > '9') && line[i] != '.') return false;
    }
    return true;
}

// The recording at once, line by line as the engine's emulation passes them on. A format that
// looks only at the date sentences gets them from here rather than having the engine post every
// framed message: a date line that the engine frames as just itself is queued for it directly,
// behind the epochs it completed; any other line that might frame one (a date line of another
// shape, or a line that continues an unfinished message) is replayed with the messages
// forwarded, so the format sees exactly the messages it would have seen.
void FastReplay(CGPSEngine& engine, ConsoleHost& host, Printer& printer, const std::string& path, long maxEpochs) {
    CTextFile file(false, false);
    if (!file.Open(path.c_str(), CTextFile::modeRead | CTextFile::typeText)) {
        throw std::runtime_error(path + ": " + file.GetErrorText());
    }
    const bool datesOnly = printer.WantsMessages() && printer.DatesOnly();
    if (datesOnly) engine.m_ComBuffer.SetStopped(true);
    // A limit on the epochs is checked after every line, as they are delivered.
    const long linesPerDelivery = maxEpochs > 0 ? 1 : kLinesPerDelivery;
    Progress progress(FileSize(path));
    long long done = 0;
    long lines = 0;
    std::string_view line;
    while (!EnoughEpochs(printer, maxEpochs) && file.ReadLine(line)) {
        done += static_cast<long long>(line.size()) + 1;
        if (!datesOnly) {
            engine.ReplayLine(line);
            KeepCollecting(engine);
        } else {
            const bool mayHoldDate = MayHoldDate(line);
            const bool continues = engine.m_Buffer.GetLength() > 0;
            if (continues || (mayHoldDate && !OneTextMessage(line))) {
                engine.m_ComBuffer.SetStopped(false);
                engine.ReplayLine(line);
                KeepCollecting(engine);
                engine.m_ComBuffer.SetStopped(true);
            } else {
                engine.ReplayLine(line);
                if (mayHoldDate) host.PostSentence(line);
            }
        }
        if (++lines % linesPerDelivery == 0) {
            host.Pump();
            progress.Update(done, printer.epochs);
        }
    }
    host.Pump();
    progress.Finish();
}

void RawReplay(CGPSEngine& engine, ConsoleHost& host, Printer& printer, const std::string& path, long maxEpochs) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open");
    engine.m_bAttachRawData = true;
    Progress progress(FileSize(path));
    long long done = 0;
    char buffer[kRawBurst];
    while (!EnoughEpochs(printer, maxEpochs) && (in.read(buffer, sizeof buffer) || in.gcount() > 0)) {
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

// Waits until the pause has passed, delivering what arrives for the main window meanwhile;
// false when Ctrl-C came first.
bool PauseDelivering(ConsoleHost& host, DWORD ms) {
    const platform::Event* events[] = {&InterruptEvent()};
    const DWORD start = platform::GetTickCount();
    while (true) {
        const DWORD waited = platform::GetTickCount() - start;
        const DWORD left = waited >= ms ? 0 : ms - waited;
        const DWORD r = MsgWaitForMultipleObjects(events, 1, left);
        host.Pump();
        if (r == platform::WAIT_OBJECT_0) return false;
        if (left == 0 || r == platform::WAIT_TIMEOUT) return true;
    }
}

// The pause before a line: the emulation's 500 ms a line, or with realtime the time the
// recording's clock moved since the last sentence that carried a time (none for the others;
// jumps backwards or of a minute and more, as at a gap in the recording, do not wait).
class Pacer {
public:
    explicit Pacer(bool realtime) : m_realtime(realtime) {}
    DWORD Before(const CString& line) {
        if (!m_realtime) return kLinePaceMs;
        double t = 0.0;
        if (!sim::SimulatedReceiver::SentenceTime(line.ToBytes(), t)) return 0;
        const double last = m_last;
        m_last = t;
        if (!(t > last) || t - last >= 60.0) return 0;
        return static_cast<DWORD>((t - last) * 1000.0 + 0.5);
    }
    void Restart() { m_last = std::numeric_limits<double>::quiet_NaN(); }

private:
    static constexpr DWORD kLinePaceMs = 500;  // the engine's emulation pace
    bool m_realtime;
    double m_last = std::numeric_limits<double>::quiet_NaN();
};

// Paced replay on this thread, line by line as the engine's emulation passes them on, so it can
// end at the end of the file (or start again with --loop) and pace by the recording's clock.
int PacedReplay(CGPSEngine& engine, ConsoleHost& host, Printer& printer, const std::string& path,
                const ReplayOptions& options) {
    CTextFile file(false, false);
    if (!file.Open(path.c_str(), CTextFile::modeRead | CTextFile::typeText)) {
        std::fprintf(stderr, "tolvik: %s: cannot open\n", path.c_str());
        return kExitFailure;
    }
    InstallInterruptHandler();
    Pacer pacer(options.realtime);
    bool anyLine = false;
    while (!EnoughEpochs(printer, options.epochs)) {
        CString line;
        if (!file.ReadString(line)) {
            if (!options.loop || !anyLine) break;  // an empty file would loop for nothing
            file.SeekToBegin();
            pacer.Restart();
            continue;
        }
        anyLine = true;
        if (!PauseDelivering(host, pacer.Before(line))) break;
        engine.ReplayLine(line);
        host.Pump();
        KeepCollecting(engine);
    }
    return kExitOk;
}

}  // namespace

int RunReplay(const ReplayOptions& options) {
    const std::string path = ResolveInputFile(options.file);
    const ReceiverSettings& settings = options.receiver;
    const bool fast = options.fast || options.raw;
    // Fast replay may keep its output block-buffered: nobody watches it line by line. The
    // buffer is ours, since without one stdio picks a page (a system call every few records).
    static char outputBuffer[kOutputBuffer];
    if (fast) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    Printer printer(stdout, OutputFormat(options.output), options.output.text);
    ConsoleHost host(printer, !fast);
    host.SetProfilePath(DefaultSettingsPath());
    CGPSEngine engine;
    CRawEpochLog rawLog;
    RinexOutput rinex;
    CGPSReceiver* receiver = StartRun(engine, host, printer, settings, options.rawEpochs, 1, true, rawLog, rinex);
    if (!receiver) return kExitFailure;
    // A replay starts from a fresh epoch with the fix-status map loaded, paced or not, so both
    // give the same epochs. Emulating, this touches no port.
    receiver->Initialize();

    int rc = kExitOk;
    if (options.raw) {
        RawReplay(engine, host, printer, path, options.epochs);
    } else if (options.fast) {
        FastReplay(engine, host, printer, path, options.epochs);
    } else {
        rc = PacedReplay(engine, host, printer, path, options);
    }
    if (!FinishRun(host, engine, *receiver, printer, rawLog)) rc = kExitFailure;
    if (!rinex.Finish()) rc = kExitFailure;
    return rc;
}

}  // namespace tolvik::tool
