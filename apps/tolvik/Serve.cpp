// tolvik serve: a receiver (live, or a replayed recording) served to gpsd clients.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

#include "Cli.h"
#include "ConsoleHost.h"
#include "RawEpochLog.h"
#include "http/HttpFrontEnd.h"
#include "http/StatusLine.h"
#include "output/GpsdReports.h"
#include "output/GpsdServer.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {

constexpr DWORD kLivePumpMs = 250;
constexpr double kLongestPause = 10.0;  // seconds: a gap in a recording is not waited out
constexpr int kSecondsPerDay = 86400;

// The report stream's side of the host: every epoch becomes TPV and SKY objects, every framed
// message goes out as it was received to the clients watching NMEA.
class ServeFormat final : public output::Format {
public:
    ServeFormat(output::ReportHub& hub, output::LatestReports& latest, const std::string& device,
                http::HttpFrontEnd* browsers)
        : m_hub(hub), m_latest(latest), m_sink(hub, browsers), m_reporter(device) {}

    void Epoch(const CGPSData& data) override {
        m_reporter.Epoch(data, m_sink);
        if (m_sink.written) m_latest.Set(m_reporter.LastTpv(), m_reporter.LastSky());
        m_sink.written = false;
    }
    bool WantsMessages() const override { return true; }
    void Message(std::string_view bytes) override {
        m_reporter.Message(bytes);
        m_hub.Publish(output::Channel::Nmea, bytes);
    }

private:
    struct HubSink final : output::Sink {
        HubSink(output::ReportHub& h, http::HttpFrontEnd* b) : hub(h), browsers(b) {}
        void Write(std::string_view bytes) override {
            hub.Publish(output::Channel::Json, output::WireLine(bytes));
            if (browsers) browsers->Publish(bytes);
            written = true;
        }
        output::ReportHub& hub;
        http::HttpFrontEnd* browsers;
        bool written = false;
    };
    output::ReportHub& m_hub;
    output::LatestReports& m_latest;
    HubSink m_sink;
    output::GpsdReporter m_reporter;
};

// The TOLVIK object for the browsers, about once a second: the link's counters and the settings
// the receiver reported.
class LiveStatusReporter {
public:
    LiveStatusReporter(http::HttpFrontEnd* browsers, const CGPSEngine& engine, CGPSReceiver& receiver,
                       std::string device, int bps)
        : m_browsers(browsers), m_engine(engine), m_receiver(receiver) {
        m_status.device = std::move(device);
        m_status.model = receiver.GetName().ToBytes();
        m_status.bps = bps;
        m_lastTick = platform::GetTickCount();
    }

    void Tick() {
        if (!m_browsers) return;
        const DWORD now = platform::GetTickCount();
        const DWORD elapsed = now - m_lastTick;
        if (elapsed < kStatusPeriodMs) return;
        int messages = 0;
        {
            std::lock_guard lock(CGPSReceiver::SharedStateLock());  // the reader thread counts under it
            const CGPSStatusData& reported = CGPSReceiver::m_GPSData.m_Status;
            messages = m_receiver.m_nMessageCount;
            m_status.checksumErrors = static_cast<std::uint64_t>(m_receiver.m_nChecksumErrors);
            if (reported.m_bElevMaskValid) m_status.elevationMaskDeg = reported.m_nElevMask;
            if (reported.m_bDgpsModeValid) m_status.dgpsMode = static_cast<int>(reported.m_nDgpsMode);
            if (reported.m_bBeaconStatusValid || reported.m_bBeaconModeValid) {
                http::BeaconStatus beacon;
                if (reported.m_bBeaconStatusValid) {
                    beacon.frequencyKHz = reported.m_dBeaconFrequency;
                    beacon.bitRate = reported.m_nBeaconBitRate;
                    beacon.strength = reported.m_nBeaconSignalStrength;
                    beacon.snr = reported.m_nBeaconSNR;
                }
                if (reported.m_bBeaconModeValid) beacon.autoTune = reported.m_bBeaconAutoTune;
                m_status.beacon = beacon;
            }
        }
        m_status.overflows = static_cast<std::uint64_t>(m_engine.m_nOverflowCount.load());
        m_status.messagesPerSecond = (messages - m_lastMessages) * 1000.0 / elapsed;
        m_lastMessages = messages;
        m_lastTick = now;
        m_browsers->Publish(http::StatusLine(m_status));
    }

private:
    static constexpr DWORD kStatusPeriodMs = 1000;
    http::HttpFrontEnd* m_browsers;
    const CGPSEngine& m_engine;
    const CGPSReceiver& m_receiver;
    http::LiveStatus m_status;
    DWORD m_lastTick = 0;
    int m_lastMessages = 0;
};

