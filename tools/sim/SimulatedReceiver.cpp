#include "sim/SimulatedReceiver.h"
#include "sim/Nmea.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace tolvik::sim {

namespace {

int SpeedToBaud(speed_t s) {
    static constexpr struct {
        speed_t s;
        int baud;
    } kTable[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
                  {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
                  {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
    for (const auto& e : kTable) {
        if (e.s == s) return e.baud;
    }
    return 0;
}

}  // namespace

SimulatedReceiver::SimulatedReceiver() : SimulatedReceiver(Options{}) {}

SimulatedReceiver::SimulatedReceiver(Options options) : m_options(options) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) return;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slave = slave;
    m_slavePath = name;
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_reader = std::thread([this] { ReadLoop(); });
}

SimulatedReceiver::~SimulatedReceiver() {
    StopStreaming();
    m_quit = true;
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(m_wakeFd, &one, sizeof one);
    }
    if (m_reader.joinable()) m_reader.join();
    CloseMaster();
    if (m_slave >= 0) close(m_slave);
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void SimulatedReceiver::Unplug() {
    // The terminal hangs up only when the last reference to its master side goes, and a thread
    // polling it holds one: let the reading thread close it between two polls, and wait for that.
    if (m_reader.joinable() && !m_quit) {
        std::unique_lock lock(m_mutex);
        m_unplugRequested = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(m_wakeFd, &one, sizeof one);
        m_changed.wait(lock, [&] { return m_master.load() < 0; });
        return;
    }
    CloseMaster();
}

void SimulatedReceiver::CloseMaster() {
    std::lock_guard lock(m_writeMutex);
    const int fd = m_master.exchange(-1);
    if (fd >= 0) close(fd);
    if (m_slave >= 0) {
        // Without the spare slave descriptor the library sees the hang-up at once.
        close(m_slave);
        m_slave = -1;
    }
}

int SimulatedReceiver::BaudRate() const {
    const int fd = m_master.load();
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return 0;
    return SpeedToBaud(cfgetospeed(&tio));
}

bool SimulatedReceiver::Send(std::string_view bytes) { return WritePaced(bytes); }

bool SimulatedReceiver::WritePaced(std::string_view bytes) {
    std::lock_guard lock(m_writeMutex);
    const int fd = m_master.load();
    if (fd < 0) return false;
    const int lineBaud = BaudRate();
    const int baud = m_options.honourBaudRate ? lineBaud : 0;
    std::string garbled;
    if (m_options.lineBaud > 0 && lineBaud != m_options.lineBaud) {
        // At the wrong rate the other side samples bits at the wrong times: bytes, but no text.
        garbled.assign(bytes);
        for (char& c : garbled) c = static_cast<char>(static_cast<unsigned char>(c) ^ 0xA5u);
        bytes = garbled;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        // At the line's speed a byte takes ten bit times (start, eight data, stop).
        const std::size_t chunk = baud > 0 ? std::min<std::size_t>(bytes.size() - done, 64) : bytes.size() - done;
        const ssize_t n = write(fd, bytes.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                if (poll(&p, 1, 1000) > 0) continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
        if (baud > 0) std::this_thread::sleep_for(std::chrono::microseconds(n * 10'000'000LL / baud));
    }
    return true;
}

void SimulatedReceiver::StartStreaming(std::vector<std::string> lines, Pace pace, double linesPerSecond, bool loop) {
    StopStreaming();
    m_stopStream = false;
    m_streamDone = false;
    m_linesSent = 0;
    m_streamer = std::thread([this, lines = std::move(lines), pace, linesPerSecond, loop]() mutable {
        StreamLoop(std::move(lines), pace, linesPerSecond, loop);
    });
}

void SimulatedReceiver::StopStreaming() {
    m_stopStream = true;
    m_changed.notify_all();
    if (m_streamer.joinable()) m_streamer.join();
}

bool SimulatedReceiver::WaitStreamDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_streamDone.load(); });
}

