// CGPSEngine: catalogue, lifecycle, the reader thread and the emulation replay.
#include "tolvik/engine/CGPSEngine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

#include "engine/Catalogue.h"
#include "tolvik/framing/CParser.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"
#include "tolvik/resources/Resources.h"

namespace tolvik {

namespace {

bool IsExistingFile(const CString& path) {
    struct stat st {};
    return !path.IsEmpty() && stat(path.ToBytes().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

constexpr const wchar_t* kDefaultEmulationFile = L"Emulation.log";
constexpr const wchar_t* kPauseMarker = L"VEK PAUSE";
constexpr std::string_view kPauseMarkerBytes = "VEK PAUSE";  // the same, for lines held as bytes

}  // namespace

// What one reader thread uses besides the engine, shared between the thread and the engine so
// that it outlives either. The thread holds engineMutex while it uses the engine and lets go of
// it only around host code that may block (message boxes, callbacks), which is exactly where a
// host's UI thread, busy in Stop, Start or the destructor, can keep it. The engine takes the
// mutex, marks the thread abandoned and detaches it; back from the host, the thread sees the mark
// and returns without touching the engine again.
struct CGPSEngine::ReaderRun final : HostCallBracket {
    platform::Event stop{false, false};    // the engine's m_hStopEvent for this run
    platform::Event stopped{true, false};  // the thread's answer as it ends
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> ended{false};  // the thread left its loop
    std::mutex engineMutex;
    bool abandoned = false;                                           // guarded by engineMutex
    bool finished = false;                                            // guarded by engineMutex: only returning is left
    std::unique_lock<std::mutex> held{engineMutex, std::defer_lock};  // the thread's hold

    void Leave() override { held.unlock(); }
    bool Enter() override {
        held.lock();
        return !abandoned;
    }
};

namespace {

// The run of the reader thread that is executing, null on every other thread.
thread_local CGPSEngine::ReaderRun* t_pRun = nullptr;

// True on a reader thread that its engine gave up while it was in host code.
bool GivenUp() { return t_pRun && t_pRun->abandoned; }

}  // namespace

// ---- CComBuffer

CComBuffer::CComBuffer(const CComBuffer& other) { *this = other; }

CComBuffer& CComBuffer::operator=(const CComBuffer& other) {
    if (this == &other) return *this;
    CString data;
    CString spare;
    {
        std::lock_guard lock(other.m_mutex);
        data = other.m_strData;
        spare = other.m_strSpare;
    }
    std::lock_guard lock(m_mutex);
    m_strData = data;
    m_strSpare = spare;
    m_bStopped = other.m_bStopped.load();
    m_bLimitReached = other.m_bLimitReached.load();
    return *this;
}

void CComBuffer::OnRawData(CString* pMessage) {
    if (m_bStopped || !pMessage) return;
    std::lock_guard lock(m_mutex);
    // The message that arrives after the limit was passed is still taken, then collection ends.
    if (m_strData.GetLength() > kLimit) {
        m_bStopped = true;
        m_bLimitReached = true;
    }
    m_strData += *pMessage;
}

CString CComBuffer::GetData() const {
    std::lock_guard lock(m_mutex);
    return m_strData;
}

void CComBuffer::ClearData() {
    std::lock_guard lock(m_mutex);
    m_strData.Empty();
    m_bLimitReached = false;
}

// ---- CGPSEngine: catalogue

CGPSEngine::CGPSEngine() {
    for (CGPSReceiver* pReceiver : CreateReceiverCatalogue()) m_Receivers.push_back(pReceiver);
}

CGPSEngine::~CGPSEngine() {
    Stop();
    CollectThread();
    for (CGPSReceiver* pReceiver : m_Receivers) delete pReceiver;
    m_Receivers.clear();
}

bool CGPSEngine::AddReceiver(CGPSReceiver* pReceiver) {
    if (!pReceiver) return false;
    const CString name = pReceiver->GetName();
    for (CGPSReceiver* p : m_Receivers) {
        if (p->GetName() == name) return false;
    }
    m_Receivers.push_back(pReceiver);
    return true;
}

CGPSReceiver* CGPSEngine::FindReceiver(CString strName) {
    for (CGPSReceiver* p : m_Receivers) {
        if (p->GetName() == strName) return p;
    }
    return m_Receivers.empty() ? nullptr : m_Receivers.back();
}

void CGPSEngine::SetReceiver(CGPSReceiver* pReceiver) {
    Stop();
    CollectThread();  // the current receiver never changes under a thread that uses the engine
    m_pReceiver = pReceiver;
    if (m_pReceiver) m_pReceiver->m_nMinSatellites = m_nMinSatellites;
}

void CGPSEngine::InitReceivers() {
    for (CGPSReceiver* p : m_Receivers) p->SetProperties();
    m_bReceiversInitialized = true;
}

void CGPSEngine::SetMinSatRequierment(int nMin) {
    m_nMinSatellites = nMin < 3 ? 3 : nMin;
    if (m_pReceiver) m_pReceiver->m_nMinSatellites = m_nMinSatellites;
}

int CGPSEngine::GetMinSatRequierment() { return m_nMinSatellites; }

CString CGPSEngine::GetLastErrorString() const {
    const int code = m_eLastError;
    const UINT id = (code >= 0 && code <= GPS_ENGINE_THREAD_FAILED) ? IDS_ENGINE_NO_ERROR + static_cast<UINT>(code)
                                                                    : IDS_ENGINE_UNKNOWN_ERROR;
    return LoadResString(id);
}

// ---- CGPSEngine: lifecycle

bool CGPSEngine::IsActive() {
    return m_hStopEvent != nullptr && m_pRun && !m_pRun->stopRequested.load() && !m_pRun->ended.load();
}

bool CGPSEngine::Start() {
    Stop();
    CollectThread();
    if (!m_bReceiversInitialized) InitReceivers();
    if (!m_pReceiver) {
        m_eLastError = GPS_ENGINE_NO_RECEIVER;
        return false;
    }
    if (!m_bEmulation && !m_pReceiver->Initialize()) {
        m_eLastError = GPS_ENGINE_INIT_FAILED;
        return false;
    }
    m_bDeviceLost = false;
    try {
        m_pRun = std::make_shared<ReaderRun>();
        m_hStopEvent = &m_pRun->stop;
        m_pThread = new std::thread(ThreadProc, m_pRun, this);
    } catch (...) {
        m_pReceiver->Suspend();
        m_hStopEvent = nullptr;
        m_pRun.reset();
        m_eLastError = GPS_ENGINE_THREAD_FAILED;
        return false;
    }
    m_eLastError = GPS_ENGINE_NO_ERROR;
    return true;
}

void CGPSEngine::Stop() {
    if (std::this_thread::get_id() == m_readerThreadId.load()) {
        // The reader thread stops its own engine (the emulation file cannot be opened): raise the
        // signal and suspend; the host's next Stop, Start or the destructor collects the thread.
        if (m_pRun) m_pRun->stopRequested = true;
        if (m_pReceiver) m_pReceiver->Suspend();
        return;
    }
    if (m_hStopEvent && m_pRun) {
        m_pRun->stopRequested = true;
        m_pRun->stop.Set();
        std::this_thread::yield();
        // The thread answers on its own event as it ends; give up waiting after a second (it
        // may be held in a message box) and collect it later.
        if (platform::WaitForSingleObject(&m_pRun->stopped, kStopWaitMs) == platform::WAIT_OBJECT_0) {
            CollectThread();
        }
        m_hStopEvent = nullptr;  // the run's events live as long as the thread or the engine needs them
    }
    if (m_pReceiver) m_pReceiver->Suspend();
}

void CGPSEngine::CollectThread() {
    if (!m_pThread) return;
    m_pRun->stopRequested = true;
    m_pRun->stop.Set();
    bool bFinished = false;
    {
        // Held by the thread only while it runs library code, which the stop signal ends
        // promptly; a thread in host code has let go of it.
        std::lock_guard lock(m_pRun->engineMutex);
        bFinished = m_pRun->finished;
        if (!bFinished) m_pRun->abandoned = true;
    }
    if (bFinished) {
        m_pThread->join();
    } else {
        m_pThread->detach();  // it keeps its ReaderRun and ends when the host lets it return
    }
    delete m_pThread;
    m_pThread = nullptr;
    m_pRun.reset();
    m_hStopEvent = nullptr;
    m_readerThreadId = std::thread::id();
}

// ---- The reader thread

void CGPSEngine::ThreadProc(std::shared_ptr<ReaderRun> run, CGPSEngine* pEngine) {
    run->held.lock();
    t_pRun = run.get();
    HostCallBracket* const pPrevious = SetHostCallBracket(run.get());
    bool bAlive = true;
    try {
        pEngine->m_readerThreadId = std::this_thread::get_id();
        bAlive = pEngine->m_bEmulation ? pEngine->RunEmulation(*run) : pEngine->RunLive(*run);
    } catch (const std::exception& e) {
        // Nothing may leave the thread: report why reading ended, as the engine reports a file
        // it cannot open, and end as if stopped.
        bAlive = !run->abandoned;
        if (bAlive) {
            AfxMessageBox(CString(L"The GPS thread stopped: ") + CString::FromBytes(e.what()));
            bAlive = !run->abandoned;
        }
    } catch (...) {
        bAlive = !run->abandoned;
    }
    if (bAlive) pEngine->m_Buffer.Clear();  // a new run starts with an empty buffer
    run->ended = true;
    run->finished = true;
    SetHostCallBracket(pPrevious);
    t_pRun = nullptr;
    run->stopped.Set();
    run->held.unlock();
}

bool CGPSEngine::StopRequested(ReaderRun& run, DWORD waitMs) {
    if (run.stopRequested) return true;
    const DWORD r = platform::WaitForSingleObject(&run.stop, waitMs);
    return r != platform::WAIT_TIMEOUT || run.stopRequested;
}

bool CGPSEngine::RunEmulation(ReaderRun& run) {
    CString path = m_strEmulationFile;
    if (!IsExistingFile(path)) path = m_strEmulationDir + kDefaultEmulationFile;

    CTextFile file(false, false);
    if (!file.Open(path, CTextFile::modeRead | CTextFile::typeText, nullptr)) {
        AfxMessageBox(CString::Formatted(LoadResString(IDS_EMULATION_OPEN_FAILED).GetString(), path));
        if (run.abandoned) return false;
        Stop();
        return true;
    }

    while (!StopRequested(run, kLinePaceMs)) {
        CString line;
        if (!file.ReadString(line)) {
            file.SeekToBegin();  // endless replay; an empty file ends it
            if (!file.ReadString(line)) break;
        }
        ReplayLine(line);
        if (run.abandoned) return false;
    }
    return true;
}

bool CGPSEngine::ReplayLine(CString line) {
    if (line.Find(kPauseMarker) == 0) {
        CParser parser(line, L",*");
        CString marker;
        if (!parser.GetNextString(marker)) return false;
        AfxMessageBox(parser.GetRemainingBuffer());
        if (GivenUp()) return false;
        // The line itself goes on without a line end: it matters to framing only if it holds a
        // '$' or '#'.
    } else {
        line += L"\r\n";
    }
    CBinBuffer bytes(line);
    return UpdateGPSBuffer(bytes);
}

bool CGPSEngine::ReplayLine(std::string_view line) {
    // A pause marker is rare and shows a box: the characters' way handles it.
    if (line.starts_with(kPauseMarkerBytes)) return ReplayLine(CString::FromBytes(line));
    m_ReplayBytes.Clear();
    m_ReplayBytes.Append(line.data(), static_cast<int>(line.size()));
    m_ReplayBytes.Append("\r\n", 2);
    return UpdateGPSBuffer(m_ReplayBytes);
}

bool CGPSEngine::WaitForDevice(ReaderRun& run, CGPSReceiver* pReceiver) {
    // The port reported a hang-up or a read error: the device is gone until it opens again.
    m_bDeviceLost = true;
    PostToMainWindow(WM_GPS_DEVICE, GPS_DEVICE_LOST, 0, nullptr);
    CGPSReceiver::m_Port.Close();
    while (!StopRequested(run, kReopenIntervalMs)) {
        if (pReceiver->OpenPort()) {
            m_bDeviceLost = false;
            PostToMainWindow(WM_GPS_DEVICE, GPS_DEVICE_BACK, 0, nullptr);
            return true;
        }
    }
    return false;
}

bool CGPSEngine::RunLive(ReaderRun& run) {
    CGPSReceiver* const pReceiver = m_pReceiver;
    platform::Clock& clock = platform::GetClock();
    std::uint64_t lastSuccess = clock.MonotonicMs();
    std::unique_ptr<BYTE[]> buffer(new BYTE[kBufferLimit + 2]);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log(nullptr, std::fclose);

    while (true) {
        if (clock.MonotonicMs() - lastSuccess >= kSpeedResetMs) {
            pReceiver->ResetSpeedEngine();
            lastSuccess = clock.MonotonicMs();
        }
        // The first byte ends a wait of up to a second; the stop signal ends it too.
        const int n =
            CGPSReceiver::m_Port.ReadBurst(buffer.get(), kBufferLimit + 1, kFirstByteWaitMs, kBurstWaitMs, &run.stop);
        if (n < 0 && !run.stopRequested && CGPSReceiver::m_Port.HungUp()) {
            if (!WaitForDevice(run, pReceiver)) break;
            lastSuccess = clock.MonotonicMs();
            continue;
        }
        if (n <= 0) {
            if (!run.stopRequested) pReceiver->KeepAlive();
        } else {
            m_nBytesRead += static_cast<std::uint64_t>(n);
            const bool wantLog = m_bLogRawData;
            if (wantLog != (log != nullptr)) {
                if (wantLog) {
                    log.reset(std::fopen(m_strRawLogFile.ToBytes().c_str(), "wbe"));
                    if (!log) {
                        SetRawLogError(m_strRawLogFile.ToBytes() + ": " + std::strerror(errno));
                        AfxMessageBox(LoadResString(IDS_RAW_LOG_OPEN_FAILED));
                        if (run.abandoned) return false;
                        m_bLogRawData = false;
                    }
                } else {
                    log.reset();
                }
            }
            if (log) {
                // What was read is on disk even if the host dies next. A full disk or a failing
                // device ends the log (its name and the reason kept for the host); reading goes on.
                const bool written = std::fwrite(buffer.get(), 1, static_cast<std::size_t>(n), log.get()) ==
                                         static_cast<std::size_t>(n) &&
                                     std::fflush(log.get()) == 0;
                if (!written) {
                    SetRawLogError(m_strRawLogFile.ToBytes() + ": " + std::strerror(errno));
                    log.reset();
                    m_bLogRawData = false;
                }
            }
            CBinBuffer burst(reinterpret_cast<const char*>(buffer.get()), n);
            const bool bParsed = UpdateGPSBuffer(burst);
            if (run.abandoned) return false;
            if (bParsed) {
                lastSuccess = clock.MonotonicMs();
                m_bDataParsed = true;
            }
        }
        if (StopRequested(run, kCyclePauseMs)) break;
    }
    return true;
}

void CGPSEngine::SetRawLogError(const std::string& error) {
    std::lock_guard lock(m_rawLogErrorMutex);
    if (m_strRawLogError.empty()) m_strRawLogError = error;
}

std::string CGPSEngine::GetRawLogError() const {
    std::lock_guard lock(m_rawLogErrorMutex);
    return m_strRawLogError;
}

bool CGPSEngine::UpdateGPSBuffer(CBinBuffer& buffer) {
    m_Buffer += buffer;
    if (m_Buffer.GetLength() >= kBufferLimit) {
        ++m_nOverflowCount;
        m_Buffer.Clear();
        return false;
    }
    bool result = false;
    m_Buffer.GetCurrentMessage();
    while (m_Buffer.HasMessage()) {
        // One text serves every message; only a message that is posted moves into a string
        // of its own.
        CString& text = m_MessageText;
        m_Buffer.GetMessageInto(text);
        if (m_pReceiver) {
            if (m_bAttachRawData) {
                int length = 0;
                const char* bytes = m_Buffer.GetMessageBin(length);
                m_pReceiver->AttachRawData(bytes, length);
            }
            if (m_pReceiver->Parse(text)) result = true;
            // The host's callbacks ran as Parse let go of the shared lock; if meanwhile the
            // engine gave this thread up, nothing of it may be touched any more.
            if (GivenUp()) return false;
        }
        if (!m_ComBuffer.IsStopped()) {
            auto posted = std::make_unique<CString>(std::move(text));
            text = CString();
            m_ComBuffer.OnRawData(posted.get());
            PostRecordToMainWindow(WM_GPS_RAWSTRING, std::move(posted));
        }
        m_Buffer.Next();
    }
    m_Buffer.Resize();
    return result;
}

}  // namespace tolvik
