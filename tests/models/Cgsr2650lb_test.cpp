// Cgsr2650lb: initialisation on construction and the NMEA set-up lists, checked on a
// pseudo-terminal standing in for port 0.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/models/Cgsr2650lb.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

// A pseudo-terminal pair: the library opens the slave as port 0, the test reads the master.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0) m_slavePath = name;
    }
    ~PseudoTerminal() {
        if (m_slave >= 0) close(m_slave);
        if (m_master >= 0) close(m_master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return m_master >= 0 && !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }
    int Slave() const { return m_slave; }

    // Adds a mark to the slave's output stream after whatever the port has written so far.
    void Mark(const std::string& text) const {
        ASSERT_EQ(write(m_slave, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Everything that reaches the master before the mark (the mark itself removed). The terminal
    // delivers in write order, so nothing written before the mark can arrive after it. The wait
    // is bounded only to turn a hang into a failure.
    std::string ReadThrough(const std::string& mark) const {
        std::string received;
        for (;;) {
            const std::size_t at = received.find(mark);
            if (at != std::string::npos) return received.substr(0, at);
            pollfd pfd{m_master, POLLIN, 0};
            if (poll(&pfd, 1, 20000) <= 0) {
                ADD_FAILURE() << "the mark never arrived; received so far: " << received;
                return received;
            }
            char buffer[1024];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0) {
                ADD_FAILURE() << "reading the master failed";
                return received;
            }
            received.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// A virtual clock that also writes "[sleep N]" into the terminal at each sleep, so the text read
// from the master shows where every pause fell between the commands.
class MarkingClock final : public platform::Clock {
public:
    MarkingClock(platform::VirtualClock& inner, const PseudoTerminal& terminal)
        : m_inner(inner), m_terminal(terminal) {}

    std::uint64_t MonotonicMs() override { return m_inner.MonotonicMs(); }
    std::int64_t Now() override { return m_inner.Now(); }
    void Sleep(DWORD ms) override {
        m_terminal.Mark("[sleep " + std::to_string(ms) + "]");
        m_inner.Sleep(ms);
    }
    int WaitReadable(const int* fds, int count, DWORD timeoutMs) override {
        return m_inner.WaitReadable(fds, count, timeoutMs);
    }

private:
    platform::VirtualClock& m_inner;
    const PseudoTerminal& m_terminal;
};

// The word and the sentence are separated by two blanks: the set-up names no port.
const char* const kDefaultNmea[] = {
    "LOG  GPGGA ONTIME 1 0 NOHOLD\r\n",
    "UNLOG  GPGGALONG\r\n",
    "UNLOG  GPGGARTK\r\n",
    "UNLOG  GPGLL\r\n",
    "UNLOG  GPGRS\r\n",
    "LOG  GPGSA ONTIME 1 0 NOHOLD\r\n",
    "UNLOG  GPGST\r\n",
    "LOG  GPGSV ONTIME 1 0 NOHOLD\r\n",
    "UNLOG  GPRMB\r\n",
    "UNLOG  GPRMC\r\n",
    "LOG  GPVTG ONTIME 1 0 NOHOLD\r\n",
    "UNLOG  GPZDA\r\n",
    "UNLOG  GPALM\r\n",
};

const char* const kGgaOnlyNmea[] = {
    "UNLOG  GPALM\r\n",
    "LOG  GPGGA ONTIME 1 0 NOHOLD\r\n",
    "UNLOG  GPGGALONG\r\n",
    "UNLOG  GPGGARTK\r\n",
    "UNLOG  GPGLL\r\n",
    "UNLOG  GPGRS\r\n",
    "UNLOG  GPGSA\r\n",
    "UNLOG  GPGST\r\n",
    "UNLOG  GPGSV\r\n",
    "UNLOG  GPRMB\r\n",
    "UNLOG  GPRMC\r\n",
    "UNLOG  GPVTG\r\n",
    "UNLOG  GPZDA\r\n",
};

// Each command followed by its 200 ms pause.
template <std::size_t N>
std::string Paced(const char* const (&commands)[N]) {
    std::string text;
    for (const char* command : commands) text += std::string(command) + "[sleep 200]";
    return text;
}

// The transcript without the pauses the port takes for itself (after opening the device).
std::string CommandsAndPacing(std::string transcript) {
    const std::string opening = "[sleep ";
    for (std::size_t at = transcript.find(opening); at != std::string::npos;
         at = transcript.find(opening, at)) {
        const std::size_t end = transcript.find(']', at);
        if (end == std::string::npos) break;
        if (transcript.compare(at, end + 1 - at, "[sleep 200]") == 0) {
            at = end + 1;
        } else {
            transcript.erase(at, end + 1 - at);
        }
    }
    return transcript;
}

int CountSleepsOf(const platform::VirtualClock& clock, DWORD ms) {
    const std::vector<DWORD> sleeps = clock.SleepDurations();
    return static_cast<int>(std::count(sleeps.begin(), sleeps.end(), ms));
}

class Gsr2650lbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(terminal.IsOpen());
        CSerialPort::SetPortDevice(0, terminal.SlavePath());
    }
    void TearDown() override { CSerialPort::ClearPortDevices(); }

    PseudoTerminal terminal;
    platform::VirtualClock virtualClock;
    MarkingClock clock{virtualClock, terminal};
    platform::ScopedClock guard{clock};
};

TEST_F(Gsr2650lbTest, ConstructionOpensPortZeroAndSendsTheDefaultNmeaList) {
    Cgsr2650lb receiver;
    terminal.Mark("<constructed>");

    EXPECT_TRUE(CGPSReceiver::m_Port.IsOpen());
    EXPECT_EQ(CGPSReceiver::m_Port.m_nPort, 0);
    EXPECT_EQ(CGPSReceiver::m_Port.m_nBaudRate, 9600);
    termios line{};
    ASSERT_EQ(tcgetattr(terminal.Slave(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));

    EXPECT_EQ(CommandsAndPacing(terminal.ReadThrough("<constructed>")), Paced(kDefaultNmea));
    EXPECT_EQ(CountSleepsOf(virtualClock, 200), 13);
    EXPECT_FALSE(receiver.m_bRawOutputOn);
    EXPECT_EQ(receiver.m_nRawInterval, 0);
}

TEST_F(Gsr2650lbTest, ConstructionTakesOverAnAlreadyOpenPortAt9600Baud) {
    // Another receiver holds port 0 open at 4800 baud, as when a second engine is built while
    // the first one runs.
    test::TestReceiver running;
    running.m_nBaudRate = 4800;
    ASSERT_TRUE(running.Initialize());
    termios line{};
    ASSERT_EQ(tcgetattr(terminal.Slave(), &line), 0);
    ASSERT_EQ(cfgetospeed(&line), static_cast<speed_t>(B4800));
    terminal.Mark("<opened>");
    terminal.ReadThrough("<opened>");

    Cgsr2650lb receiver;
    terminal.Mark("<constructed>");

    EXPECT_TRUE(CGPSReceiver::m_Port.IsOpen());
    ASSERT_EQ(tcgetattr(terminal.Slave(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_EQ(CommandsAndPacing(terminal.ReadThrough("<constructed>")), Paced(kDefaultNmea));
}

TEST_F(Gsr2650lbTest, NmeaListsGoOutOneCommandAtATimeEachFollowedBy200ms) {
    Cgsr2650lb receiver;
    terminal.Mark("<constructed>");
    terminal.ReadThrough("<constructed>");
    virtualClock.ClearSleeps();

    struct Case {
        const char* legend;
        void (Cgsr2650lb::*operation)();
        std::string expected;
    };
    const Case cases[] = {
        {"GGA only", &Cgsr2650lb::SetGgaOnlyNMEA, Paced(kGgaOnlyNmea)},
        {"default", &Cgsr2650lb::SetDefaultNMEA, Paced(kDefaultNmea)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        (receiver.*c.operation)();
        terminal.Mark("<done>");
        // No pause of the port's own here: the transcript is exactly commands and pacing.
        EXPECT_EQ(terminal.ReadThrough("<done>"), c.expected);
    }
    EXPECT_EQ(virtualClock.SleepDurations(), std::vector<DWORD>(26, 200));
}

TEST_F(Gsr2650lbTest, InitializeForgetsTheRawLogStateAndSendsTheDefaultListAgain) {
    Cgsr2650lb receiver;
    terminal.Mark("<constructed>");
    terminal.ReadThrough("<constructed>");

    receiver.m_bRawOutputOn = true;
    receiver.m_nRawInterval = 5;
    EXPECT_TRUE(receiver.Initialize());
    terminal.Mark("<initialized>");

    EXPECT_FALSE(receiver.m_bRawOutputOn);
    EXPECT_EQ(receiver.m_nRawInterval, 0);
    EXPECT_EQ(CommandsAndPacing(terminal.ReadThrough("<initialized>")), Paced(kDefaultNmea));
}

// Without a device behind port 0 (COM0 then names a path that cannot exist).
class Gsr2650lbWithoutDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { CSerialPort::ClearPortDevices(); }

    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
};

TEST_F(Gsr2650lbWithoutDeviceTest, ConstructionFailsQuietly) {
    test::RecordingHost host;
    Cgsr2650lb receiver;

    EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen());
    EXPECT_EQ(CountSleepsOf(clock, 200), 0);  // no command went out
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(host.WaitCursorDepth(), 0);
    EXPECT_FALSE(receiver.m_bRawOutputOn);
    EXPECT_EQ(receiver.m_nRawInterval, 0);
}

TEST_F(Gsr2650lbWithoutDeviceTest, InitializeReportsTheClosedPortButStillClearsTheRawLogState) {
    struct Case {
        const char* legend;
        bool emulation;
        bool expected;
    };
    const Case cases[] = {
        {"live: the port cannot be opened", false, false},
        {"emulation: the port is not needed", true, true},
    };
    Cgsr2650lb receiver;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        receiver.SetupReceiver(0, 0, 0.0, CString(), c.emulation);
        receiver.m_bRawOutputOn = true;
        receiver.m_nRawInterval = 7;
        EXPECT_EQ(receiver.Initialize(), c.expected);
        EXPECT_FALSE(receiver.m_bRawOutputOn);
        EXPECT_EQ(receiver.m_nRawInterval, 0);
        EXPECT_FALSE(CGPSReceiver::m_Port.IsOpen());
    }
    EXPECT_EQ(CountSleepsOf(clock, 200), 0);
}

TEST_F(Gsr2650lbWithoutDeviceTest, NmeaListsOnAClosedPortSendNothingAndDoNotWait) {
    Cgsr2650lb receiver;
    clock.ClearSleeps();
    receiver.SetDefaultNMEA();
    receiver.SetGgaOnlyNMEA();
    EXPECT_TRUE(clock.SleepDurations().empty());
}

}  // namespace
}  // namespace tolvik
