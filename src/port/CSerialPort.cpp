// The serial port on POSIX termios devices.
#include "tolvik/port/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"

namespace tolvik {

namespace {

std::mutex g_mapMutex;
std::map<int, std::string>& PortMap() {
    static std::map<int, std::string> map;
    return map;
}

// Longest time a write may wait for room in the device's output queue before it counts as failed.
constexpr int kWriteStallMs = 2000;

bool BaudConstant(int nBaudRate, speed_t& speed) {
    static constexpr struct {
        int rate;
        speed_t constant;
    } kRates[] = {
        {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const auto& r : kRates) {
        if (r.rate == nBaudRate) {
            speed = r.constant;
            return true;
        }
    }
    return false;
}

}  // namespace

// ---- CSerialPort

CSerialPort::CSerialPort() = default;
CSerialPort::~CSerialPort() = default;

void CSerialPort::SetPortDevice(int nPort, const std::string& path) {
    std::lock_guard lock(g_mapMutex);
    PortMap()[nPort] = path;
}

void CSerialPort::ClearPortDevices() {
    std::lock_guard lock(g_mapMutex);
    PortMap().clear();
}

std::string CSerialPort::DevicePath(int nPort) {
    {
        std::lock_guard lock(g_mapMutex);
        const auto it = PortMap().find(nPort);
        if (it != PortMap().end()) return it->second;
    }
    return "/dev/ttyS" + std::to_string(nPort - 1);
}

bool CSerialPort::IsOpen() { return m_hPort.load() >= 0; }

void* CSerialPort::GetHandle() { return reinterpret_cast<void*>(static_cast<std::intptr_t>(m_hPort.load())); }

void CSerialPort::SetPortNumber(int nPort) { m_nPort = nPort; }

bool CSerialPort::SetBaudRate(int nBaudRate) {
    if (nBaudRate <= 0) return false;
    const int previous = m_nBaudRate;
    m_nBaudRate = nBaudRate;
    if (!IsOpen() || Configure()) return true;
    // The device kept (or was put back to) the rate it had: say so rather than claim the new one.
    const CString error = GetLastErrorString();
    m_nBaudRate = previous;
    Configure();
    SetLastError(error);
    return false;
}

CString CSerialPort::GetLastErrorString() const {
    std::lock_guard lock(m_errorLock);
    return m_strLastError;
}

void CSerialPort::SetLastError(const CString& text) {
    std::lock_guard lock(m_errorLock);
    m_strLastError = text;
}

void CSerialPort::SetLastSystemError(const char* what, int error) {
    SetLastError(CString::FromBytes(std::string(what) + ": " + std::strerror(error)));
}

void CSerialPort::SetHandshake(int nHandshake) {
    m_nHandshake = static_cast<BYTE>(nHandshake);
    Configure();
}

void CSerialPort::SetParity(int nParity) {
    m_nParity = nParity;
    Configure();
}

void CSerialPort::SetStopBits(int nStopBits) {
    m_nStopBits = static_cast<BYTE>(nStopBits);
    Configure();
}

bool CSerialPort::Configure() {
    std::shared_lock lock(m_fdLock);
    const int fd = m_hPort.load();
    if (fd < 0) return false;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        SetLastSystemError(DevicePath(m_nPort).c_str(), errno);
        return false;
    }

    speed_t speed{};
    if (!BaudConstant(m_nBaudRate, speed)) {
        // The handhelds' serial driver also knows 14400, 56000, 128000 and 256000; termios has no
        // line speed for them.
        SetLastError(CString::Formatted(L"the device does not take %d baud", m_nBaudRate));
        return false;
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);

    // Raw binary line: receivers send binary records between their sentences, so nothing may be
    // translated, stripped or replaced on the way in or out.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CREAD | CLOCAL;