void SimulatedReceiver::StreamLoop(std::vector<std::string> lines, Pace pace, double linesPerSecond, bool loop) {
    auto pause = [&](std::chrono::microseconds d) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, d, [&] { return m_stopStream.load(); });
    };
    double lastTime = std::numeric_limits<double>::quiet_NaN();
    do {
        for (const std::string& line : lines) {
            if (m_stopStream) break;
            if (pace == Pace::Timestamps) {
                double t = 0;
                if (SentenceTime(line, t)) {
                    if (lastTime == lastTime && t > lastTime && t - lastTime < 60.0) {
                        pause(std::chrono::microseconds(static_cast<long long>((t - lastTime) * 1e6)));
                    }
                    lastTime = t;
                }
            } else if (pace == Pace::FixedRate && linesPerSecond > 0) {
                pause(std::chrono::microseconds(static_cast<long long>(1e6 / linesPerSecond)));
            }
            if (m_stopStream) break;
            if (!Streams(line)) continue;
            if (!WritePaced(line + "\r\n")) {
                m_stopStream = true;
                break;
            }
            ++m_linesSent;
        }
    } while (loop && !m_stopStream && !lines.empty());
    {
        std::lock_guard lock(m_mutex);
        m_streamDone = true;
    }
    m_changed.notify_all();
}

void SimulatedReceiver::ReadLoop() {
    char buffer[4096];
    while (!m_quit) {
        const int fd = m_master.load();
        pollfd p[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int r = poll(p, 2, fd >= 0 ? 200 : -1);
        if (m_quit) return;
        if (p[1].revents & POLLIN) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const auto n = read(m_wakeFd, &drained, sizeof drained);
        }
        bool unplug = false;
        {
            std::lock_guard lock(m_mutex);
            unplug = m_unplugRequested;
        }
        if (unplug) {
            CloseMaster();
            {
                std::lock_guard lock(m_mutex);
                m_unplugRequested = false;
            }
            m_changed.notify_all();
            continue;
        }
        if (r <= 0 || fd < 0) continue;
        if (p[0].revents & POLLIN) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                std::vector<std::string> complete;
                std::vector<std::string> frames;
                {
                    std::lock_guard lock(m_mutex);
                    m_received.append(buffer, static_cast<std::size_t>(n));
                    m_partialLine.append(buffer, static_cast<std::size_t>(n));
                    Consume(m_partialLine, complete, frames);
                }
                m_changed.notify_all();
                const bool understood = m_options.lineBaud <= 0 || BaudRate() == m_options.lineBaud;
                for (const auto& frame : frames) {
                    if (understood && m_options.answerCommands) TakeBinaryFrame(frame);
                }
                for (const auto& line : complete) {
                    if (understood) Answer(line);
                }
                continue;
            }
        }
        if (p[0].revents & (POLLHUP | POLLERR)) {
            // Nobody has the terminal open right now; look again shortly.
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_quit.load(); });
        }
    }
}

void SimulatedReceiver::Answer(const std::string& line) {
    if (m_options.answerCommands) AnswerInDialect(line);
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_onLine;
    }
    if (handler) handler(line);
}

void SimulatedReceiver::OnLine(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(m_mutex);
    m_onLine = std::move(handler);
}

std::string SimulatedReceiver::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::string> SimulatedReceiver::ReceivedLines() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t end = 0;
    while ((end = m_received.find('\n', start)) != std::string::npos) {
        std::string line = m_received.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void SimulatedReceiver::ClearReceived() {
    std::lock_guard lock(m_mutex);
    m_received.clear();
}

bool SimulatedReceiver::WaitForReceived(std::string_view text, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_received.find(text) != std::string::npos; });
}

int SimulatedReceiver::ElevationMask() const {
    std::lock_guard lock(m_stateMutex);
    return m_state.elevMask;
}

std::vector<std::string> SimulatedReceiver::ParameterReply() {
    // One line per group of settings, blanks as the receiver pads its columns.
    return {
        "PMD:0 ALT:+00000.00 PDP:40 HDP:04 VDP:04 FIX:0",
        "PER:001.00 ELM:10 RCI:020.00 MSV:3",
        "PEM:10 SAV:Y",
        "PRTA:  NMEA: PER:001.00 GLL:  OFF GGA: ON ON  VTG: GSA: ON ON SAT: GSV: ZDA: OFF",
    };
}

