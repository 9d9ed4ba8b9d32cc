// The serial port over a real pseudo-terminal, with the simulated receiver on the other end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
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
using platform::VirtualClock;
using sim::SimulatedReceiver;

constexpr int kPort = 7;

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

    VirtualClock clock;
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    SimulatedReceiver receiver{SimulatedReceiver::Options{false, false}};
    CBluetoothOrSerialPort port;
};

TEST_F(SerialPortTest, OpensTheMappedDeviceOnceAndNamesIt) {
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.m_strPortName, CString(L"COM7:"));
    EXPECT_EQ(receiver.BaudRate(), 9600);
    const void* handle = port.GetHandle();
    EXPECT_TRUE(port.Open());  // already open: nothing changes
    EXPECT_EQ(port.GetHandle(), handle);
    EXPECT_EQ(host.WaitCursorDepth(), 0);

    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.m_strPortName.IsEmpty());
    EXPECT_FALSE(port.Close());
}

TEST_F(SerialPortTest, RefusesBluetoothPortAndMissingDevices) {
    port.SetPortNumber(CSerialPort::kBluetoothPort);
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(clock.SleepDurations().empty()) << "port 99 must not even try";

    port.SetPortNumber(42);  // no map entry: /dev/ttyS41, which a test machine does not have
    CSerialPort::SetPortDevice(42, "/nonexistent/tty");
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.m_strPortName.IsEmpty());
}