// Seconds of day of a sentence that carries the receiver's time (GGA, RMC, ZDA, GLL), else -1.
double SentenceTime(const std::string& line) {
    if (line.size() < 14 || line[0] != '$') return -1;
    const std::string type = line.substr(3, 3);
    if (type != "GGA" && type != "RMC" && type != "ZDA") return -1;
    const auto comma = line.find(',');
    if (comma == std::string::npos || line.size() < comma + 7) return -1;
    const char* t = line.c_str() + comma + 1;
    for (int i = 0; i < 6; ++i) {
        if (t[i] < '0' || t[i] > '9') return -1;
    }
    const auto two = [t](int i) { return (t[i] - '0') * 10 + (t[i + 1] - '0'); };
    return two(0) * 3600 + two(2) * 60 + two(4) + std::atof(t + 6);
}

// How long to wait before passing a line on: a fixed rate, or the recording's own clock.
class Pacer {
public:
    explicit Pacer(double linesPerSecond) : m_rate(linesPerSecond) {}
    DWORD Before(const std::string& line) {
        if (m_rate > 0) return static_cast<DWORD>(1000.0 / m_rate);
        const double t = SentenceTime(line);
        if (t < 0) return 0;
        double gap = m_last < 0 ? 0 : t - m_last;
        if (gap < 0) gap += kSecondsPerDay;  // past midnight
        m_last = t;
        return gap > 0 && gap <= kLongestPause ? static_cast<DWORD>(gap * 1000.0) : 0;
    }

private:
    double m_rate;
    double m_last = -1;
};

// Waits ms (INFINITE: until interrupted) while taking the posted records; false when interrupted.
bool WaitPumping(ConsoleHost& host, DWORD ms) {
    const platform::Event* events[] = {&InterruptEvent()};
    // INFINITE as a deadline would wrap to "already past" and end the wait at once.
    const bool forever = ms == INFINITE;
    const DWORD deadline = platform::GetTickCount() + ms;
    while (true) {
        const DWORD now = platform::GetTickCount();
        const DWORD left = forever ? INFINITE : static_cast<int>(deadline - now) > 0 ? deadline - now : 0;
        const DWORD r = MsgWaitForMultipleObjects(events, 1, left);
        host.Pump();
        if (r == platform::WAIT_OBJECT_0) return false;
        if (forever) continue;
        if (left == 0 || static_cast<int>(deadline - platform::GetTickCount()) <= 0) return true;
    }
}

// Nobody reads the collected raw text: emptied after every pump, it never reaches the collection
// limit, which would stop forwarding messages in the middle of a burst.
void KeepForwarding(CGPSEngine& engine) {
    const bool limitReached = engine.m_ComBuffer.LimitReached();
    engine.m_ComBuffer.ClearData();
    if (limitReached) engine.m_ComBuffer.SetStopped(false);
}

void ServeReplay(CGPSEngine& engine, ConsoleHost& host, LiveStatusReporter& status, const std::string& path,
                 double rate, bool loop) {
    CTextFile file(false, false);
    if (!file.Open(path.c_str(), CTextFile::modeRead | CTextFile::typeText)) {
        throw std::runtime_error(path + ": cannot open");
    }
    Pacer pacer(rate);
    CString line;
    while (true) {
        if (!file.ReadString(line)) {
            if (!loop) break;
            file.SeekToBegin();
            continue;
        }
        if (!WaitPumping(host, pacer.Before(line.ToBytes()))) return;
        engine.ReplayLine(line);
        host.Pump();
        KeepForwarding(engine);
        status.Tick();
    }
    std::fprintf(stderr, "tolvik: end of %s; serving until Ctrl-C\n", path.c_str());
    status.Tick();
    WaitPumping(host, INFINITE);
}

