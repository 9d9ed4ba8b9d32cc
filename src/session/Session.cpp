// Session: a host of the library that turns posted records into callbacks.
//
// Everything here is built on the public classes, as any host would use them: a CWinApp installed
// as the library's host, a window on the session's own delivery thread as its main window, and
// the engine and receiver models configured as the tool configures them.
#include "tolvik/Session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <thread>

#include "tolvik/engine/CGPSEngine.h"
#include "tolvik/framing/CBinBuffer.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Host.h"
#include "tolvik/platform/Sync.h"
#include "tolvik/platform/Window.h"
#include "tolvik/port/CSerialPort.h"
#include "tolvik/receiver/Notifications.h"

namespace tolvik {

namespace {

constexpr int kRawBurst = 512;         // bytes per step of a raw replay, roughly what a read brings
constexpr DWORD kPacedCheckMs = 1000;  // how often a paced replay looks whether the engine still runs
constexpr int kDefaultPort = 1;        // the port number a device path is mapped to

// The session running in this process: the host seam and the connection state are process-wide.
std::atomic<const void*> s_activeSession{nullptr};

std::string SettingsPath(const std::string& chosen) {
    if (!chosen.empty()) return chosen;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/tolvik/settings.ini";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/tolvik/settings.ini";
    return "tolvik-settings.ini";
}

// Why a recording cannot be replayed, or empty when it can be read.
std::string RecordingProblem(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return "cannot open the recording " + path + ": " + std::strerror(errno) +
               (errno == ENOENT ? " (check the path; relative paths start in the current folder)" : "");
    }
    if (S_ISDIR(st.st_mode)) return "cannot replay " + path + ": it is a folder, not a recording";
    std::ifstream probe(path, std::ios::binary);
    if (!probe) return "cannot read the recording " + path + ": " + std::strerror(errno);
    return {};
}

// Why a serial device cannot be used, with what to do about it; empty when it can be opened.
std::string DeviceProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::string text = "cannot open " + path + ": " + std::strerror(error);
        if (error == ENOENT) text += " (is the receiver plugged in and switched on? check the device name)";
        if (error == EACCES) text += " (add your user to the group that owns the device, usually 'dialout')";
        if (error == EBUSY) text += " (another program is using the port)";
        return text;
    }
    const bool tty = isatty(fd);
    ::close(fd);
    if (!tty) return path + " is not a serial device";
    return {};
}

}  // namespace

class Session::Impl {
public:
    explicit Impl(SessionOptions options);
    ~Impl();

    bool Start();
    void Stop();
    bool Run();
    bool IsRunning() const { return m_bRunning.load(); }
    std::string LastError() const {
        std::lock_guard lock(m_errorMutex);
        return m_strLastError;
    }
    CGPSReceiver& Receiver() { return *m_pReceiver; }

    struct Callbacks {
        std::function<void(const CGPSData&)> epoch;
        std::function<void(const CGPSDataRaw&)> rawEpoch;
        std::function<void(const CGPSDataEphemeris&)> ephemeris;
        std::function<void(const std::vector<WORD>&)> binary;
        std::function<void(const CString&)> text;
        std::function<void(const std::string&)> error;
    } m_callbacks;  // set before Start, read by the delivery thread only while it runs

private:
    class Host;
    class Window;

    bool IsReplay() const { return !m_options.replayFile.empty(); }
    bool Refuse(const std::string& text);
    // Takes the message's payload and calls the matching callback (on the delivery thread).
    void Deliver(UINT message, WPARAM wParam, LPARAM lParam);
    template <typename F, typename... Args>
    void Call(const F& callback, const Args&... args);
    // Ends the session early: LastError, then the error callback.
    void Fail(const std::string& text);
    void RequestStop() {
        m_bStopRequested = true;
        m_stopEvent.Set();
    }
    void DeliveryThread();
    void ReplayLines();
    void ReplayRaw();
    void ReadLive();
    void KeepCollecting();
    void Collect();  // joins an ended delivery thread; under m_controlMutex
    void RetireWindow();

