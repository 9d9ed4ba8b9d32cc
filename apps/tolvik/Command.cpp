// tolvik command: one configuration operation of a receiver model, from the shell.
//
// The operation runs on this thread as a host's user interface runs it: the engine reads the
// port on its reader thread, and the replies reach this thread as posted epochs whose status
// record carries what the receiver reported. A query waits for the reply it provokes.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Cli.h"
#include "ConsoleHost.h"
#include "Output.h"
#include "tolvik/models/CCSI.h"
#include "tolvik/models/CStarlink.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"
#include "tolvik/platform/Window.h"

namespace tolvik::tool {

namespace {

// Which reported settings answer a query.
enum class Reply {
    None,  // a setting: nothing to wait for
    NmeaTable,
    ElevMask,
    Settings,  // elevation mask or position mode (parameter replies bring several lines)
    Beacon,
    DgpsMode,
    Text,
    Any,  // any status reply
};

struct Operation {
    const char* name;
    const char* arguments;  // for help and messages
    std::size_t argumentCount;
    bool (*implemented)(CGPSReceiver&);
    Reply reply;
    // Runs the operation; false when the receiver reported a failure (reset, raw output).
    std::function<bool(CGPSReceiver&, const std::vector<std::string>&, const CommandOptions&)> run;
};

bool Always(CGPSReceiver&) { return true; }
bool SetsNmea(CGPSReceiver& r) { return r.ImplementsSetNmea(); }
bool QueriesNmea(CGPSReceiver& r) { return r.ImplementsQueryNmea(); }
bool QueriesSettings(CGPSReceiver& r) { return r.ImplementsQueryGpsSettings(); }
bool SetsElevMask(CGPSReceiver& r) { return r.ImplementsSetElevMask(); }
bool HasBeacon(CGPSReceiver& r) { return r.ImplementsBeacon(); }
bool HasPar(CGPSReceiver& r) { return dynamic_cast<CCSI*>(&r) || dynamic_cast<CStarlink*>(&r); }
bool Resets(CGPSReceiver& r) { return r.ImplementsResetAll(); }
bool HasDgps(CGPSReceiver& r) { return r.HasDGPSSupport(); }
bool HasRaw(CGPSReceiver& r) { return r.HasRawData(); }

// Argument readers: the whole word, finite, or a UsageError naming the operation's argument.
int WholeArgument(const std::string& word, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || end != word.c_str() + word.size() || errno == ERANGE || v < -1000000 || v > 1000000) {
        throw UsageError(std::string(what) + " needs a whole number, not '" + word + "'");
    }
    return static_cast<int>(v);
}

double NumberArgument(const std::string& word, const char* what) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(word.c_str(), &end);
    if (word.empty() || end != word.c_str() + word.size() || !std::isfinite(v) || errno == ERANGE) {
        throw UsageError(std::string(what) + " needs a finite number, not '" + word + "'");
    }
    return v;
}

bool OnOffArgument(const std::string& word, const char* what) {
    if (word == "on") return true;
    if (word == "off") return false;
    throw UsageError(std::string(what) + " needs on or off, not '" + word + "'");
}

DgpsMode DgpsModeArgument(const std::string& word) {
    static const char* const kNames[] = {"none", "beacon", "lband", "waas", "cdgps", "omnistar"};
    for (int i = 0; i < 6; ++i) {
        if (word == kNames[i] || word == std::to_string(i)) return static_cast<DgpsMode>(i);
    }
    throw UsageError("set-dgps-mode needs none, beacon, lband, waas, cdgps or omnistar (or 0-5), not '" + word + "'");
}

BEACON_MODE_TYPE BeaconModeArgument(const std::string& word) {
    if (word == "auto" || word == "0") return static_cast<BEACON_MODE_TYPE>(0);
    if (word == "manual" || word == "1") return static_cast<BEACON_MODE_TYPE>(1);
    throw UsageError("set-beacon needs MODE auto or manual (0 or 1), not '" + word + "'");
}