std::string SimulatedReceiver::WithChecksum(const std::string& body) { return NmeaWithChecksum(body); }

bool SimulatedReceiver::SentenceTime(const std::string& line, double& seconds) {
    if (line.size() < 7 || line[0] != '$') return false;
    const std::string type = line.substr(3, 3);
    int field = 0;
    if (type == "GGA" || type == "RMC" || type == "ZDA") {
        field = 1;
    } else if (type == "GLL") {
        field = 5;
    } else {
        return false;
    }
    std::size_t pos = 0;
    for (int i = 0; i < field; ++i) {
        pos = line.find(',', pos);
        if (pos == std::string::npos) return false;
        ++pos;
    }
    const std::string value = line.substr(pos, line.find_first_of(",*", pos) - pos);
    if (value.size() < 6) return false;
    char* end = nullptr;
    const double t = std::strtod(value.c_str(), &end);
    if (end == value.c_str()) return false;
    const int h = static_cast<int>(t / 10000);
    const int m = static_cast<int>(t / 100) % 100;
    seconds = h * 3600.0 + m * 60.0 + (t - h * 10000 - m * 100);
    return true;
}

// ---- Dialects

namespace {

bool StartsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

// The fields of a command line, split at commas, without the checksum.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string body = line.substr(0, line.find('*'));
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = body.find(',', start);
        fields.push_back(body.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

// The words of a plain-word command (LOG/UNLOG receivers), blanks collapsed.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

bool ToInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == text.c_str()) return false;
    value = static_cast<int>(v);
    return true;
}

// The sentence type of a streamed line: "GGA" of "$GPGGA,...", "SAT" of "$PASHR,SAT,...".
std::string SentenceType(const std::string& line) {
    if (StartsWith(line, "$PASHR,SAT")) return "SAT";
    if (line.size() >= 6 && line[0] == '$' && line[1] == 'G') return line.substr(3, 3);
    return {};
}

constexpr const char* kNmeaTypes[] = {"GGA", "GSA", "ZDA", "GLL", "VTG", "SAT", "GSV", "RMC"};
// The SiRF numbering of "$PSRF103": 0 GGA, 1 GLL, 2 GSA, 3 GSV, 4 RMC, 5 VTG.
constexpr const char* kSirfTypes[] = {"GGA", "GLL", "GSA", "GSV", "RMC", "VTG"};
constexpr const char* kDgpsWords[] = {"NONE", "BEACON", "LBAND", "WAAS", "CDGPS", "OMNISTAR"};

// A "#" log's 32-bit CRC as those receivers compute it (reflected polynomial 0xEDB88320).
unsigned Crc32(const std::string& text) {
    unsigned crc = 0;
    for (const char ch : text) {
        unsigned c = (crc ^ static_cast<unsigned char>(ch)) & 0xFFu;
        for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        crc = (crc >> 8) ^ c;
    }
    return crc;
}

}  // namespace

SimulatedReceiver::Dialect SimulatedReceiver::DialectOf(const std::string& modelName) {
    static const struct {
        const char* name;
        Dialect dialect;
    } kModels[] = {
        {"Ashtech", Dialect::Ashtech},        {"CSI", Dialect::Ashtech},
        {"Racal", Dialect::Ashtech},          {"Starlink", Dialect::Starlink},
        {"Sokkia Axis", Dialect::Sokkia},     {"Sokkia Axis3", Dialect::JCommands},
        {"CSI - MAX", Dialect::JCommands},    {"SiRF", Dialect::Sirf},
        {"Toughbook GPS01", Dialect::Sirf},   {"Holux", Dialect::Sirf},
        {"GSR2650 LB", Dialect::LogCommands},
    };
    for (const auto& m : kModels) {
        if (modelName == m.name) return m.dialect;
    }
    return Dialect::None;
}

