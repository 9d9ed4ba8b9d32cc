// tolvik monitor: a live receiver on a serial device.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "Cli.h"
#include "ConsoleHost.h"
#include "RawEpochLog.h"
#include "RinexOutput.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {

// Opens the device once on its own to tell the user precisely what is wrong with it.
bool CheckDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "tolvik: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool tty = isatty(fd);
    ::close(fd);
    if (!tty) {
        std::fprintf(stderr, "tolvik: %s is not a serial device\n", path.c_str());
        return false;
    }
    return true;
}

// What the chosen model writes to the receiver without being asked, said once so that nobody
// is surprised by a receiver that changed its settings under monitor.
void SayWhatTheModelWrites(CGPSReceiver& receiver) {
    static const struct {
        const char* name;
        const char* atStart;
    } kWritesAtStart[] = {
        {"Leica", "its NMEA set-up ($PMVXG) at start and \"VEK Pruv\" when the line is silent"},
        {"Halvorn", "\"VEK Pruv\" when the line is silent"},
        {"Sokkia Axis", "its set-up ($PMCAG,008) at start"},
        {"GSR2650 LB", "its NMEA log set-up (LOG/UNLOG) at start"},
    };
    const std::string name = receiver.GetName().ToBytes();
    std::string writes;
    for (const auto& row : kWritesAtStart) {
        if (name == row.name) writes = row.atStart;
    }
    if (receiver.HasRawData()) {
        writes += std::string(writes.empty() ? "" : "; ") + "raw-data output off when it stops";
    }
    if (!writes.empty())
        std::fprintf(stderr, "tolvik: note: \"%s\" writes to the receiver: %s\n", name.c_str(), writes.c_str());
}

// Counts of what the line brought, for the silence warning.
struct LineCounts {
    std::uint64_t bytes = 0;
    int messages = 0;
    int checksumErrors = 0;
    int Good() const { return messages - checksumErrors; }
};

LineCounts ReadCounts(const CGPSEngine& engine, const CGPSReceiver& receiver) {
    LineCounts c;
    c.bytes = engine.m_nBytesRead.load();
    std::lock_guard lock(CGPSReceiver::SharedStateLock());  // the reader thread counts under it
    c.messages = receiver.m_nMessageCount;
    c.checksumErrors = receiver.m_nChecksumErrors;
    return c;
}

// Runs the engine until Ctrl-C, the time limit, or until stopWhen says so; pumps the posted
// records meanwhile. Returns true when interrupted.
template <typename Stop>
bool RunEngine(CGPSEngine& engine, ConsoleHost& host, double seconds, Stop stopWhen) {
    const platform::Event* events[] = {&InterruptEvent()};
    const DWORD start = platform::GetTickCount();
    const DWORD limit = seconds > 0 ? static_cast<DWORD>(seconds * 1000.0) : INFINITE;
    while (true) {
        const DWORD elapsed = platform::GetTickCount() - start;
        if (elapsed >= limit) return false;
        const DWORD r = MsgWaitForMultipleObjects(events, 1, std::min<DWORD>(250, limit - elapsed));
        host.Pump();
        // Emptied every time, the collected text never reaches the limit that stops forwarding.
        const bool limitReached = engine.m_ComBuffer.LimitReached();
        engine.m_ComBuffer.ClearData();
        if (limitReached) engine.m_ComBuffer.SetStopped(false);
        if (r == platform::WAIT_OBJECT_0) return true;
        if (stopWhen()) return false;
    }
}

// Tries the common rates until sentences with good checksums arrive; the rate found, or 0.
int FindBaudRate(CGPSEngine& engine, ConsoleHost& host, CGPSReceiver& receiver, const std::string& device) {
    static constexpr int kRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
    static constexpr double kTrySeconds = 2.5;  // a receiver talks at least once a second
    for (const int rate : kRates) {
        receiver.m_nBaudRate = rate;
        {
            std::lock_guard lock(CGPSReceiver::SharedStateLock());
            receiver.m_nMessageCount = 0;
            receiver.m_nChecksumErrors = 0;
        }
        std::fprintf(stderr, "tolvik: trying %d baud on %s\n", rate, device.c_str());
        if (!engine.Start()) continue;
        bool found = false;
        const bool interrupted = RunEngine(engine, host, kTrySeconds, [&] {
            found = ReadCounts(engine, receiver).Good() >= 2;
            return found;
        });
        if (found) return rate;
        engine.Stop();
        if (interrupted) return 0;
    }
    return 0;
}

}  // namespace

