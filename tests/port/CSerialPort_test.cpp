// The serial port over a real pseudo-terminal, with the simulated receiver on the other end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "sim/SimulatedReceiver.h"
#include "support/TestSupport.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/port/CSerialPort.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using sim::SimulatedReceiver;

constexpr int kPort = 7;
constexpr SimulatedReceiver::Options kQuiet{false, false};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(receiver.IsOpen());
        CSerialPort::SetPortDevice(kPort, receiver.DevicePath());
        port.SetPortNumber(kPort);
        port.SetBaudRate(9600);
    }
    void TearDown() override {
        port.Close();
        CSerialPort::ClearPortDevices();
    }
    // The pty hands bytes on in its own time (real time, outside the clock seam).
    void AwaitInput(int n) {
        while (port.BytesAvailable() < n) std::this_thread::sleep_for(1ms);
    }
    int Burst(BYTE* buffer, int size, platform::Event* stop = nullptr) {
        return port.ReadBurst(buffer, size, 1000, 1, stop);
    }

    platform::VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    SimulatedReceiver receiver{kQuiet};
    CBluetoothOrSerialPort port;
};

// errno of an open of the device by a program that knows nothing of flock (0: it opened). Root
// passes an exclusive terminal, so as root a child process without privileges tries it.
int OpenAsAnotherProgram(const std::string& path) {
    const auto attempt = [&path] {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd < 0 ? errno : ::close(fd);
    };
    if (geteuid() != 0) return attempt();
    if (chmod(path.c_str(), 0666) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) _exit(setgid(65534) != 0 || setuid(65534) != 0 ? 126 : attempt() & 0x7F);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(SerialPortTest, OpensTheMappedDeviceOnceAndExclusively) {
    EXPECT_EQ(CSerialPort::DevicePath(4), "/dev/ttyS3");  // a port without a map entry
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.m_strPortName, CString(L"COM7:"));
    EXPECT_EQ(receiver.BaudRate(), 9600);
    const void* handle = port.GetHandle();
    EXPECT_TRUE(port.Open());  // already open: nothing changes
    EXPECT_EQ(port.GetHandle(), handle);
    // A second opener here is refused by the lock; another program by the exclusive terminal.
    CSerialPort other;
    other.SetPortNumber(kPort);
    EXPECT_FALSE(other.Open());
    EXPECT_EQ(OpenAsAnotherProgram(receiver.DevicePath()), EBUSY);
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.m_strPortName.IsEmpty());
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(OpenAsAnotherProgram(receiver.DevicePath()), 0) << "closing gives the terminal back";
    EXPECT_TRUE(port.Open());
    port.Close();

    port.SetPortNumber(CSerialPort::kBluetoothPort);
    clock.ClearSleeps();
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(clock.SleepDurations().empty()) << "port 99 must not even try";
    CSerialPort::SetPortDevice(42, "/nonexistent/tty");
    port.SetPortNumber(42);
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(!port.IsOpen() && port.m_strPortName.IsEmpty());
}

TEST_F(SerialPortTest, LineSettingsFollowParityAndHandshake) {
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.m_dcb.c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS8));
    port.SetParity(2);  // even parity: automatic data bits become 7
    EXPECT_EQ(port.m_dcb.c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS7 | PARENB));
    EXPECT_NE(port.m_dcb.c_iflag & INPCK, 0u);
    port.SetParity(0);
    port.SetHandshake(CSerialPort::HS_RTS_CTS | CSerialPort::HS_XON_XOFF);
    EXPECT_NE(port.m_dcb.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(port.m_dcb.c_iflag & IXON, 0u);
    EXPECT_TRUE(port.m_dcb.c_cc[VSTART] == 0x11 && port.m_dcb.c_cc[VSTOP] == 0x13);
    port.SetHandshake(0);
    EXPECT_EQ(port.m_dcb.c_cflag & CRTSCTS, 0u);
}

// 14400, 56000, 128000 and 256000 are rates of the handhelds' serial driver that termios has no
// constant for: an open port keeps the rate it has; a closed one fails its open with a text.
TEST_F(SerialPortTest, ARateTheDeviceCannotTakeIsRefused) {
    for (const int rate : {12345, 14400, 56000, 128000, 256000}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(port.Open());
        EXPECT_FALSE(port.SetBaudRate(rate));
        EXPECT_EQ(port.m_nBaudRate, 9600) << "claims a rate the device did not take";
        EXPECT_EQ(cfgetospeed(&port.m_dcb), static_cast<speed_t>(B9600));
        EXPECT_EQ(receiver.BaudRate(), 9600);
        port.Close();
        EXPECT_TRUE(port.SetBaudRate(rate));  // closed: stored for the next open
        EXPECT_FALSE(port.Open());
        const std::string error = port.GetLastErrorString().ToBytes();
        EXPECT_NE(error.find("does not take " + std::to_string(rate) + " baud"), std::string::npos) << error;
        port.SetBaudRate(9600);
    }
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.SetBaudRate(19200));
    EXPECT_FALSE(port.SetBaudRate(0));
    EXPECT_TRUE(port.m_nBaudRate == 19200 && receiver.BaudRate() == 19200);
}