    int dataBits = m_nDataBits;
    if (dataBits == 0) dataBits = m_nParity == 0 ? 8 : 7;
    switch (dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    switch (m_nParity) {
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;  // odd
        case 2:
            tio.c_cflag |= PARENB;
            break;  // even
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;  // mark
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;  // space
        default:
            break;
    }
    if (m_nParity != 0) tio.c_iflag |= INPCK;
    if (m_nStopBits != 0) tio.c_cflag |= CSTOPB;

    // Termios has no DTR/DSR flow control; DTR stays asserted (the driver raises it on open).
    if (m_nHandshake & HS_RTS_CTS) tio.c_cflag |= CRTSCTS;
    if (m_nHandshake & HS_XON_XOFF) tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        SetLastSystemError(DevicePath(m_nPort).c_str(), errno);
        return false;
    }
    // A device may accept the call yet keep another rate: read back what it took.
    termios applied{};
    if (tcgetattr(fd, &applied) != 0 || cfgetospeed(&applied) != speed) {
        SetLastError(CString::Formatted(L"the device does not take %d baud", m_nBaudRate));
        return false;
    }
    m_dcb = tio;
    SetLastError(CString());
    return true;
}

bool CSerialPort::OpenDevice() {
    const std::string path = DevicePath(m_nPort);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastSystemError(path.c_str(), errno);
        return false;
    }
    // Not shared: the lock keeps out a second opener that uses it (another engine, another program
    // on this library), the terminal's exclusive mode every other program.
    const char* refusal = nullptr;
    int error = 0;
    if (!isatty(fd)) {
        refusal = "not a serial device";
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
    }
    if (refusal || error) {
        SetLastError(CString::FromBytes(path + ": " + (refusal ? refusal : std::strerror(error))));
        ::close(fd);
        return false;
    }
    {
        std::unique_lock lock(m_fdLock);
        m_hPort.store(fd);
        ++m_nGeneration;
    }
    if (!Configure()) {
        std::unique_lock lock(m_fdLock);
        ::close(fd);
        m_hPort.store(-1);
        ++m_nGeneration;
        return false;
    }
    return true;
}

bool CSerialPort::Open() {
    if (IsOpen()) return true;
    m_strPortName.Format(L"COM%d:", m_nPort);
    if (!OpenDevice()) {
        m_strPortName.Empty();
        return false;
    }
    PurgeInput();
    return true;
}

bool CSerialPort::Close() {
    std::unique_lock lock(m_fdLock);
    m_strPortName.Empty();
    const int fd = m_hPort.exchange(-1);
    if (fd < 0) return false;
    ++m_nGeneration;
    ioctl(fd, TIOCNXCL);  // the terminal's exclusive mode may outlive this descriptor (a pty)
    return ::close(fd) == 0;
}

int CSerialPort::BytesAvailable() {
    std::shared_lock lock(m_fdLock);
    const int fd = m_hPort.load();
    int n = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &n) != 0) return 0;
    return n;
}

bool CSerialPort::PurgeInput() {
    std::shared_lock lock(m_fdLock);
    const int fd = m_hPort.load();
    return fd >= 0 && tcflush(fd, TCIFLUSH) == 0;
}

bool CSerialPort::SetBreak() {
    std::shared_lock lock(m_fdLock);
    const int fd = m_hPort.load();
    return fd >= 0 && ioctl(fd, TIOCSBRK) == 0;
}

bool CSerialPort::ClearBreak() {
    std::shared_lock lock(m_fdLock);
    const int fd = m_hPort.load();
    return fd >= 0 && ioctl(fd, TIOCCBRK) == 0;
}

bool CSerialPort::WriteAll(const BYTE* pData, int nLength) {
    SystemIdleTimerReset();
    std::lock_guard writer(m_writeLock);  // one command goes out whole before the next
    std::shared_lock lock(m_fdLock);
    const int fd = m_hPort.load();
    if (fd < 0) return false;
    int done = 0;
    while (done < nLength) {
        const ssize_t n = ::write(fd, pData + done, static_cast<std::size_t>(nLength - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The output queue is full: wait for room, but not forever (nobody may be reading).
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, kWriteStallMs) > 0 && !(p.revents & (POLLERR | POLLHUP | POLLNVAL))) continue;
        }
        return false;
    }
    return true;
}

bool CSerialPort::Write(const CString& text) {
    if (!IsOpen() || text.GetLength() > kMaxTextWrite) return false;
    const std::string bytes = text.ToBytes();
    return WriteAll(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<int>(bytes.size()));
}

bool CSerialPort::WriteBytes(const CByteArray& bytes) {
    if (!IsOpen() || bytes.GetSize() > kMaxTextWrite) return false;
    return WriteAll(bytes.GetData(), bytes.GetSize());
}

bool CSerialPort::WriteByte(char c) {
    if (!IsOpen()) return false;
    const BYTE b = static_cast<BYTE>(c);
    return WriteAll(&b, 1);
}

bool CSerialPort::WriteBinary(const BYTE* pData, WORD nLength) {
    if (!IsOpen() || (!pData && nLength > 0)) return false;
    return WriteAll(pData, nLength);
}