const std::vector<Operation>& Operations() {
    using Args = std::vector<std::string>;
    static const std::vector<Operation> kOperations = {
        {"set-default-nmea", "", 0, SetsNmea, Reply::None,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.SetDefaultNMEA(), true; }},
        {"set-gga-only-nmea", "", 0, SetsNmea, Reply::None,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.SetGgaOnlyNMEA(), true; }},
        {"query-nmea-active", "", 0, QueriesNmea, Reply::NmeaTable,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryNmeaActive(), true; }},
        {"query-gps-settings", "", 0, QueriesSettings, Reply::Settings,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryGpsSettings(), true; }},
        {"query-sat-elev-mask", "", 0, SetsElevMask, Reply::ElevMask,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QuerySatElevMask(), true; }},
        {"set-sat-elev-mask", "DEG", 1, SetsElevMask, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             const int degrees = WholeArgument(a[0], "set-sat-elev-mask DEG");
             if (degrees < 0 || degrees > 90) throw UsageError("set-sat-elev-mask DEG needs 0 to 90 degrees");
             return r.SetSatElevMask(degrees), true;
         }},
        {"query-beacon", "", 0, HasBeacon, Reply::Beacon,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryBeacon(), true; }},
        {"set-beacon", "MODE FREQ BITRATE", 3, HasBeacon, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             const BEACON_MODE_TYPE mode = BeaconModeArgument(a[0]);
             if (!a[1].empty()) NumberArgument(a[1], "set-beacon FREQ");
             if (!a[2].empty()) NumberArgument(a[2], "set-beacon BITRATE");
             return r.SetBeacon(mode, CString::FromBytes(a[1]), CString::FromBytes(a[2])), true;
         }},
        {"query-par", "", 0, HasPar, Reply::Settings,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) {
             if (auto* csi = dynamic_cast<CCSI*>(&r)) csi->QueryPAR();
             if (auto* starlink = dynamic_cast<CStarlink*>(&r)) starlink->QueryPAR();
             return true;
         }},
        {"reset-all", "[--no-wait]", 0, Resets, Reply::None,
         [](CGPSReceiver& r, const Args&, const CommandOptions& o) { return r.ResetAll(!o.noWait); }},
        {"query-dgps-mode", "", 0, HasDgps, Reply::DgpsMode,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryDgpsMode(), true; }},
        {"set-dgps-mode", "MODE", 1, HasDgps, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             return r.SetDgpsMode(DgpsModeArgument(a[0])), true;
         }},
        {"query-omnistar", "", 0, HasDgps, Reply::Text,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryOmniStar(), true; }},
        {"dgps-status-msg", "on|off", 1, HasDgps, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             return r.DgpsStatusMsg(OnOffArgument(a[0], "dgps-status-msg")), true;
         }},
        {"query-lband-satellites", "", 0, HasDgps, Reply::Text,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryLbandSatellites(), true; }},
        {"set-lband-frequency", "FREQ RATE", 2, HasDgps, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             const double frequency = NumberArgument(a[0], "set-lband-frequency FREQ");
             return r.SetLbandFrequency(frequency, WholeArgument(a[1], "set-lband-frequency RATE")), true;
         }},
        {"send-correction", "", 0, HasDgps, Reply::None,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.SendCorrection(), true; }},
        {"change-cdgps-freq", "FREQ", 1, HasDgps, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             return r.ChangeCDGPS_Freq(NumberArgument(a[0], "change-cdgps-freq FREQ")), true;
         }},
        {"query-waas", "", 0, HasDgps, Reply::Text,
         [](CGPSReceiver& r, const Args&, const CommandOptions&) { return r.QueryWAAS(), true; }},
        {"enable-post-processing", "on|off", 1, HasRaw, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             return r.EnablePostProcessing(OnOffArgument(a[0], "enable-post-processing"));
         }},
        {"set-raw-data-output-interval", "SEC", 1, HasRaw, Reply::None,
         [](CGPSReceiver& r, const Args& a, const CommandOptions&) {
             const double seconds = NumberArgument(a[0], "set-raw-data-output-interval SEC");
             if (seconds <= 0 || seconds > 3600) throw UsageError("set-raw-data-output-interval SEC needs 0 to 3600 s");
             return r.SetRawDataOutputInterval(seconds);
         }},
        {"set-baud", "B", 1, Always, Reply::None, nullptr},  // handled on its own: no port needed
    };
    return kOperations;
}