TEST_F(SerialPortTest, WritesReachTheReceiverUnchangedUpToTheirLimit) {
    EXPECT_FALSE(port.Write(L"x") || port.WriteByte('x'));  // closed: at once, without retrying
    ASSERT_TRUE(port.Open());
    clock.ClearSleeps();
    EXPECT_TRUE(port.Write(L"$PASHS,NME,GGA,A,ON\r\n"));
    const BYTE binary[] = {0xA0, 0xA2, 0x00, 0x0A, 0x0D, 0xAA, 0xFF, 0x24, 0xB0, 0xB3};
    EXPECT_TRUE(port.WriteBinary(binary, sizeof binary));
    EXPECT_TRUE(port.WriteByte('!'));
    CByteArray bytes;
    bytes.Append(reinterpret_cast<const BYTE*>("xyz"), 3);
    EXPECT_TRUE(port.WriteBytes(bytes));
    // Oversized writes are refused whole, without the pauses of a retry.
    EXPECT_TRUE(port.Write(CString(L'A', CSerialPort::kMaxTextWrite)));
    EXPECT_FALSE(port.Write(CString(L'B', CSerialPort::kMaxTextWrite + 1)));
    bytes.SetSize(CSerialPort::kMaxTextWrite + 1);
    EXPECT_FALSE(port.WriteBytes(bytes));
    EXPECT_TRUE(port.WriteByte('.'));
    const std::string expected = "$PASHS,NME,GGA,A,ON\r\n" + std::string(reinterpret_cast<const char*>(binary), 10) +
                                 "!xyz" + std::string(CSerialPort::kMaxTextWrite, 'A') + ".";
    ASSERT_TRUE(receiver.WaitForReceived(expected, 5s));
    EXPECT_EQ(receiver.Received(), expected);
    EXPECT_TRUE(clock.SleepDurations().empty());
    EXPECT_TRUE(port.IsOpen());
}

// An unplugged device: four attempts 100 ms apart, then (when allowed) a reopen after 500 ms and
// a fifth attempt 10 ms later on whatever device the port now maps to.
TEST_F(SerialPortTest, AFailingWriteRetriesAndReopensOnce) {
    const struct {
        const char* legend;
        bool allowReopen, comesBack, written, open;
        std::vector<DWORD> sleeps;
    } cases[] = {{"gone", true, false, false, false, {100, 100, 100, 100, 500}},
                 {"back elsewhere", true, true, true, true, {100, 100, 100, 100, 500, 10}},
                 {"no reopen", false, true, false, true, {100, 100, 100, 100}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        SimulatedReceiver device{kQuiet}, replacement{kQuiet};
        CSerialPort::SetPortDevice(kPort, device.DevicePath());
        ASSERT_TRUE(port.Open());
        port.m_bAllowReopen = c.allowReopen;
        test::Unplug(device, kPort);
        if (c.comesBack) CSerialPort::SetPortDevice(kPort, replacement.DevicePath());
        clock.ClearSleeps();
        EXPECT_EQ(port.Write(L"$PASHS,SAV,Y\r\n"), c.written);
        EXPECT_EQ(clock.SleepDurations(), c.sleeps);
        EXPECT_EQ(port.IsOpen(), c.open) << "without a reopen the handle stays";
        EXPECT_TRUE(!c.written || replacement.WaitForReceived("$PASHS,SAV,Y\r\n", 5s));
        port.Close();
    }
    EXPECT_EQ(host.WaitCursorDepth(), 0);
}

TEST_F(SerialPortTest, ReadsTakeWhatArrivedAndWaitOnTheClock) {
    ASSERT_TRUE(port.Open());
    const auto start = clock.MonotonicMs();
    BYTE buffer[64];
    ASSERT_TRUE(receiver.Send("garbage"));
    AwaitInput(7);
    EXPECT_TRUE(port.PurgeInput());
    EXPECT_EQ(port.BytesAvailable(), 0);
    ASSERT_TRUE(receiver.Send("$GPGGA,1\r\n"));
    AwaitInput(10);
    EXPECT_EQ(Burst(buffer, sizeof buffer), 10);  // bytes waiting: no time passes
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), "$GPGGA,1\r\n");
    EXPECT_EQ(clock.MonotonicMs(), start);

    receiver.Send("PMD:0 ALT:+0\r\nPER:001.00\r\n");
    AwaitInput(26);
    CString text;
    ASSERT_TRUE(port.ReadUntilText(text, L"\r\n"));
    EXPECT_EQ(text, CString(L"PMD:0 ALT:+0\r\n"));
    ASSERT_TRUE(port.ReadUntilOneOf(text, L":"));
    EXPECT_EQ(text, CString(L"PER:"));
    EXPECT_TRUE(port.WaitForChar('\n', 1000));
    EXPECT_EQ(port.BytesAvailable(), 0);

    platform::Event stop(false, true);  // ends the read at once; looked at, not taken
    EXPECT_EQ(Burst(buffer, sizeof buffer, &stop), 0);
    EXPECT_TRUE(stop.IsSet());

    // Silence: the read ends when a second of virtual time has passed, not before. Closing the
    // port under it is safe: data for the old device is not read through a closed descriptor.
    // (A hang-up, which reads -1, is the live reading tests' unplugged device.)
    for (const bool closing : {false, true}) {
        std::atomic<int> result{-2};
        std::thread reader([&] { result = Burst(buffer, sizeof buffer); });
        ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
        clock.Advance(999);
        ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
        EXPECT_EQ(result.load(), -2);
        if (closing) {
            port.Close();
            receiver.Send("late");
        }
        clock.Advance(1);
        reader.join();
        EXPECT_TRUE(closing ? result <= 0 : result == 0) << result;
    }
    EXPECT_EQ(Burst(buffer, sizeof buffer), -1);
}

}  // namespace
}  // namespace tolvik