void ServeLive(CGPSEngine& engine, ConsoleHost& host, LiveStatusReporter& status) {
    while (WaitPumping(host, kLivePumpMs)) {
        KeepForwarding(engine);
        status.Tick();
    }
}

std::pair<std::string, std::uint16_t> ListenAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) throw UsageError("--listen needs HOST:PORT, not '" + text + "'");
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    char* end = nullptr;
    const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (colon + 1 == text.size() || *end != '\0' || port < 0 || port > 65535) {
        throw UsageError("--listen needs a port from 0 to 65535, not '" + text.substr(colon + 1) + "'");
    }
    return {host, static_cast<std::uint16_t>(port)};
}

}  // namespace

int RunServe(const ServeOptions& options) {
    const auto [listenHost, listenPort] = ListenAddress(options.listen);
    const bool replay = !options.replay.empty();
    const ReceiverSettings& settings = options.receiver;
    const int port = options.line.port > 0 ? options.line.port : 1;
    if (!options.line.device.empty()) CSerialPort::SetPortDevice(port, options.line.device);
    const std::string path = replay ? ResolveInputFile(options.replay) : CSerialPort::DevicePath(port);
    std::unique_ptr<http::HttpFrontEnd> browsers;
    if (!options.http.empty()) {
        const auto [httpHost, httpPort] = ListenAddress(options.http);
        browsers = std::make_unique<http::HttpFrontEnd>();
        if (!browsers->Listen(httpHost, httpPort)) {
            std::fprintf(stderr, "tolvik: cannot listen for browsers on %s\n", options.http.c_str());
            return kExitFailure;
        }
        std::fprintf(stderr, "tolvik: live view on http://%s:%d/\n", httpHost.c_str(), browsers->Port());
    }

    output::ReportHub hub;
    output::LatestReports latest;
    Printer printer(std::make_unique<ServeFormat>(hub, latest, path, browsers.get()));
    ConsoleHost host(printer, false);
    const std::string settingsPath = SettingsPathFor(options.line);
    host.SetProfilePath(settingsPath);
    CGPSEngine engine;
    CGPSReceiver* receiver = ReceiverByName(engine, settings.name);
    if (!replay) CheckStoredBaudRate(settingsPath, settings.name);
    receiver->SetupReceiver(replay ? 0 : port, settings.geoidMode, settings.antennaHeight, L"", replay);
    engine.SetMinSatRequierment(settings.minSatellites);
    engine.SetReceiver(receiver);
    host.SetReceiver(receiver);
    engine.InitReceivers();
    if (!options.line.baud.empty()) receiver->m_nBaudRate = std::stoi(options.line.baud);
    engine.m_ComBuffer.SetStopped(false);

    output::ServerInfo info{TOLVIK_VERSION, path, receiver->GetName().ToBytes(), replay ? 0 : receiver->m_nBaudRate};
    output::GpsdServer server(hub, latest, info, listenHost, listenPort, static_cast<std::size_t>(options.queue));
    InstallInterruptHandler();
    if (replay) {
        receiver->Initialize();
    } else if (!engine.Start()) {
        std::fprintf(stderr, "tolvik: cannot read %s at %d baud: %s\n", path.c_str(), receiver->m_nBaudRate,
                     engine.GetLastErrorString().ToBytes().c_str());
        return kExitFailure;
    }
    server.Start();
    std::fprintf(stderr, "tolvik: serving gpsd protocol on %s:%u (Ctrl-C stops)\n", listenHost.c_str(),
                 static_cast<unsigned>(server.Port()));
    LiveStatusReporter status(browsers.get(), engine, *receiver, path, replay ? 0 : receiver->m_nBaudRate);
    if (replay) {
        ServeReplay(engine, host, status, path, options.rate, options.loop);
    } else {
        ServeLive(engine, host, status);
        engine.Stop();
    }
    server.Stop();
    if (browsers) browsers->Stop();
    CRawEpochLog noLog;
    const bool finished = FinishRun(host, engine, *receiver, printer, noLog);
    std::fprintf(stderr, "tolvik: %llu clients, %llu reports dropped for slow clients\n",
                 static_cast<unsigned long long>(server.Connections()),
                 static_cast<unsigned long long>(server.Dropped()));
    return finished ? kExitOk : kExitFailure;
}

}  // namespace tolvik::tool