void SimulatedReceiver::Consume(std::string& pending, std::vector<std::string>& lines,
                                std::vector<std::string>& frames) {
    static constexpr std::size_t kFrameOverhead = 8;  // start, length, checksum, end
    while (!pending.empty()) {
        if (m_binary) {
            // SiRF binary frames: A0 A2, length (high byte first), payload, checksum, B0 B3.
            const std::size_t start = pending.find("\xA0\xA2");
            if (start == std::string::npos) {
                pending.erase(0, pending.size() - 1);
                return;
            }
            pending.erase(0, start);
            if (pending.size() < 4) return;
            const std::size_t length = static_cast<std::size_t>((static_cast<unsigned char>(pending[2]) << 8) |
                                                                static_cast<unsigned char>(pending[3]));
            if (pending.size() < length + kFrameOverhead) return;
            const std::string payload = pending.substr(4, length);
            unsigned sum = 0;
            for (const char c : payload) sum += static_cast<unsigned char>(c);
            const auto sent = static_cast<unsigned>((static_cast<unsigned char>(pending[4 + length]) << 8) |
                                                    static_cast<unsigned char>(pending[5 + length]));
            const bool endOk = pending.compare(6 + length, 2, "\xB0\xB3") == 0;
            pending.erase(0, length + kFrameOverhead);
            if (endOk && sent == (sum & 0x7FFFu)) {
                frames.push_back(payload);
                if (!payload.empty() && static_cast<unsigned char>(payload[0]) == 0x81) m_binary = false;
            }
            continue;
        }
        const std::size_t end = pending.find('\n');
        if (end == std::string::npos) return;
        std::string line = pending.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending.erase(0, end + 1);
        // "$PSRF100,0,..." switches to the binary protocol for everything after it.
        if (m_options.answerCommands && m_options.dialect == Dialect::Sirf && StartsWith(line, "$PSRF100,0,")) {
            m_binary = true;
        }
        lines.push_back(line);
    }
}

void SimulatedReceiver::TakeBinaryFrame(const std::string& payload) {
    const auto id = static_cast<unsigned char>(payload[0]);
    std::lock_guard lock(m_stateMutex);
    if (id == 0x85 && payload.size() >= 2) {
        m_state.dgpsMode = payload[1] == 1 ? 3 : 0;  // source 1 is SBAS, 0 none
    } else if (id == 0x81) {
        // Back to NMEA with every output rate as the message gives it: all zero here.
        m_state.off.assign(std::begin(kNmeaTypes), std::end(kNmeaTypes));
    }
}

void SimulatedReceiver::Reply(const std::string& text) { WritePaced(text + "\r\n"); }

bool SimulatedReceiver::Streams(const std::string& line) const {
    if (m_binary) return false;
    const std::string type = SentenceType(line);
    if (type.empty()) return true;
    std::lock_guard lock(m_stateMutex);
    return std::find(m_state.off.begin(), m_state.off.end(), type) == m_state.off.end();
}

void SimulatedReceiver::SetOutput(const std::string& type, bool on) {
    std::lock_guard lock(m_stateMutex);
    auto& off = m_state.off;
    off.erase(std::remove(off.begin(), off.end(), type), off.end());
    if (!on) off.push_back(type);
}

void SimulatedReceiver::SetAllOutputs(bool on) {
    std::lock_guard lock(m_stateMutex);
    m_state.off.clear();
    if (!on) m_state.off.assign(std::begin(kNmeaTypes), std::end(kNmeaTypes));
}

std::vector<std::string> SimulatedReceiver::ParameterReplyNow() const {
    std::lock_guard lock(m_stateMutex);
    auto word = [&](const char* type) {
        return std::find(m_state.off.begin(), m_state.off.end(), type) == m_state.off.end() ? "ON" : "OFF";
    };
    std::vector<std::string> reply = ParameterReply();
    reply[2] = "PEM:" + std::to_string(m_state.elevMask) + (m_state.maskSaved ? " SAV:Y" : " SAV:N");
    // The on/off words stand at fixed places: GLL, GGA, VTG, GSA, SAT, ZDA.
    reply[3] = std::string("PRTA:  NMEA: PER:001.00 GLL:  ") + word("GLL") + " GGA: " + word("GGA") + " " +
               word("VTG") + "  VTG: GSA: " + word("GSA") + " " + word("SAT") + " SAT: GSV: ZDA: " + word("ZDA");
    return reply;
}

std::string SimulatedReceiver::LogReply(const std::string& name, const std::string& data) const {
    const std::string body = name + ",COM2,0,72.5,FINESTEERING,1422,314682.000,00000000,0000,2310;" + data;
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", Crc32(body.substr(1)));
    return body + "*" + crc;
}