int CSerialPort::ReadWithTimeouts(BYTE* pBuffer, int nMax, DWORD firstByteMs, DWORD burstMs,
                                  platform::Event* pInterrupt) {
    if (!pBuffer || nMax <= 0) return 0;
    SystemIdleTimerReset();
    const unsigned generation = m_nGeneration.load();
    const int fd = m_hPort.load();
    if (fd < 0) return -1;

    int fds[2] = {fd, pInterrupt ? pInterrupt->Descriptor() : -1};
    const int ready = platform::GetClock().WaitReadable(fds, pInterrupt ? 2 : 1, firstByteMs);
    if (ready != 0) return 0;  // silence, or the interrupt

    int total = 0;
    while (total < nMax) {
        ssize_t n = 0;
        {
            std::shared_lock lock(m_fdLock);
            // The port may have been closed (and the number reused) while we waited.
            if (m_nGeneration.load() != generation || m_hPort.load() != fd) return total > 0 ? total : -1;
            n = ::read(fd, pBuffer + total, static_cast<std::size_t>(nMax - total));
        }
        if (n > 0) {
            total += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Nothing more right now: the burst is what has arrived, plus what comes within
            // burstMs (0 takes only what is already there).
            if (burstMs == 0 || platform::GetClock().WaitReadable(&fd, 1, burstMs) != 0) break;
            continue;
        }
        // End of file or an error (the other side hung up, the device vanished).
        if (total == 0) m_nHungUpGeneration.store(generation + 1u);
        return total > 0 ? total : -1;
    }
    return total;
}

int CSerialPort::ReadBurst(BYTE* pBuffer, int nMax, DWORD firstByteMs, DWORD, platform::Event* pInterrupt) {
    // The rest of a burst is taken in the same call as the first byte: everything that has
    // arrived by then. Waiting the burst time on top would only delay the data.
    return ReadWithTimeouts(pBuffer, nMax, firstByteMs, 0, pInterrupt);
}

bool CSerialPort::ReadBytes(CByteArray& bytes, const bool* pAbort) {
    bytes.RemoveAll();
    if (pAbort && *pAbort) return false;
    BYTE buffer[kQueueSize + 1];
    const int n = ReadWithTimeouts(buffer, 1, static_cast<DWORD>(m_nReadTimeout), 0, nullptr);
    if (n <= 0) return false;
    const int more = ReadWithTimeouts(buffer + 1, kQueueSize, 10, 10, nullptr);
    bytes.Append(buffer, 1 + std::max(more, 0));
    return true;
}

bool CSerialPort::ReadText(CString& text, const bool* pAbort) {
    text.Empty();
    CByteArray bytes;
    if (!ReadBytes(bytes, pAbort)) return false;
    text = CString::FromBytes(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetSize());
    return true;
}

bool CSerialPort::ReadByte(char* pc) {
    if (!pc) return false;
    BYTE b = 0;
    if (ReadWithTimeouts(&b, 1, 10, 0, nullptr) != 1) return false;
    *pc = static_cast<char>(b);
    return true;
}

bool CSerialPort::Read(BYTE* pBuffer, DWORD nCount, DWORD* pRead, const bool* pAbort) {
    if (pRead) *pRead = 0;
    if (nCount == 0) return true;
    if (!pBuffer || (pAbort && *pAbort)) return false;
    const DWORD timeout = static_cast<DWORD>(m_nReadTimeout);
    int total = ReadWithTimeouts(pBuffer, 1, timeout, 0, nullptr);
    if (total <= 0) return false;
    while (static_cast<DWORD>(total) < nCount && !(pAbort && *pAbort)) {
        const int n = ReadWithTimeouts(pBuffer + total, static_cast<int>(nCount) - total, timeout, 0, nullptr);
        if (n <= 0) break;
        total += n;
    }
    if (pRead) *pRead = static_cast<DWORD>(total);
    return true;
}

bool CSerialPort::WaitForChar(char c, DWORD nTimeout) {
    platform::Clock& clock = platform::GetClock();
    const std::uint64_t deadline = clock.MonotonicMs() + nTimeout;
    while (true) {
        const std::uint64_t now = clock.MonotonicMs();
        if (now >= deadline) return false;
        BYTE b = 0;
        const int n = ReadWithTimeouts(&b, 1, static_cast<DWORD>(deadline - now), 0, nullptr);
        if (n < 0) return false;
        if (n == 1 && b == static_cast<BYTE>(c)) return true;
    }
}