TEST_F(SerialPortTest, DefaultDeviceOfAPortNumber) {
    EXPECT_EQ(CSerialPort::DevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(CSerialPort::DevicePath(4), "/dev/ttyS3");
    EXPECT_EQ(CSerialPort::DevicePath(kPort), receiver.DevicePath());
}

TEST_F(SerialPortTest, ASecondOpenerOfTheSameDeviceIsRefused) {
    ASSERT_TRUE(port.Open());
    CSerialPort other;
    other.SetPortNumber(kPort);
    other.SetBaudRate(9600);
    EXPECT_FALSE(other.Open());
}

TEST_F(SerialPortTest, LineSettingsFollowBaudParityAndHandshake) {
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.m_dcb.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(port.m_dcb.c_cflag & PARENB, 0u);

    port.SetParity(2);  // even parity: automatic data bits become 7
    EXPECT_EQ(port.m_dcb.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_NE(port.m_dcb.c_cflag & PARENB, 0u);
    EXPECT_NE(port.m_dcb.c_iflag & INPCK, 0u);

    port.SetParity(0);
    port.SetHandshake(CSerialPort::HS_RTS_CTS | CSerialPort::HS_XON_XOFF);
    EXPECT_NE(port.m_dcb.c_cflag & CRTSCTS, 0u);
    EXPECT_NE(port.m_dcb.c_iflag & IXON, 0u);
    EXPECT_EQ(port.m_dcb.c_cc[VSTART], 0x11);
    EXPECT_EQ(port.m_dcb.c_cc[VSTOP], 0x13);
    port.SetHandshake(0);
    EXPECT_EQ(port.m_dcb.c_cflag & CRTSCTS, 0u);

    port.SetBaudRate(4800);
    EXPECT_EQ(receiver.BaudRate(), 4800);
    port.SetBaudRate(0);  // ignored
    EXPECT_EQ(port.m_nBaudRate, 4800);
}

TEST_F(SerialPortTest, ABaudRateTheDeviceCannotTakeFailsTheOpen) {
    // 14400, 56000, 128000 and 256000 are rates of the handhelds' serial driver that termios
    // has no constant for: each fails with a text that says so.
    for (const int rate : {12345, 14400, 56000, 128000, 256000}) {
        EXPECT_TRUE(port.SetBaudRate(rate));  // closed: stored for the next open
        EXPECT_FALSE(port.Open()) << rate;
        EXPECT_FALSE(port.IsOpen());
        const std::string error = port.GetLastErrorString().ToBytes();
        EXPECT_NE(error.find("does not take " + std::to_string(rate) + " baud"), std::string::npos) << error;
    }
}

TEST_F(SerialPortTest, AnOpenPortKeepsItsRateWhenTheDeviceRefusesANewOne) {
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.GetLastErrorString().IsEmpty());
    for (const int rate : {14400, 56000, 128000}) {
        EXPECT_FALSE(port.SetBaudRate(rate)) << rate;
        EXPECT_EQ(port.m_nBaudRate, 9600) << "claims a rate the device did not take";
        EXPECT_EQ(cfgetospeed(&port.m_dcb), static_cast<speed_t>(B9600));
        EXPECT_EQ(receiver.BaudRate(), 9600);
        EXPECT_NE(port.GetLastErrorString().ToBytes().find(std::to_string(rate)), std::string::npos);
    }
    EXPECT_TRUE(port.SetBaudRate(19200));
    EXPECT_EQ(port.m_nBaudRate, 19200);
    EXPECT_EQ(receiver.BaudRate(), 19200);
}

// errno of an open of the device by a program that knows nothing of flock (0: it opened). Root
// passes an exclusive terminal, so as root a child process without privileges tries it.
int OpenAsAnotherProgram(const std::string& path) {
    const auto attempt = [&path] {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno;
        ::close(fd);
        return 0;
    };
    if (geteuid() != 0) return attempt();
    if (chmod(path.c_str(), 0666) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(126);
        _exit(attempt() & 0x7F);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(SerialPortTest, TheTerminalIsTakenExclusively) {
    ASSERT_TRUE(port.Open());
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(port.GetHandle()));
    int exclusive = 0;
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    EXPECT_EQ(OpenAsAnotherProgram(receiver.DevicePath()), EBUSY);
    // Closing gives the terminal back, to others and to a reopen.
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(OpenAsAnotherProgram(receiver.DevicePath()), 0);
    EXPECT_TRUE(port.Open());
}

TEST_F(SerialPortTest, WritesReachTheReceiverUnchanged) {
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.Write(L"$PASHS,NME,GGA,A,ON\r\n"));
    const BYTE binary[] = {0xA0, 0xA2, 0x00, 0x0A, 0x0D, 0xAA, 0xFF, 0x24, 0xB0, 0xB3};
    EXPECT_TRUE(port.WriteBinary(binary, sizeof binary));
    EXPECT_TRUE(port.WriteByte('!'));
    CByteArray bytes;
    bytes.Append(reinterpret_cast<const BYTE*>("xyz"), 3);
    EXPECT_TRUE(port.WriteBytes(bytes));

    const std::string expected = std::string("$PASHS,NME,GGA,A,ON\r\n") +
                                 std::string(reinterpret_cast<const char*>(binary), sizeof binary) + "!xyz";
    ASSERT_TRUE(receiver.WaitForReceived(expected, 5s));
    EXPECT_EQ(receiver.Received(), expected);
}

TEST_F(SerialPortTest, OversizedWritesAreRefusedWithoutRetrying) {
    ASSERT_TRUE(port.Open());
    clock.ClearSleeps();
    EXPECT_TRUE(port.Write(CString(L'A', CSerialPort::kMaxTextWrite)));
    EXPECT_FALSE(port.Write(CString(L'B', CSerialPort::kMaxTextWrite + 1)));
    CByteArray big;
    big.SetSize(CSerialPort::kMaxTextWrite + 1);
    EXPECT_FALSE(port.WriteBytes(big));
    ASSERT_TRUE(receiver.WaitForReceived(std::string(CSerialPort::kMaxTextWrite, 'A'), 5s));
    EXPECT_EQ(receiver.Received().find('B'), std::string::npos);
    EXPECT_TRUE(clock.SleepDurations().empty()) << "no retry pauses for a refused text";
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialPortTest, WritesOnAClosedPortFailAtOnce) {
    EXPECT_FALSE(port.Write(L"x"));
    EXPECT_FALSE(port.WriteByte('x'));
    EXPECT_FALSE(port.WriteBinary(reinterpret_cast<const BYTE*>("x"), 1));
    EXPECT_TRUE(clock.SleepDurations().empty());
}

TEST_F(SerialPortTest, FailingWriteRetriesReopensOnceAndGivesUp) {
    ASSERT_TRUE(port.Open());
    clock.ClearSleeps();
    test::Unplug(receiver, kPort);  // every write now fails, and the device is gone for the reopen too
    EXPECT_FALSE(port.Write(L"$PASHS,RST\r\n"));
    // Four failed attempts with their pauses, then the reopen's pause; the reopen fails.
    EXPECT_EQ(clock.SleepDurations(), (std::vector<DWORD>{100, 100, 100, 100, 500}));
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, FifthAttemptSucceedsOnTheReopenedDevice) {
    ASSERT_TRUE(port.Open());
    clock.ClearSleeps();
    SimulatedReceiver replacement{SimulatedReceiver::Options{false, false}};
    test::Unplug(receiver, kPort);
    CSerialPort::SetPortDevice(kPort, replacement.DevicePath());  // the device comes back elsewhere

    EXPECT_TRUE(port.Write(L"$PASHS,SAV,Y\r\n"));
    EXPECT_EQ(clock.SleepDurations(), (std::vector<DWORD>{100, 100, 100, 100, 500, 10}));
    EXPECT_TRUE(replacement.WaitForReceived("$PASHS,SAV,Y\r\n", 5s));
    EXPECT_EQ(host.WaitCursorDepth(), 0);
}

TEST_F(SerialPortTest, ReopenIsRefusedWhenNotAllowed) {
    ASSERT_TRUE(port.Open());
    port.m_bAllowReopen = false;
    test::Unplug(receiver, kPort);
    clock.ClearSleeps();
    EXPECT_FALSE(port.Write(L"x"));
    EXPECT_EQ(clock.SleepDurations(), (std::vector<DWORD>{100, 100, 100, 100}));
    EXPECT_TRUE(port.IsOpen()) << "without a reopen the handle stays";
}

TEST_F(SerialPortTest, BurstReadTakesWhatArrivedAndWaitsOnTheClock) {
    ASSERT_TRUE(port.Open());
    const auto start = clock.MonotonicMs();
    BYTE buffer[64];
    ASSERT_TRUE(receiver.Send("$GPGGA,1\r\n"));
    // Bytes waiting: the read returns them without any time passing.
    while (port.BytesAvailable() < 10) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(port.ReadBurst(buffer, sizeof buffer, 1000, 1, nullptr), 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), "$GPGGA,1\r\n");
    EXPECT_EQ(clock.MonotonicMs(), start);

    // Silence: the read ends when a second of virtual time has passed, not before.
    std::atomic<int> result{-2};
    std::thread reader([&] { result = port.ReadBurst(buffer, sizeof buffer, 1000, 1, nullptr); });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    clock.Advance(999);
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    EXPECT_EQ(result.load(), -2);
    clock.Advance(1);
    reader.join();
    EXPECT_EQ(result.load(), 0);
}

