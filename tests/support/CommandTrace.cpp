#include "support/CommandTrace.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "tolvik/port/CSerialPort.h"

namespace tolvik::test {

// Writes the mark through a descriptor of its own on the terminal: the library writes before it
// sleeps, so the terminal delivers command and mark in that order.
class CommandTrace::MarkingClock final : public platform::Clock {
public:
    MarkingClock(platform::VirtualClock& inner, int fd) : m_inner(inner), m_fd(fd) {}
    std::uint64_t MonotonicMs() override { return m_inner.MonotonicMs(); }
    std::int64_t Now() override { return m_inner.Now(); }
    void Sleep(DWORD ms) override {
        const std::string mark = "[" + std::to_string(ms) + "]";
        [[maybe_unused]] const auto n = ::write(m_fd, mark.data(), mark.size());
        m_inner.Sleep(ms);
    }
    int WaitReadable(const int* fds, int count, DWORD timeoutMs) override {
        return m_inner.WaitReadable(fds, count, timeoutMs);
    }

private:
    platform::VirtualClock& m_inner;
    int m_fd;
};

CommandTrace::CommandTrace(int nPort, bool answerCommands)
    : m_nPort(nPort), m_receiver(sim::SimulatedReceiver::Options{answerCommands, false}) {
    if (!m_receiver.IsOpen()) throw std::runtime_error("no pseudo-terminal");
    m_markFd = ::open(m_receiver.DevicePath().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (m_markFd < 0) throw std::runtime_error("cannot open the terminal for marks");
    CSerialPort::SetPortDevice(nPort, m_receiver.DevicePath());
    m_marking = std::make_unique<MarkingClock>(m_clock, m_markFd);
    m_guard = std::make_unique<platform::ScopedClock>(*m_marking);
}

CommandTrace::~CommandTrace() {
    m_guard.reset();
    CSerialPort::ClearPortDevices();
    if (m_markFd >= 0) ::close(m_markFd);
}

std::string CommandTrace::Take() {
    const std::string end = "<end " + std::to_string(++m_nTakes) + ">";
    [[maybe_unused]] const auto n = ::write(m_markFd, end.data(), end.size());
    if (!m_receiver.WaitForReceived(end, std::chrono::seconds(20))) throw std::runtime_error("trace mark lost");
    std::string all = m_receiver.Received();
    m_receiver.ClearReceived();
    return all.substr(0, all.find(end));
}

}  // namespace tolvik::test