    SessionOptions m_options;
    std::unique_ptr<CGPSEngine> m_pEngine;
    CGPSReceiver* m_pReceiver = nullptr;
    std::string m_strUnknownReceiver;  // set when the options name no model
    std::unique_ptr<Host> m_pHost;
    std::unique_ptr<Window> m_pWindow;  // lives on the delivery thread

    std::mutex m_controlMutex;  // Start, and Stop / Run from outside the delivery thread
    std::thread m_thread;
    std::atomic<std::thread::id> m_deliveryId{};
    platform::Event m_stopEvent{true, false};
    platform::Event m_readyEvent{true, false};
    platform::Event m_finishedEvent{true, false};
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bRunning{false};
    bool m_bStartedOk = false;  // written before m_readyEvent is set

    mutable std::mutex m_errorMutex;
    std::string m_strLastError;
    bool m_bFailed = false;
    std::exception_ptr m_callbackError;
};

// The library's host while the session runs: settings in the chosen file, message boxes (the
// engine's reports about files) kept as the last error and written to standard error.
class Session::Impl::Host : public CWinApp {
public:
    explicit Host(Impl& session) : m_session(session) {}
    int DoMessageBox(const CString& text, UINT nType) override {
        {
            std::lock_guard lock(m_session.m_errorMutex);
            m_session.m_strLastError = text.ToBytes();
        }
        return CWinApp::DoMessageBox(text, nType);
    }

private:
    Impl& m_session;
};