TEST_F(SerialPortTest, BurstReadEndsEarlyOnItsInterruptEventAndOnHangUp) {
    ASSERT_TRUE(port.Open());
    BYTE buffer[16];
    platform::Event stop(false, true);
    EXPECT_EQ(port.ReadBurst(buffer, sizeof buffer, 1000, 1, &stop), 0);
    EXPECT_TRUE(stop.IsSet()) << "the interrupt is looked at, not taken";

    test::Unplug(receiver, kPort);
    EXPECT_EQ(port.ReadBurst(buffer, sizeof buffer, 1000, 1, nullptr), -1);
    port.Close();
    EXPECT_EQ(port.ReadBurst(buffer, sizeof buffer, 1000, 1, nullptr), -1);
}

TEST_F(SerialPortTest, ClosingUnderAWaitingReaderIsSafe) {
    ASSERT_TRUE(port.Open());
    std::atomic<int> result{-2};
    std::thread reader([&] {
        BYTE buffer[16];
        result = port.ReadBurst(buffer, sizeof buffer, 1000, 1, nullptr);
    });
    ASSERT_TRUE(clock.WaitForBlockedWaiters(1));
    port.Close();
    // Data for the old device must not be read through a descriptor number that was closed.
    receiver.Send("late");
    clock.Advance(1000);
    reader.join();
    EXPECT_LE(result.load(), 0);
}

TEST_F(SerialPortTest, PurgeDropsWaitingInput) {
    ASSERT_TRUE(port.Open());
    receiver.Send("garbage");
    while (port.BytesAvailable() < 7) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(port.PurgeInput());
    EXPECT_EQ(port.BytesAvailable(), 0);
}

TEST_F(SerialPortTest, LineReadsCollectUntilTheirTerminator) {
    ASSERT_TRUE(port.Open());
    receiver.Send("PMD:0 ALT:+0\r\nPER:001.00\r\n");
    while (port.BytesAvailable() < 26) std::this_thread::sleep_for(1ms);
    CString text;
    ASSERT_TRUE(port.ReadUntilText(text, L"\r\n"));
    EXPECT_EQ(text, CString(L"PMD:0 ALT:+0\r\n"));
    ASSERT_TRUE(port.ReadUntilOneOf(text, L":"));
    EXPECT_EQ(text, CString(L"PER:"));
    EXPECT_TRUE(port.WaitForChar('\n', 1000));
    EXPECT_EQ(port.BytesAvailable(), 0);
}

}  // namespace
}  // namespace tolvik