int CSerialPort::ReadUntilChar(char c, DWORD nTimeout) {
    platform::Clock& clock = platform::GetClock();
    const std::uint64_t limit = clock.MonotonicMs() + std::max<DWORD>(nTimeout, 10000);
    int first = 0;
    while (clock.MonotonicMs() < limit) {
        BYTE b = 0;
        if (ReadWithTimeouts(&b, 1, nTimeout, 0, nullptr) != 1) break;  // the window ended
        if (first == 0) first = b;
        if (c == 0 || b == static_cast<BYTE>(c)) break;
    }
    return first;
}

bool CSerialPort::ReadUntil(CString& text, const std::function<bool(const CString&)>& isComplete) {
    text.Empty();
    platform::Clock& clock = platform::GetClock();
    const std::uint64_t deadline = clock.MonotonicMs() + static_cast<DWORD>(m_nReadTimeout);
    while (clock.MonotonicMs() < deadline) {
        BYTE b = 0;
        const int n = ReadWithTimeouts(&b, 1, static_cast<DWORD>(deadline - clock.MonotonicMs()), 0, nullptr);
        if (n != 1) return false;
        text += static_cast<wchar_t>(b);
        if (isComplete(text)) return true;
    }
    return false;
}

bool CSerialPort::ReadUntilText(CString& text, const CString& terminator) {
    if (terminator.IsEmpty()) {
        text.Empty();
        return false;
    }
    return ReadUntil(text, [&](const CString& t) {
        return t.GetLength() >= terminator.GetLength() && t.Right(terminator.GetLength()) == terminator;
    });
}

bool CSerialPort::ReadUntilOneOf(CString& text, const CString& characters) {
    return ReadUntil(text, [&](const CString& t) { return characters.Find(t[t.GetLength() - 1]) >= 0; });
}

// ---- CBluetoothOrSerialPort

CBluetoothOrSerialPort::CBluetoothOrSerialPort() = default;
CBluetoothOrSerialPort::~CBluetoothOrSerialPort() = default;

bool CBluetoothOrSerialPort::Open() {
    if (IsOpen()) return true;
    if (m_nPort == kBluetoothPort) return false;  // no Bluetooth connections in this library
    CWinApp* app = AfxGetApp();
    app->BeginWaitCursor();
    for (int attempt = 0; attempt < m_nOpenRetries; ++attempt) {
        m_strPortName.Format(L"COM%d:", m_nPort);
        if (OpenDevice()) {
            // Let the line settle, then forget what arrived before we were ready for it.
            platform::Sleep(10);
            PurgeInput();
            break;
        }
        m_strPortName.Empty();
    }
    app->EndWaitCursor();
    return IsOpen();
}

bool CBluetoothOrSerialPort::Reopen() {
    if (!m_bAllowReopen) return false;
    CWinApp* app = AfxGetApp();
    app->BeginWaitCursor();
    Close();
    platform::Sleep(500);
    const bool ok = Open();
    app->EndWaitCursor();
    return ok;
}

template <typename Attempt>
bool CBluetoothOrSerialPort::WriteWithRetries(Attempt attempt) {
    if (!IsOpen()) return false;
    for (int failures = 0;;) {
        if (attempt()) return true;
        ++failures;
        platform::Sleep(100);
        if (failures >= kWriteAttempts) return false;
        if (failures == kWriteAttempts - 1 && !Reopen()) return false;
    }
}

bool CBluetoothOrSerialPort::Write(const CString& text) {
    // An oversized text can never be written: refuse it without retrying or reopening.
    if (text.GetLength() > kMaxTextWrite) return false;
    return WriteWithRetries([&] { return CSerialPort::Write(text); });
}

bool CBluetoothOrSerialPort::WriteBytes(const CByteArray& bytes) {
    if (bytes.GetSize() > kMaxTextWrite) return false;
    return WriteWithRetries([&] { return CSerialPort::WriteBytes(bytes); });
}

bool CBluetoothOrSerialPort::WriteByte(char c) {
    return WriteWithRetries([&] { return CSerialPort::WriteByte(c); });
}

bool CBluetoothOrSerialPort::WriteBinary(const BYTE* pData, WORD nLength) {
    return WriteWithRetries([&] { return CSerialPort::WriteBinary(pData, nLength); });
}

}  // namespace tolvik
