// tolvik serve: a receiver (live, or a replayed recording) served to gpsd clients.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "Cli.h"
#include "ConsoleHost.h"
#include "RawEpochLog.h"
#include "output/GpsdReports.h"
#include "output/GpsdServer.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"

namespace tolvik::tool {

namespace {

constexpr std::uint16_t kGpsdPort = 2947;
constexpr DWORD kLivePumpMs = 250;
constexpr double kLongestPause = 10.0;  // seconds: a gap in a recording is not waited out
constexpr int kSecondsPerDay = 86400;

// The report stream's side of the host: every epoch becomes TPV and SKY objects, every framed
// message goes out as it was received to the clients watching NMEA.
class ServeFormat final : public output::Format {
public:
    ServeFormat(output::ReportHub& hub, output::LatestReports& latest, const std::string& device)
        : m_hub(hub), m_latest(latest), m_sink(hub), m_reporter(device) {}

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
        explicit HubSink(output::ReportHub& h) : hub(h) {}
        void Write(std::string_view bytes) override {
            hub.Publish(output::Channel::Json, output::WireLine(bytes));
            written = true;
        }
        output::ReportHub& hub;
        bool written = false;
    };
    output::ReportHub& m_hub;
    output::LatestReports& m_latest;
    HubSink m_sink;
    output::GpsdReporter m_reporter;
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

// Waits ms while taking the posted records; false when interrupted.
bool WaitPumping(ConsoleHost& host, DWORD ms) {
    const platform::Event* events[] = {&InterruptEvent()};
    const DWORD deadline = platform::GetTickCount() + ms;
    while (true) {
        const DWORD now = platform::GetTickCount();
        const DWORD left = static_cast<int>(deadline - now) > 0 ? deadline - now : 0;
        const DWORD r = MsgWaitForMultipleObjects(events, 1, left);
        host.Pump();
        if (r == platform::WAIT_OBJECT_0) return false;
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

void ServeReplay(CGPSEngine& engine, ConsoleHost& host, const std::string& path, double rate, bool loop) {
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
    }
    std::fprintf(stderr, "tolvik: end of %s; serving until Ctrl-C\n", path.c_str());
    WaitPumping(host, INFINITE);
}

void ServeLive(CGPSEngine& engine, ConsoleHost& host) {
    while (WaitPumping(host, kLivePumpMs)) KeepForwarding(engine);
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

int RunServe(const std::vector<std::string>& words) {
    const Args args(words,
                    {"listen", "replay", "rate", "receiver", "port", "device", "baud", "geoid-mode", "antenna-height",
                     "min-sats", "queue"},
                    {"realtime", "loop"}, 0);
    const auto [listenHost, listenPort] = ListenAddress(args.Value("listen", "127.0.0.1:" + std::to_string(kGpsdPort)));
    const bool replay = args.Has("replay");
    if (replay && (args.Has("port") || args.Has("device") || args.Has("baud"))) {
        throw UsageError("serve takes --replay FILE or a device, not both");
    }
    if (!replay && !args.Has("port") && !args.Has("device")) {
        throw UsageError("serve needs --replay FILE, or --port N or --device PATH");
    }
    if (args.Has("rate") && args.Has("realtime")) throw UsageError("--rate and --realtime exclude each other");
    const double rate = args.Double("rate", 0.0);
    if (args.Has("rate") && !(rate > 0.0 && rate <= 1e6)) throw UsageError("--rate needs lines per second above 0");
    const int queue = args.Int("queue", static_cast<int>(output::GpsdServer::kDefaultQueue));
    if (queue < 1) throw UsageError("--queue needs at least 1 report");
    const ReceiverSettings settings = ReadReceiverSettings(args);
    const int port = args.Int("port", 1);
    if (port <= 0 || port == CSerialPort::kBluetoothPort) throw UsageError("--port needs a serial port number from 1");
    if (args.Has("device")) CSerialPort::SetPortDevice(port, args.Value("device"));
    const std::string path = replay ? args.Value("replay") : CSerialPort::DevicePath(port);
    if (replay && !std::ifstream(path)) {
        std::fprintf(stderr, "tolvik: %s: %s\n", path.c_str(), std::strerror(errno));
        return kExitFailure;
    }

    output::ReportHub hub;
    output::LatestReports latest;
    Printer printer(std::make_unique<ServeFormat>(hub, latest, path));
    ConsoleHost host(printer, false);
    host.SetProfilePath(DefaultSettingsPath());
    CGPSEngine engine;
    CGPSReceiver* receiver = ReceiverByName(engine, args.Value("receiver", "Other"));
    receiver->SetupReceiver(replay ? 0 : port, settings.geoidMode, settings.antennaHeight, L"", replay);
    engine.SetMinSatRequierment(settings.minSatellites);
    engine.SetReceiver(receiver);
    host.SetReceiver(receiver);
    engine.InitReceivers();
    if (args.Has("baud")) receiver->m_nBaudRate = args.Int("baud", 0);
    engine.m_ComBuffer.SetStopped(false);

    output::ServerInfo info{TOLVIK_VERSION, path, receiver->GetName().ToBytes(), replay ? 0 : receiver->m_nBaudRate};
    output::GpsdServer server(hub, latest, info, listenHost, listenPort, static_cast<std::size_t>(queue));
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
    if (replay) {
        ServeReplay(engine, host, path, rate, args.Has("loop"));
    } else {
        ServeLive(engine, host);
        engine.Stop();
    }
    server.Stop();
    CRawEpochLog noLog;
    FinishRun(host, engine, *receiver, printer, noLog);
    std::fprintf(stderr, "tolvik: %llu clients, %llu reports dropped for slow clients\n",
                 static_cast<unsigned long long>(server.Connections()),
                 static_cast<unsigned long long>(server.Dropped()));
    return kExitOk;
}

}  // namespace tolvik::tool