void SimulatedReceiver::AnswerInDialect(const std::string& line) {
    const std::vector<std::string> f = Fields(line);
    const std::string& head = f[0];
    State state;
    {
        std::lock_guard lock(m_stateMutex);
        state = m_state;
    }
    auto setMask = [&](const std::string& text) {
        int degrees = 0;
        if (!ToInt(text, degrees)) return;
        std::lock_guard lock(m_stateMutex);
        m_state.elevMask = degrees;
        m_state.maskSaved = false;
    };
    auto setDgps = [&](int mode) {
        std::lock_guard lock(m_stateMutex);
        m_state.dgpsMode = mode;
    };
    // Beacon receivers behind several brands answer the NMEA beacon queries alike.
    auto beaconQuery = [&](bool strength) {
        char text[96];
        if (strength) {
            std::snprintf(text, sizeof text, "CRMSS,55,21,%.1f,%d,1", state.beaconKHz, state.beaconBitRate);
        } else {
            std::snprintf(text, sizeof text, "CRMSK,%.1f,%c,%d,%c,0", state.beaconKHz, state.beaconAuto ? 'A' : 'M',
                          state.beaconBitRate, state.beaconAuto ? 'A' : 'M');
        }
        Reply(WithChecksum(text));
    };
    auto beaconSet = [&] {  // "$GPMSK,freq,A|M,bitrate,A|M,interval"
        if (f.size() < 5) return;
        std::lock_guard lock(m_stateMutex);
        m_state.beaconAuto = f[2] == "A";
        if (!f[1].empty()) m_state.beaconKHz = std::strtod(f[1].c_str(), nullptr);
        int rate = 0;
        if (ToInt(f[3], rate)) m_state.beaconBitRate = rate;
    };
    const bool beaconDialect = m_options.dialect == Dialect::Ashtech || m_options.dialect == Dialect::Sokkia ||
                               m_options.dialect == Dialect::JCommands;
    if (beaconDialect && head == "$GPCRQ" && f.size() > 1) return beaconQuery(f[1] == "MSS");
    if (beaconDialect && head == "$GPMSK") return beaconSet();

    switch (m_options.dialect) {
        case Dialect::Ashtech:
            if (head == "$PASHS") {
                if (f.size() > 2 && f[1] == "PEM") setMask(f[2]);
                if (f.size() > 4 && f[1] == "NME") {
                    if (f[2] == "ALL")
                        SetAllOutputs(f[4] == "ON");
                    else
                        SetOutput(f[2], f[4] == "ON");
                }
                if (f.size() > 2 && f[1] == "SAV") {
                    std::lock_guard lock(m_stateMutex);
                    m_state.maskSaved = f[2] == "Y";
                }
                // The framer takes the acknowledgement once the next sentence begins; a receiver
                // streaming NMEA provides that, a quiet one gets this.
                Reply(WithChecksum("PASHR,ACK"));
            } else if (head == "$PASHQ" && f.size() > 1 && f[1] == "PAR") {
                for (const auto& reply : ParameterReplyNow()) Reply(reply);
            }
            break;
        case Dialect::Starlink:
            if (head == "$PSLIS" && f.size() > 2 && f[1] == "ELM") setMask(f[2]);
            if (head == "$PSLIS" && f.size() > 4 && f[1] == "NME") {
                if (f[2] == "ALL")
                    SetAllOutputs(f[4] == "ON");
                else
                    SetOutput(f[2], f[4] == "ON");
            }
            if (head == "$PSLIQ" && f.size() > 1 && f[1] == "PAR") {
                auto on = [&](const char* type) {
                    return std::find(state.off.begin(), state.off.end(), type) == state.off.end() ? "1" : "0";
                };
                Reply(WithChecksum(std::string("PSLIR,PAR,NMEA,GGA:") + on("GGA") + ",GSA:" + on("GSA") + ",ZDA:" +
                                   on("ZDA") + ",GLL:" + on("GLL") + ",VTG:" + on("VTG") + ",GSV:" + on("GSV")));
                Reply(WithChecksum("PSLIR,PAR,MODE,ELM:" + std::to_string(state.elevMask) + ",PDOP:10,FIX:3D"));
            }
            if (head == "$PSLIQ" && f.size() > 2 && f[1] == "NME") {
                char text[96];
                if (f[2] == "MSS") {
                    std::snprintf(text, sizeof text, "GPMSS,55,21,%.1f,%d,1", state.beaconKHz, state.beaconBitRate);
                } else {
                    std::snprintf(text, sizeof text, "GPMSK,%.1f,%c,%d,%c,0", state.beaconKHz,
                                  state.beaconAuto ? 'A' : 'M', state.beaconBitRate, state.beaconAuto ? 'A' : 'M');
                }
                Reply(WithChecksum(text));
            }
            if (head == "$GPMSK") beaconSet();
            break;
        case Dialect::Sokkia:
            if (head == "$PMCAG" && f.size() > 2 && f[1] == "004" && f[2] == "908") {
                // The mask is field 7; a field follows it, as on the receiver.
                Reply(WithChecksum("PMCAG,908,1,0,0,0," + std::to_string(state.elevMask) + ".0,1"));
            } else if (head == "$PMCAG" && f.size() > 6 && f[1] == "008") {
                setMask(f[6]);  // "$PMCAG,008,15,,,,MASK,..."; empty keeps the mask
            } else if (head == "$PMCAG" && f.size() > 1 && f[1] == "005") {
                for (std::size_t i = 8; i + 1 < f.size(); i += 2) SetOutput(f[i], f[i + 1] == "1");
            }
            break;
        case Dialect::JCommands:
            if (head == "$JSHOW") {
                for (const char* type : {"GGA", "GSA", "ZDA", "GLL", "VTG", "GSV"}) {
                    if (std::find(state.off.begin(), state.off.end(), type) == state.off.end()) {
                        Reply(std::string("$>JSHOW,ASC,GP") + type + ",1.0,PORTA");
                    }
                }
                Reply("$>JSHOW,MASK," + std::to_string(state.elevMask));
                Reply(std::string("$>JSHOW,DIFF,") + kDgpsWords[std::clamp(state.dgpsMode, 0, 5)]);
                char freq[64];
                std::snprintf(freq, sizeof freq, "$>JSHOW,FREQ,%.4f", state.lbandKHz / 1000.0);
                Reply(freq);
            } else if (head == "$JMASK" && f.size() > 1) {
                setMask(f[1]);
            } else if (head == "$JOFF") {
                SetAllOutputs(false);
            } else if (head == "$JASC" && f.size() > 2 && f[1].size() == 5) {
                SetOutput(f[1].substr(2), f[2] != "0");
            } else if (head == "$JDIFF" && f.size() > 1) {
                for (int m = 0; m < 4; ++m) {
                    if (f[1] == kDgpsWords[m] || (m == 0 && f[1] == "OFF")) setDgps(m);
                }
            } else if (head == "$JFREQ" && f.size() > 1) {
                std::lock_guard lock(m_stateMutex);
                m_state.lbandKHz = std::strtod(f[1].c_str(), nullptr);
            } else if (head == "$JI") {
                Reply("$>JI,311077,1,7,04102005,01/01/1900,01/01/3000,6.3Aa01a,46");
            } else if (head == "$JGEO") {
                Reply("$>JGEO,Sent=WAAS,Lat=48.12,Lon=11.52,Age=2");
            } else if (head == "$JLBEAM") {
                Reply("$>JLBEAM,Sent 1557845,Used 1557845,Baud 1200");
            }
            break;
        case Dialect::Sirf:
            if (head == "$PSRF103" && f.size() > 3) {
                int number = 0;
                int rate = 0;
                if (ToInt(f[1], number) && ToInt(f[3], rate) && number >= 0 && number < 6) {
                    SetOutput(kSirfTypes[number], rate > 0);
                }
            }
            break;
        case Dialect::LogCommands: {
            const std::vector<std::string> w = Words(line);
            if (w.empty()) break;
            auto log = [&](const std::string& word) { return std::find(w.begin(), w.end(), word) != w.end(); };
            if (w[0] == "LOG" && log("ECUTOFFA")) {
                Reply(LogReply("#ECUTOFFA", std::to_string(state.elevMask) + ".0"));
            } else if (w[0] == "LOG" && log("LOGLISTA")) {
                std::string data;
                int count = 0;
                for (const char* type : {"GGA", "GSA", "ZDA", "GLL", "VTG", "GSV"}) {
                    if (std::find(state.off.begin(), state.off.end(), type) != state.off.end()) continue;
                    data += std::string(",COM1,GP") + type + ",ONTIME,1.000000,0.000000,NOHOLD";
                    ++count;
                }
                Reply(LogReply("#LOGLISTA", std::to_string(count) + data));
            } else if (w[0] == "LOG" && log("RXCONFIGA")) {
                Reply(LogReply("#RXCONFIGA", "#LOGA,COM2,0,72.5,FINESTEERING"));
            } else if (w[0] == "LOG" && log("RTKSOURCEA")) {
                const char* source = state.dgpsMode == 1 ? "AUTO" : state.dgpsMode == 2 ? "OMNISTAR" : "NONE";
                Reply(LogReply("#RTKSOURCEA", std::string(source) + ",ANY"));
            } else if (w[0] == "LOG" && log("SBASCONTROLA")) {
                const bool sbas = state.dgpsMode == 3;
                Reply(LogReply("#SBASCONTROLA", std::string(sbas ? "ENABLE" : "DISABLE") + ",AUTO,0,NONE"));
            } else if (w[0] == "LOG" && log("PSRDIFFSOURCEA")) {
                const char* source = state.dgpsMode == 4 ? "CDGPS" : state.dgpsMode == 5 ? "OMNISTAR" : "NONE";
                Reply(LogReply("#PSRDIFFSOURCEA", std::string(source) + ",ANY"));
            } else if (w[0] == "LOG" && log("WAAS1A")) {
                Reply(LogReply("#WAAS1A", "135,0,1422,314682*"));
            } else if (w[0] == "LOG" && log("OMNIINFOA")) {
                Reply(LogReply("#OMNIINFOA", "1557845000,1200,VBS"));
            } else if (w[0] == "LOG" && log("OMNISTATA")) {
                Reply(LogReply("#OMNISTATA", "LOCKED,42,1557845000"));
            } else if (w[0] == "LOG" && log("OMNIHPPOSA")) {
                Reply(LogReply("#OMNIHPPOSA", "SOL_COMPUTED,OMNISTAR_HP,48.1173,11.5166,545.4,46.9"));
            } else if (w[0] == "ECUTOFF" && w.size() > 1) {
                setMask(w[1]);
            } else if ((w[0] == "LOG" || w[0] == "UNLOG") && w.size() > 1 && StartsWith(w[1], "GP") &&
                       w[1].size() == 5) {
                SetOutput(w[1].substr(2), w[0] == "LOG");
            } else if (w[0] == "RTKSOURCE" && w.size() > 1) {
                // One source at a time, as the tool's modes set them: a NONE clears its own.
                if (w[1] == "AUTO") setDgps(1);
                if (w[1] == "OMNISTAR") setDgps(2);
                if (w[1] == "NONE" && (state.dgpsMode == 1 || state.dgpsMode == 2)) setDgps(0);
            } else if (w[0] == "PSRDIFFSOURCE" && w.size() > 1) {
                if (w[1] == "CDGPS") setDgps(4);
                if (w[1] == "OMNISTAR") setDgps(5);
                if (w[1] == "NONE" && (state.dgpsMode == 4 || state.dgpsMode == 5)) setDgps(0);
            } else if (w[0] == "SBASCONTROL" && w.size() > 1) {
                if (w[1] == "ENABLE" && state.dgpsMode == 0) setDgps(3);
                if (w[1] == "DISABLE" && state.dgpsMode == 3) setDgps(0);
            } else if (w[0] == "SAVECONFIG") {
                std::lock_guard lock(m_stateMutex);
                m_state.maskSaved = true;
            }
            if (w[0] != "LOG" || !log("ONCE")) Reply("<OK");
            break;
        }
        case Dialect::None:
            break;
    }
}

}  // namespace tolvik::sim