const Operation* FindOperation(const std::string& name) {
    for (const Operation& op : Operations()) {
        if (name == op.name) return &op;
    }
    return nullptr;
}

// The arguments read as the operation reads them, before anything is opened: a wrong one is a
// wrong command line, not a failed receiver.
void CheckArguments(const Operation& op, const std::vector<std::string>& a) {
    const std::string name = op.name;
    if (name == "set-sat-elev-mask") {
        const int degrees = WholeArgument(a[0], "set-sat-elev-mask DEG");
        if (degrees < 0 || degrees > 90) throw UsageError("set-sat-elev-mask DEG needs 0 to 90 degrees");
    } else if (name == "set-beacon") {
        BeaconModeArgument(a[0]);
        if (!a[1].empty()) NumberArgument(a[1], "set-beacon FREQ");
        if (!a[2].empty()) NumberArgument(a[2], "set-beacon BITRATE");
    } else if (name == "set-dgps-mode") {
        DgpsModeArgument(a[0]);
    } else if (name == "dgps-status-msg" || name == "enable-post-processing") {
        OnOffArgument(a[0], op.name);
    } else if (name == "set-lband-frequency") {
        NumberArgument(a[0], "set-lband-frequency FREQ");
        WholeArgument(a[1], "set-lband-frequency RATE");
    } else if (name == "change-cdgps-freq") {
        NumberArgument(a[0], "change-cdgps-freq FREQ");
    } else if (name == "set-raw-data-output-interval") {
        const double seconds = NumberArgument(a[0], "set-raw-data-output-interval SEC");
        if (seconds <= 0 || seconds > 3600) throw UsageError("set-raw-data-output-interval SEC needs 0 to 3600 s");
    }
}

std::string ImplementedList(CGPSReceiver& receiver) {
    std::string list;
    for (const Operation& op : Operations()) {
        if (!op.implemented(receiver)) continue;
        list += std::string("  ") + op.name + (*op.arguments ? std::string(" ") + op.arguments : "") + "\n";
    }
    return list;
}

// The replies gathered while a query waits: each posted record carries only what came since
// the one before, so the groups of fields are merged by their own valid flags.
class ReplyCollector {
public:
    void Take(const CGPSStatusData& s) {
        if (!s.m_bUpdated) return;
        ++m_nUpdates;
        if (s.m_bBeaconStatusValid) {
            m_status.m_bBeaconStatusValid = true;
            m_status.m_nBeaconSignalStrength = s.m_nBeaconSignalStrength;
            m_status.m_nBeaconSNR = s.m_nBeaconSNR;
            m_status.m_dBeaconFrequency = s.m_dBeaconFrequency;
            m_status.m_nBeaconBitRate = s.m_nBeaconBitRate;
        }
        if (s.m_bBeaconModeValid) {
            m_status.m_bBeaconModeValid = true;
            m_status.m_bBeaconAutoTune = s.m_bBeaconAutoTune;
        }
        if (s.m_bElevMaskValid) {
            m_status.m_bElevMaskValid = true;
            m_status.m_bElevMaskFlag = s.m_bElevMaskFlag;
            m_status.m_nElevMask = s.m_nElevMask;
            m_status.m_bElevMaskSaved = s.m_bElevMaskSaved;
        }
        if (s.m_bNmeaStatusValid) {
            m_status.m_bNmeaStatusValid = true;
            for (int i = 0; i < NMEA_STATUS_COUNT; ++i) {
                if (s.m_NmeaStatus[i] != NMEA_MSG_UNKNOWN) m_status.m_NmeaStatus[i] = s.m_NmeaStatus[i];
            }
        }
        if (s.m_bPosModeValid) {
            m_status.m_bPosModeValid = true;
            m_status.m_dFixedAltitude = s.m_dFixedAltitude;
            m_status.m_nPosMode = s.m_nPosMode;
            m_status.m_nPDOPMask = s.m_nPDOPMask;
            m_status.m_nHDOPMask = s.m_nHDOPMask;
            m_status.m_nVDOPMask = s.m_nVDOPMask;
        }
        if (s.m_dOutputPeriod >= 0.0) m_status.m_dOutputPeriod = s.m_dOutputPeriod;
        if (s.m_bAckReceived) m_status.m_bAckReceived = true;
        if (s.m_bDgpsModeValid) {
            m_status.m_bDgpsModeValid = true;
            m_status.m_nDgpsMode = s.m_nDgpsMode;
        }
        if (s.m_nLbandTuneMode != 0) m_status.m_nLbandTuneMode = s.m_nLbandTuneMode;
        if (s.m_bReplyTextValid) {
            m_status.m_bReplyTextValid = true;
            std::copy(std::begin(s.m_szReplyText), std::end(s.m_szReplyText), std::begin(m_status.m_szReplyText));
        }
    }

