#include "sim/SimulatedReceiver.h"
#include "sim/Nmea.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tolvik::sim {

namespace {

int SpeedToBaud(speed_t s) {
    static constexpr struct {
        speed_t s;
        int baud;
    } kTable[] = {{B1200, 1200},   {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
                  {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
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
    const int baud = m_options.honourBaudRate ? BaudRate() : 0;
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
                {
                    std::lock_guard lock(m_mutex);
                    m_received.append(buffer, static_cast<std::size_t>(n));
                    m_partialLine.append(buffer, static_cast<std::size_t>(n));
                    std::size_t end = 0;
                    while ((end = m_partialLine.find('\n')) != std::string::npos) {
                        std::string line = m_partialLine.substr(0, end);
                        if (!line.empty() && line.back() == '\r') line.pop_back();
                        complete.push_back(line);
                        m_partialLine.erase(0, end + 1);
                    }
                }
                m_changed.notify_all();
                for (const auto& line : complete) Answer(line);
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
    if (m_options.answerCommands) {
        if (line.rfind("$PASHS", 0) == 0) {
            WritePaced(WithChecksum("PASHR,ACK") + "\r\n");
        } else if (line.rfind("$PASHQ,PAR", 0) == 0) {
            for (const auto& reply : ParameterReply()) WritePaced(reply + "\r\n");
        }
    }
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

std::vector<std::string> SimulatedReceiver::ParameterReply() {
    // One line per group of settings, blanks as the receiver pads its columns.
    return {
        "PMD:0 ALT:+00000.00 PDP:40 HDP:04 VDP:04 FIX:0",
        "PER:001.00 ELM:10 RCI:020.00 MSV:3",
        "PEM:10 SAV:Y",
        "PRTA:  NMEA: PER:001.00 GLL:  OFF GGA: ON ON  VTG: GSA: ON ON SAT: GSV: ZDA: OFF",
    };
}

std::string SimulatedReceiver::WithChecksum(const std::string& body) {
    return NmeaWithChecksum(body);
}

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

}  // namespace tolvik::sim