class Session::Impl::Window : public CWnd {
public:
    explicit Window(Impl& session) : m_session(session) { CreateOnThisThread(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        m_session.Deliver(message, wParam, lParam);
        return 0;
    }

private:
    Impl& m_session;
};

Session::Impl::Impl(SessionOptions options) : m_options(std::move(options)), m_pEngine(std::make_unique<CGPSEngine>()) {
    m_pHost = std::make_unique<Host>(*this);
    const CString wanted = CString::FromBytes(m_options.receiver);
    std::string choices;
    for (CGPSReceiver* receiver : m_pEngine->Receivers()) {
        if (receiver->GetName() == wanted) m_pReceiver = receiver;
        choices += (choices.empty() ? "\"" : ", \"") + receiver->GetName().ToBytes() + "\"";
    }
    if (!m_pReceiver) {
        m_pReceiver = m_pEngine->FindReceiver(wanted);  // the catalogue's fallback, for Receiver()
        m_strUnknownReceiver = "unknown receiver \"" + m_options.receiver + "\"; the models are " + choices;
    }
}

Session::Impl::~Impl() {
    Stop();
    m_pEngine.reset();  // the receivers go before the host they might still report to
    RetireWindow();
}

void Session::Impl::RetireWindow() {
    if (m_pWindow) m_pWindow->DestroyWindow();
    m_pWindow.reset();
}

bool Session::Impl::Refuse(const std::string& text) {
    std::lock_guard lock(m_errorMutex);
    m_strLastError = text;
    return false;
}

bool Session::Impl::Start() {
    std::lock_guard control(m_controlMutex);
    if (m_bRunning) return true;
    Collect();
    RetireWindow();
    {
        std::lock_guard lock(m_errorMutex);
        m_strLastError.clear();
        m_bFailed = false;
        m_callbackError = nullptr;
    }
    if (!m_strUnknownReceiver.empty()) return Refuse(m_strUnknownReceiver);
    std::string device;
    int port = m_options.port;
    if (IsReplay()) {
        if (std::string problem = RecordingProblem(m_options.replayFile); !problem.empty()) return Refuse(problem);
    } else {
        if (m_options.device.empty() && port <= 0) {
            return Refuse(
                "no receiver to read: set the serial device (e.g. /dev/ttyUSB0), a port number, or a "
                "recording to replay");
        }
        if (port <= 0) port = kDefaultPort;
        if (port == CSerialPort::kBluetoothPort) return Refuse("port 99 is reserved for Bluetooth; use another number");
        if (!m_options.device.empty()) CSerialPort::SetPortDevice(port, m_options.device);
        device = CSerialPort::DevicePath(port);
        if (std::string problem = DeviceProblem(device); !problem.empty()) return Refuse(problem);
    }
    if (m_options.baud < 0) return Refuse("the baud rate must be positive (or 0 for the model's own rate)");
    if (m_options.minSatellites < 3) return Refuse("at least 3 satellites are needed for a position");

    const void* none = nullptr;
    if (!s_activeSession.compare_exchange_strong(none, this)) {
        return Refuse(
            "another tolvik::Session is running in this process; stop it first (the receiver connection "
            "is shared by the whole process)");
    }
    const std::string settings = SettingsPath(m_options.settingsFile);
    if (!m_pHost->SetProfilePath(settings)) {
        s_activeSession = nullptr;
        return Refuse("cannot use the settings file " + settings);
    }
    SetHostApp(m_pHost.get());

    CGPSEngine& engine = *m_pEngine;
    m_pReceiver->SetupReceiver(IsReplay() ? 0 : port, m_options.geoidMode, m_options.antennaHeight, L"", IsReplay());
    engine.SetMinSatRequierment(m_options.minSatellites);
    engine.SetReceiver(m_pReceiver);
    engine.InitReceivers();
    if (m_options.baud > 0) m_pReceiver->m_nBaudRate = m_options.baud;  // for this run; the stored rate stays
    engine.m_bEmulation = IsReplay() && m_options.replayMode == ReplayMode::Paced;
    engine.m_strEmulationFile = CString::FromBytes(m_options.replayFile);
    engine.m_bAttachRawData = IsReplay() && m_options.replayMode == ReplayMode::Raw;
    engine.m_ComBuffer.ClearData();
    engine.m_ComBuffer.SetStopped(!m_callbacks.text);
    // Each binary record travels with its own copy of the words, so several records in one read
    // all arrive intact.
    if (m_callbacks.binary) CGPSReceiver::SetBinaryRecordCopies(true);

    m_stopEvent.Reset();
    m_readyEvent.Reset();
    m_finishedEvent.Reset();
    m_bStopRequested = false;
    m_bStartedOk = false;
    m_bRunning = true;
    m_thread = std::thread(&Impl::DeliveryThread, this);
    platform::WaitForSingleObject(&m_readyEvent, INFINITE);
    if (!m_bStartedOk) {
        Collect();
        std::lock_guard lock(m_errorMutex);
        if (m_strLastError.empty()) {
            m_strLastError = "cannot read " + device + " at " + std::to_string(m_pReceiver->m_nBaudRate) +
                             " baud: " + engine.GetLastErrorString().ToBytes();
        }
        return false;
    }
    return true;
}

void Session::Impl::DeliveryThread() {
    m_deliveryId = std::this_thread::get_id();
    m_pWindow = std::make_unique<Window>(*this);
    m_pHost->SetMainWnd(m_pWindow.get());
    const bool engineRuns = !IsReplay() || m_options.replayMode == ReplayMode::Paced;
    if (engineRuns) {
        m_bStartedOk = m_pEngine->Start();
    } else {
        // A replay starts from a fresh epoch with the fix-status map loaded; emulating, this
        // touches no port.
        m_pReceiver->Initialize();
        m_bStartedOk = true;
    }
    const bool started = m_bStartedOk;
    m_readyEvent.Set();
    if (started) {
        if (!IsReplay() || m_options.replayMode == ReplayMode::Paced) {
            ReadLive();
        } else if (m_options.replayMode == ReplayMode::Raw) {
            ReplayRaw();
        } else {
            ReplayLines();
        }
    }
    if (engineRuns) m_pEngine->Stop();
    // The window stays until the engine is gone or the next start: a reader thread that did not
    // answer the engine's Stop in time may still be posting to it. Destroying it then frees
    // what was posted and not delivered.
    m_pHost->SetMainWnd(nullptr);
    SetHostApp(nullptr);
    s_activeSession = nullptr;
    m_deliveryId = std::thread::id();
    m_bRunning = false;
    m_finishedEvent.Set();
}

void Session::Impl::ReadLive() {
    const bool paced = IsReplay();
    const platform::Event* events[] = {&m_stopEvent};
    while (!m_bStopRequested) {
        MsgWaitForMultipleObjects(events, 1, paced ? kPacedCheckMs : INFINITE);
        PumpWaitingMessages();
        KeepCollecting();
        if (paced && !m_bStopRequested && !m_pEngine->IsActive()) {
            Fail("the replay of " + m_options.replayFile + " stopped: " + LastError());
        }
    }
}

void Session::Impl::ReplayLines() {
    CTextFile file(false, false);
    if (!file.Open(m_options.replayFile.c_str(), CTextFile::modeRead | CTextFile::typeText)) {
        Fail("cannot open the recording " + m_options.replayFile);
        return;
    }
    // The delivery thread reads the recording itself between callbacks: a slow callback slows
    // the replay down instead of letting records pile up.
    CString line;
    while (!m_bStopRequested && file.ReadString(line)) {
        m_pEngine->ReplayLine(line);
        PumpWaitingMessages();
        KeepCollecting();
    }
}

void Session::Impl::ReplayRaw() {
    std::ifstream in(m_options.replayFile, std::ios::binary);
    if (!in) {
        Fail("cannot open the raw log " + m_options.replayFile);
        return;
    }
    char buffer[kRawBurst];
    while (!m_bStopRequested && (in.read(buffer, sizeof buffer) || in.gcount() > 0)) {
        CBinBuffer burst(buffer, static_cast<int>(in.gcount()));
        m_pEngine->UpdateGPSBuffer(burst);
        PumpWaitingMessages();
        KeepCollecting();
    }
}

// The engine collects raw text up to a limit and then stops forwarding it; a session that asked
// for text keeps it flowing.
void Session::Impl::KeepCollecting() {
    CComBuffer& buffer = m_pEngine->m_ComBuffer;
    if (m_callbacks.text && buffer.LimitReached()) {
        buffer.ClearData();
        buffer.SetStopped(false);
    }
}

template <typename F, typename... Args>
void Session::Impl::Call(const F& callback, const Args&... args) {
    if (!callback || m_bStopRequested) return;
    try {
        callback(args...);
    } catch (...) {
        {
            std::lock_guard lock(m_errorMutex);
            m_callbackError = std::current_exception();
            m_bFailed = true;
            m_strLastError = "a callback failed";
            try {
                throw;
            } catch (const std::exception& e) {
                m_strLastError += std::string(": ") + e.what();
            } catch (...) {}
        }
        RequestStop();
    }
}

void Session::Impl::Deliver(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GPS_NEWDATA: {
            const std::unique_ptr<CGPSData> data(reinterpret_cast<CGPSData*>(wParam));
            Call(m_callbacks.epoch, *data);
            break;
        }
        case WM_GPS_RAWSTRING: {
            const std::unique_ptr<CString> text(reinterpret_cast<CString*>(wParam));
            Call(m_callbacks.text, *text);
            break;
        }
        case WM_GPS_NEWDATARAW: {
            const std::unique_ptr<CGPSDataRaw> raw(reinterpret_cast<CGPSDataRaw*>(wParam));
            Call(m_callbacks.rawEpoch, *raw);
            break;
        }
        case WM_GPS_EPHEMERIS: {
            const std::unique_ptr<CGPSDataEphemeris> ephemeris(reinterpret_cast<CGPSDataEphemeris*>(wParam));
            Call(m_callbacks.ephemeris, *ephemeris);
            break;
        }
        case WM_GPS_BINARY: {
            if (lParam != 0) {
                const std::unique_ptr<CGPSBinaryRecord> record(reinterpret_cast<CGPSBinaryRecord*>(lParam));
                Call(m_callbacks.binary, record->m_Words);
            } else if (m_callbacks.binary && !m_bStopRequested) {
                // Without per-record copies the words wait in the receiver, written by the reader
                // thread under the shared lock; a later record may have replaced them.
                std::vector<WORD> words;
                {
                    std::lock_guard lock(CGPSReceiver::SharedStateLock());
                    for (const WORD w : m_pReceiver->m_BinaryMessage) words.push_back(w);
                }
                Call(m_callbacks.binary, words);
            }
            break;
        }
        case WM_GPS_DEVICE:
            if (wParam == GPS_DEVICE_LOST && !m_bStopRequested) {
                Fail("lost the receiver on " + CSerialPort::DevicePath(m_pReceiver->m_nComPort) +
                     ": it was unplugged, switched off or stopped answering; reconnect it and start again");
            }
            break;
        default:
            break;
    }
}