    bool Answers(Reply reply) const {
        const CGPSStatusData& s = m_status;
        switch (reply) {
            case Reply::None:
                return true;
            case Reply::NmeaTable:
                return s.m_bNmeaStatusValid;
            case Reply::ElevMask:
                return s.m_bElevMaskValid;
            case Reply::Settings:
                return s.m_bElevMaskValid || s.m_bPosModeValid || s.m_bNmeaStatusValid;
            case Reply::Beacon:
                return s.m_bBeaconStatusValid || s.m_bBeaconModeValid;
            case Reply::DgpsMode:
                return s.m_bDgpsModeValid;
            case Reply::Text:
                return s.m_bReplyTextValid;
            case Reply::Any:
                return m_nUpdates > 0;
        }
        return false;
    }

    int Updates() const { return m_nUpdates; }
    const CGPSStatusData& Status() const { return m_status; }
    void Clear() {
        m_status = CGPSStatusData();
        m_status.Invalidate();
        m_status.m_bElevMaskFlag = false;
        m_nUpdates = 0;
    }

private:
    CGPSStatusData m_status;
    int m_nUpdates = 0;
};

// The host of a command run: its main window hands each posted status to the collector.
class CommandHost : public CWinApp {
public:
    explicit CommandHost(ReplyCollector& collector) : m_window(collector) {
        m_window.CreateOnThisThread();
        SetMainWnd(&m_window);
        SetHostApp(this);
    }
    ~CommandHost() override {
        SetHostApp(nullptr);
        SetMainWnd(nullptr);
        m_window.DestroyWindow();
    }
    CommandHost(const CommandHost&) = delete;
    CommandHost& operator=(const CommandHost&) = delete;

    int DoMessageBox(const CString& text, UINT) override {
        std::fprintf(stderr, "tolvik: %s\n", ToUtf8(text).c_str());
        return IDOK;
    }

private:
    class Window : public CWnd {
    public:
        explicit Window(ReplyCollector& collector) : m_collector(collector) {}
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
            if (message == WM_GPS_NEWDATA) {
                std::unique_ptr<CGPSData> data(reinterpret_cast<CGPSData*>(wParam));
                m_collector.Take(data->m_Status);
            } else if (message == WM_GPS_RAWSTRING) {
                std::unique_ptr<CString> text(reinterpret_cast<CString*>(wParam));
            } else if (message == WM_GPS_NEWDATARAW) {
                std::unique_ptr<CGPSDataRaw> raw(reinterpret_cast<CGPSDataRaw*>(wParam));
            } else if (message == WM_GPS_EPHEMERIS) {
                std::unique_ptr<CGPSDataEphemeris> ephemeris(reinterpret_cast<CGPSDataEphemeris*>(wParam));
            }
            return 0;
        }

    private:
        ReplyCollector& m_collector;
    };
    Window m_window;
};

