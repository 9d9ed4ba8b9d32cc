// CGPSEngine: catalogue, lifecycle, the reader thread and the emulation replay.
#include "tolvik/engine/CGPSEngine.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "engine/Catalogue.h"
#include "tolvik/framing/CParser.h"
#include "tolvik/framing/CTextFile.h"
#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"
#include "tolvik/resources/Resources.h"

namespace tolvik {

namespace {

bool IsExistingFile(const CString& path) {
    struct stat st{};
    return !path.IsEmpty() && stat(path.ToBytes().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

constexpr const wchar_t* kDefaultEmulationFile = L"Emulation.log";
constexpr const wchar_t* kPauseMarker = L"VEK PAUSE";

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
    JoinFinishedThread();
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
    JoinFinishedThread();  // the current receiver never changes under a running thread
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

bool CGPSEngine::IsActive() { return m_hStopEvent != nullptr && !m_bStopRequested.load(); }

bool CGPSEngine::Start() {
    Stop();
    JoinFinishedThread();
    if (!m_bReceiversInitialized) InitReceivers();
    if (!m_pReceiver) {
        m_eLastError = GPS_ENGINE_NO_RECEIVER;
        return false;
    }
    if (!m_bEmulation && !m_pReceiver->Initialize()) {
        m_eLastError = GPS_ENGINE_INIT_FAILED;
        return false;
    }
    m_hStopEvent = platform::CreateEvent(false, false);
    m_hThreadStop = m_hStopEvent;
    m_hStoppedEvent = platform::CreateEvent(true, false);
    m_bStopRequested = false;
    try {
        m_pThread = new std::thread(ThreadProc, this);
    } catch (...) {
        m_pReceiver->Suspend();
        platform::CloseHandle(m_hStopEvent);
        platform::CloseHandle(m_hStoppedEvent);
        m_hStopEvent = m_hThreadStop = m_hStoppedEvent = nullptr;
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
        m_bStopRequested = true;
        if (m_pReceiver) m_pReceiver->Suspend();
        return;
    }
    if (m_hStopEvent) {
        m_bStopRequested = true;
        platform::SetEvent(m_hStopEvent);
        std::this_thread::yield();
        // The thread answers on its own event as it ends; give up waiting after a second (it
        // may be held in a message box) and collect it later.
        if (platform::WaitForSingleObject(m_hStoppedEvent, kStopWaitMs) == platform::WAIT_OBJECT_0) {
            JoinFinishedThread();
        }
        m_hStopEvent = nullptr;  // the events live until the thread is collected
    }
    if (m_pReceiver) m_pReceiver->Suspend();
}

void CGPSEngine::JoinFinishedThread() {
    if (!m_pThread) return;
    m_bStopRequested = true;
    if (m_hThreadStop) platform::SetEvent(m_hThreadStop);
    m_pThread->join();
    delete m_pThread;
    m_pThread = nullptr;
    m_readerThreadId = std::thread::id();
    platform::CloseHandle(m_hThreadStop);
    platform::CloseHandle(m_hStoppedEvent);
    m_hThreadStop = nullptr;
    m_hStoppedEvent = nullptr;
}

// ---- The reader thread

void CGPSEngine::ThreadProc(CGPSEngine* pEngine) {
    pEngine->m_readerThreadId = std::this_thread::get_id();
    if (pEngine->m_bEmulation) {
        pEngine->RunEmulation();
    } else {
        pEngine->RunLive();
    }
    pEngine->m_Buffer.Clear();  // a new run starts with an empty buffer
    platform::SetEvent(pEngine->m_hStoppedEvent);
}

bool CGPSEngine::StopRequested(DWORD waitMs) {
    if (m_bStopRequested) return true;
    const DWORD r = platform::WaitForSingleObject(m_hThreadStop, waitMs);
    return r != platform::WAIT_TIMEOUT || m_bStopRequested;
}

void CGPSEngine::RunEmulation() {
    CString path = m_strEmulationFile;
    if (!IsExistingFile(path)) path = m_strEmulationDir + kDefaultEmulationFile;

    CTextFile file(false, false);
    if (!file.Open(path, CTextFile::modeRead | CTextFile::typeText, nullptr)) {
        AfxMessageBox(CString::Formatted(LoadResString(IDS_EMULATION_OPEN_FAILED).GetString(), path));
        Stop();
        return;
    }

    while (!StopRequested(kLinePaceMs)) {
        CString line;
        if (!file.ReadString(line)) {
            file.SeekToBegin();  // endless replay; an empty file ends it
            if (!file.ReadString(line)) break;
        }
        ReplayLine(line);
    }
}

bool CGPSEngine::ReplayLine(CString line) {
    if (line.Find(kPauseMarker) == 0) {
        CParser parser(line, L",*");
        CString marker;
        if (!parser.GetNextString(marker)) return false;
        AfxMessageBox(parser.GetRemainingBuffer());
        // The line itself goes on without a line end: it matters to framing only if it holds a
        // '$' or '#'.
    } else {
        line += L"\r\n";
    }
    CBinBuffer bytes(line);
    return UpdateGPSBuffer(bytes);
}

void CGPSEngine::RunLive() {
    CGPSReceiver* const pReceiver = m_pReceiver;
    platform::Clock& clock = platform::GetClock();
    std::uint64_t lastSuccess = clock.MonotonicMs();
    std::unique_ptr<BYTE[]> buffer(new BYTE[kBufferLimit + 2]);
    std::FILE* log = nullptr;

    while (true) {
        if (clock.MonotonicMs() - lastSuccess >= kSpeedResetMs) {
            pReceiver->ResetSpeedEngine();
            lastSuccess = clock.MonotonicMs();
        }
        // The first byte ends a wait of up to a second; the stop signal ends it too.
        const int n = CGPSReceiver::m_Port.ReadBurst(buffer.get(), kBufferLimit + 1, kFirstByteWaitMs,
                                                     kBurstWaitMs, m_hThreadStop);
        if (n <= 0) {
            if (!m_bStopRequested) pReceiver->KeepAlive();
        } else {
            m_nBytesRead += static_cast<std::uint64_t>(n);
            const bool wantLog = m_bLogRawData;
            if (wantLog != (log != nullptr)) {
                if (wantLog) {
                    log = std::fopen(m_strRawLogFile.ToBytes().c_str(), "wbe");
                    if (!log) {
                        AfxMessageBox(LoadResString(IDS_RAW_LOG_OPEN_FAILED));
                        m_bLogRawData = false;
                    }
                } else {
                    std::fclose(log);
                    log = nullptr;
                }
            }
            if (log) {
                std::fwrite(buffer.get(), 1, static_cast<std::size_t>(n), log);
                std::fflush(log);  // what was read is on disk even if the host dies next
            }
            CBinBuffer burst(reinterpret_cast<const char*>(buffer.get()), n);
            if (UpdateGPSBuffer(burst)) {
                lastSuccess = clock.MonotonicMs();
                m_bDataParsed = true;
            }
        }
        if (StopRequested(kCyclePauseMs)) break;
    }
    if (log) std::fclose(log);
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
        std::unique_ptr<CString> text(m_Buffer.GetMessageAsPtr());
        if (m_pReceiver) {
            if (m_bAttachRawData) {
                int length = 0;
                const char* bytes = m_Buffer.GetMessageBin(length);
                m_pReceiver->AttachRawData(bytes, length);
            }
            if (m_pReceiver->Parse(*text)) result = true;
        }
        if (!m_ComBuffer.IsStopped()) {
            m_ComBuffer.OnRawData(text.get());
            PostRecordToMainWindow(WM_GPS_RAWSTRING, std::move(text));
        }
        m_Buffer.Next();
    }
    m_Buffer.Resize();
    return result;
}

}  // namespace tolvik