void Session::Impl::Fail(const std::string& text) {
    {
        std::lock_guard lock(m_errorMutex);
        m_strLastError = text;
        m_bFailed = true;
    }
    if (m_callbacks.error && !m_bStopRequested) {
        try {
            m_callbacks.error(text);
        } catch (...) {
            std::lock_guard lock(m_errorMutex);
            if (!m_callbackError) m_callbackError = std::current_exception();
        }
    }
    RequestStop();
}

void Session::Impl::Collect() {
    if (m_thread.joinable()) m_thread.join();
}

void Session::Impl::Stop() {
    RequestStop();
    if (std::this_thread::get_id() == m_deliveryId.load()) return;  // a callback: the loop ends after it
    std::lock_guard control(m_controlMutex);
    Collect();
}

bool Session::Impl::Run() {
    {
        std::unique_lock control(m_controlMutex);
        if (!m_thread.joinable()) {
            control.unlock();
            if (!Start()) return false;
        }
    }
    platform::WaitForSingleObject(&m_finishedEvent, INFINITE);
    std::exception_ptr error;
    bool failed = false;
    {
        std::lock_guard control(m_controlMutex);
        Collect();
        std::lock_guard lock(m_errorMutex);
        error = std::exchange(m_callbackError, nullptr);
        failed = m_bFailed;
    }
    if (error) std::rethrow_exception(error);
    return !failed;
}