// Waits for the reply, delivering posted records meanwhile. Once it is there, the lines that
// belong with it (a parameter reply has four) are taken until the receiver is quiet for a moment.
bool WaitForReply(ReplyCollector& collector, Reply reply, double seconds) {
    static constexpr DWORD kQuietMs = 300;
    const platform::Event* events[] = {&InterruptEvent()};
    const DWORD start = platform::GetTickCount();
    const DWORD limit = static_cast<DWORD>(seconds * 1000.0);
    DWORD answeredAt = 0;
    int updatesAtAnswer = 0;
    PumpWaitingMessages();
    while (true) {
        const DWORD now = platform::GetTickCount();
        if (collector.Answers(reply)) {
            if (answeredAt == 0 || collector.Updates() != updatesAtAnswer) {
                answeredAt = now == 0 ? 1 : now;
                updatesAtAnswer = collector.Updates();
            }
            if (now - answeredAt >= kQuietMs) return true;
        } else if (now - start >= limit) {
            return false;
        }
        const DWORD untilLimit = now - start >= limit ? 0 : limit - (now - start);
        const DWORD untilQuiet = answeredAt ? kQuietMs - std::min<DWORD>(kQuietMs, now - answeredAt) : INFINITE;
        const DWORD r = MsgWaitForMultipleObjects(events, 1, answeredAt ? untilQuiet : untilLimit);
        PumpWaitingMessages();
        if (r == platform::WAIT_OBJECT_0) return collector.Answers(reply);
    }
}

const char* NmeaName(int index) {
    static const char* const kNames[] = {"GGA", "GSA", "ZDA", "GLL", "VTG", "SAT", "GSV"};
    return kNames[index];
}

void PrintReply(const CGPSStatusData& s, bool json) {
    if (json) {
        std::printf("%s\n", StatusJson(s).dump().c_str());
        return;
    }
    if (s.m_bElevMaskValid) {
        std::printf("elevation mask: %d degrees\n", s.m_nElevMask);
    }
    if (s.m_bNmeaStatusValid) {
        std::string line;
        for (int i = 0; i < NMEA_STATUS_COUNT; ++i) {
            if (s.m_NmeaStatus[i] == NMEA_MSG_UNKNOWN) continue;
            line += std::string(line.empty() ? "" : ", ") + NmeaName(i) +
                    (s.m_NmeaStatus[i] == NMEA_MSG_ON ? " on" : " off");
        }
        std::printf("NMEA output: %s\n", line.c_str());
    }
    if (s.m_bPosModeValid) {
        std::printf("position mode: %d, fixed altitude %.2f m, PDOP/HDOP/VDOP masks %d/%d/%d\n", s.m_nPosMode,
                    s.m_dFixedAltitude, s.m_nPDOPMask, s.m_nHDOPMask, s.m_nVDOPMask);
    }
    if (s.m_dOutputPeriod >= 0.0) std::printf("output period: %.2f s\n", s.m_dOutputPeriod);
    if (s.m_bBeaconStatusValid) {
        std::printf("beacon: signal %d, SNR %d, %.1f kHz, %d bit/s\n", s.m_nBeaconSignalStrength, s.m_nBeaconSNR,
                    s.m_dBeaconFrequency, s.m_nBeaconBitRate);
    }
    if (s.m_bBeaconModeValid) std::printf("beacon tuning: %s\n", s.m_bBeaconAutoTune ? "automatic" : "manual");
    if (s.m_bDgpsModeValid) {
        static const char* const kModes[] = {"none", "beacon", "lband", "waas", "cdgps", "omnistar"};
        const int mode = static_cast<int>(s.m_nDgpsMode);
        std::printf("differential mode: %s\n", mode >= 0 && mode < 6 ? kModes[mode] : std::to_string(mode).c_str());
    }
    if (s.m_bReplyTextValid) std::printf("reply: %s\n", s.m_szReplyText);
}

int SetBaud(CGPSEngine& engine, CGPSReceiver& receiver, const CommandOptions& options) {
    const std::string& word = options.arguments[0];
    char* end = nullptr;
    const long baud = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || end != word.c_str() + word.size() || !IsPortBaudRate(static_cast<int>(baud))) {
        throw UsageError("set-baud: the device does not take " + word + " baud");
    }
    const std::string settingsPath = SettingsPathFor(options.line);
    ReplyCollector unused;
    CommandHost host(unused);
    if (!host.SetProfilePath(settingsPath)) throw std::runtime_error(settingsPath + ": cannot read");
    engine.InitReceivers();  // the stored rate, as the engine loads it
    receiver.SaveDifferentSettings(static_cast<int>(baud));
    if (host.GetProfileInt(receiver.GetName(), L"Baud", 0) != baud) {
        throw std::runtime_error(settingsPath + ": cannot store the rate");
    }
    std::printf("\"%s\" uses %ld baud from now on (stored in %s)\n", receiver.GetName().ToBytes().c_str(), baud,
                settingsPath.c_str());
    return kExitOk;
}

}  // namespace

