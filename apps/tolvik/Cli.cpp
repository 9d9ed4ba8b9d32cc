#include "Cli.h"

#include "ConsoleHost.h"
#include "Output.h"
#include "RawEpochLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace tolvik::tool {

Args::Args(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
           const std::set<std::string>& flags, std::size_t maxPositional) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.rfind("--", 0) != 0 || w == "--") {
            m_positional.push_back(w);
            continue;
        }
        std::string name = w.substr(2);
        std::string value;
        const auto eq = name.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (flags.count(name)) {
            if (inlineValue) throw UsageError("option --" + name + " takes no value");
            m_flags.insert(name);
        } else if (valueOptions.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= words.size()) throw UsageError("option --" + name + " needs a value");
                value = words[++i];
            }
            m_values[name] = value;
        } else {
            throw UsageError("unknown option '" + w + "'");
        }
    }
    if (m_positional.size() > maxPositional) throw UsageError("unexpected argument '" + m_positional[maxPositional] + "'");
}

std::string Args::Value(const std::string& name, const std::string& fallback) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? fallback : it->second;
}

namespace {

// The option's whole value as a T; what names the kind of number in the complaint.
template <typename T>
T ParseNumber(const std::string& name, const std::string& text, const char* what) {
    T v{};
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size()) {
        throw UsageError("option --" + name + " needs " + what + ", not '" + text + "'");
    }
    return v;
}

}  // namespace

int Args::Int(const std::string& name, int fallback) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? fallback : ParseNumber<int>(name, it->second, "a whole number");
}

double Args::Double(const std::string& name, double fallback) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? fallback : ParseNumber<double>(name, it->second, "a number");
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
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

std::string BundledSamplePath() {
    struct stat st{};
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

CGPSReceiver* ReceiverByName(CGPSEngine& engine, const std::string& name) {
    const CString wanted = CString::FromBytes(name);
    std::string choices;
    for (CGPSReceiver* r : engine.Receivers()) {
        if (r->GetName() == wanted) return r;
        choices += (choices.empty() ? "" : ", ") + std::string("\"") + r->GetName().ToBytes() + "\"";
    }
    throw UsageError("unknown receiver '" + name + "' (one of " + choices + ")");
}

bool OpenRawEpochLog(const Args& args, CRawEpochLog& log, int port, double antennaHeight) {
    if (!args.Has("log-raw-epochs")) return true;
    const double interval = args.Double("log-interval", 1.0);
    if (interval < 0.1) throw UsageError("--log-interval needs at least 0.1 seconds");
    log.SetDefaultFilename(CString::FromBytes(args.Value("log-raw-epochs")));
    log.SetLogInterval(interval);
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
    if (!rawLog.GetErrorText().empty()) {
        std::fprintf(stderr, "tolvik: raw epoch log %s\n", rawLog.GetErrorText().c_str());
        return false;
    }
    return true;
}

ReceiverSettings ReadReceiverSettings(const Args& args) {
    ReceiverSettings s;
    s.geoidMode = args.Int("geoid-mode", 0);
    s.antennaHeight = args.Double("antenna-height", 0.0);
    s.minSatellites = args.Int("min-sats", 4);
    return s;
}

}  // namespace tolvik::tool