// ---- Session

Session::Session(SessionOptions options) : m_pImpl(std::make_unique<Impl>(std::move(options))) {}
Session::~Session() = default;

void Session::OnEpoch(std::function<void(const CGPSData&)> callback) {
    m_pImpl->m_callbacks.epoch = std::move(callback);
}
void Session::OnRawEpoch(std::function<void(const CGPSDataRaw&)> callback) {
    m_pImpl->m_callbacks.rawEpoch = std::move(callback);
}
void Session::OnEphemeris(std::function<void(const CGPSDataEphemeris&)> callback) {
    m_pImpl->m_callbacks.ephemeris = std::move(callback);
}
void Session::OnBinary(std::function<void(const std::vector<WORD>&)> callback) {
    m_pImpl->m_callbacks.binary = std::move(callback);
}
void Session::OnText(std::function<void(const CString&)> callback) { m_pImpl->m_callbacks.text = std::move(callback); }
void Session::OnError(std::function<void(const std::string&)> callback) {
    m_pImpl->m_callbacks.error = std::move(callback);
}

bool Session::Start() { return m_pImpl->Start(); }
void Session::Stop() { m_pImpl->Stop(); }
bool Session::Run() { return m_pImpl->Run(); }
bool Session::IsRunning() const { return m_pImpl->IsRunning(); }
std::string Session::LastError() const { return m_pImpl->LastError(); }
CGPSReceiver& Session::Receiver() { return m_pImpl->Receiver(); }

}  // namespace tolvik