std::string CommandOperationsHelp() {
    std::string help;
    for (const Operation& op : Operations()) {
        help += std::string("  ") + op.name + (*op.arguments ? std::string(" ") + op.arguments : "") + "\n";
    }
    return help + "A query waits --wait seconds for its reply; exit 1 when none came. Numbers below zero go after --.";
}

int RunCommand(const CommandOptions& options) {
    ReplyCollector collector;
    CGPSEngine engine;
    CGPSReceiver* receiver = ReceiverByName(engine, options.receiver);
    if (options.list) {
        std::printf("%s", ImplementedList(*receiver).c_str());
        return kExitOk;
    }
    const Operation* op = FindOperation(options.operation);
    if (!op) throw UsageError("unknown operation '" + options.operation + "'; one of:\n" + CommandOperationsHelp());
    if (!op->implemented(*receiver)) {
        throw UsageError("\"" + options.receiver + "\" does not implement " + op->name + "; it implements:\n" +
                         ImplementedList(*receiver));
    }
    if (options.arguments.size() != op->argumentCount) {
        throw UsageError(std::string(op->name) + " takes " +
                         (op->argumentCount ? std::string(op->arguments) : std::string("no arguments")) + ", not " +
                         std::to_string(options.arguments.size()) + " argument(s)");
    }
    if (options.noWait && std::string(op->name) != "reset-all") throw UsageError("--no-wait is for reset-all");
    CheckArguments(*op, options.arguments);
    if (!op->run) return SetBaud(engine, *receiver, options);

    const int port = options.line.port > 0 ? options.line.port : 1;
    if (!options.line.device.empty()) CSerialPort::SetPortDevice(port, options.line.device);
    const std::string device = CSerialPort::DevicePath(port);
    const std::string settingsPath = SettingsPathFor(options.line);
    CheckStoredBaudRate(settingsPath, options.receiver);

    CommandHost host(collector);
    host.SetProfilePath(settingsPath);
    receiver->SetupReceiver(port, 0, 0.0, L"", false);
    engine.SetReceiver(receiver);
    engine.InitReceivers();
    if (!options.line.baud.empty()) receiver->m_nBaudRate = std::stoi(options.line.baud);
    InstallInterruptHandler();
    if (!engine.Start()) {
        std::fprintf(stderr, "tolvik: cannot open %s at %d baud: %s\n", device.c_str(), receiver->m_nBaudRate,
                     engine.GetLastErrorString().ToBytes().c_str());
        return kExitFailure;
    }
    // What the start brought (a model's set-up, streaming sentences) is not this query's reply.
    PumpWaitingMessages();
    collector.Clear();

    bool ok = op->run(*receiver, options.arguments, options);
    bool answered = true;
    if (ok && op->reply != Reply::None) answered = WaitForReply(collector, op->reply, options.wait);
    // Stopping a receiver switches its raw output off (the library's suspend); a command that
    // just switched it on must leave it so, so the port closes first.
    CGPSReceiver::m_Port.Close();
    engine.Stop();

    if (!ok) {
        std::fprintf(stderr, "tolvik: %s failed: %s\n", op->name,
                     std::string(op->name) == "reset-all"
                         ? (options.noWait ? "the port could not be written"
                                           : "time-out: the receiver did not acknowledge every step of the reset")
                         : "the port could not be written");
        return kExitFailure;
    }
    if (!answered) {
        std::fprintf(stderr,
                     "tolvik: %s: no reply from \"%s\" on %s within %g s (check the device, its baud rate "
                     "%d, and that the receiver is a %s)\n",
                     op->name, options.receiver.c_str(), device.c_str(), options.wait, receiver->m_nBaudRate,
                     options.receiver.c_str());
        return kExitFailure;
    }
    if (op->reply != Reply::None) {
        PrintReply(collector.Status(), options.json);
    } else if (options.json) {
        std::printf("{\"operation\":\"%s\",\"sent\":true}\n", op->name);
    } else {
        std::printf("%s: sent\n", op->name);
    }
    return kExitOk;
}

}  // namespace tolvik::tool