int RunMonitor(const MonitorOptions& options) {
    const int port = options.line.port > 0 ? options.line.port : 1;
    if (!options.line.device.empty()) CSerialPort::SetPortDevice(port, options.line.device);
    const std::string device = CSerialPort::DevicePath(port);
    const ReceiverSettings& settings = options.receiver;
    const bool autoBaud = options.line.baud == "auto";
    const int baud = autoBaud || options.line.baud.empty() ? 0 : std::stoi(options.line.baud);
    const std::string settingsPath = SettingsPathFor(options.line);
    if (!CheckDevice(device)) return kExitFailure;

    Printer printer(stdout, OutputFormat(options.output), options.output.text);
    ConsoleHost host(printer, false);
    CGPSEngine engine;
    CheckStoredBaudRate(settingsPath, settings.name);
    host.SetProfilePath(settingsPath);
    CRawEpochLog rawLog;
    RinexOutput rinex;
    CGPSReceiver* receiver = StartRun(engine, host, printer, settings, options.rawEpochs, port, false, rawLog, rinex);
    if (!receiver) return kExitFailure;
    if (baud > 0) receiver->m_nBaudRate = baud;  // for this run; the stored rate stays
    // The binary records reach the raw decoders only with their bytes attached.
    if (rawLog.IsOpen() || rinex.Log()) engine.m_bAttachRawData = true;
    if (!options.rawLog.empty()) {
        engine.m_strRawLogFile = CString::FromBytes(options.rawLog);
        engine.m_bLogRawData = true;
    }

    SayWhatTheModelWrites(*receiver);
    InstallInterruptHandler();
    if (autoBaud) {
        const int found = FindBaudRate(engine, host, *receiver, device);
        if (found == 0) {
            std::fprintf(stderr,
                         "tolvik: no rate from 4800 to 115200 baud brought sentences with good checksums on %s\n",
                         device.c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "tolvik: settled on %d baud (Ctrl-C stops)\n", found);
    } else {
        if (!engine.Start()) {
            std::fprintf(stderr, "tolvik: cannot read %s at %d baud: %s\n", device.c_str(), receiver->m_nBaudRate,
                         engine.GetLastErrorString().ToBytes().c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "tolvik: reading \"%s\" on %s at %d baud (Ctrl-C stops)\n",
                     receiver->GetName().ToBytes().c_str(), device.c_str(), receiver->m_nBaudRate);
    }

    // A silent line, or one that brings only garbage, gets a hint instead of nothing at all.
    const DWORD silenceMs = static_cast<DWORD>(options.silenceWarningSeconds * 1000.0);
    DWORD lastGood = platform::GetTickCount();
    int goodSeen = ReadCounts(engine, *receiver).Good();
    bool warned = false;
    RunEngine(engine, host, options.seconds, [&] {
        const LineCounts counts = ReadCounts(engine, *receiver);
        const DWORD now = platform::GetTickCount();
        if (counts.Good() != goodSeen) {
            goodSeen = counts.Good();
            lastGood = now;
            warned = false;
        } else if (!warned && now - lastGood >= silenceMs) {
            warned = true;
            std::fprintf(stderr,
                         "tolvik: no good message for %.0f s on %s: %llu bytes read, %d messages framed, %d checksum "
                         "errors; check the device and its baud rate (now %d; try --baud auto)\n",
                         options.silenceWarningSeconds, device.c_str(), static_cast<unsigned long long>(counts.bytes),
                         counts.messages, counts.checksumErrors, receiver->m_nBaudRate);
        }
        return false;
    });
    engine.Stop();  // the reader thread ends and the port is closed
    const bool finished = FinishRun(host, engine, *receiver, printer, rawLog);
    return rinex.Finish() && finished ? kExitOk : kExitFailure;
}

}  // namespace tolvik::tool
