// The precise timer and the acknowledgement wait.
#include "tolvik/port/CAck.h"

#include "tolvik/platform/Clock.h"
#include "tolvik/platform/Host.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/resources/Resources.h"

namespace tolvik {

namespace {

std::atomic<int> s_nLastTimerId{0};
std::atomic<DWORD> s_nLastTick{0};
// Registered when the library loads, before any timer exists.
const UINT s_nCheckerMessage = RegisterWindowMessage(kPreciseTimerCheckerName);

constexpr DWORD kHalfRange = 0x7FFFFFFFu;
constexpr DWORD kWrapStep = 0x80000001u;
constexpr DWORD kOneHourMs = 3600000u;

}  // namespace

// ---- CPreciseTimer

CPreciseTimer::CPreciseTimer()
    : m_hStartEvent(platform::CreateEvent(false, false)),
      m_hStopEvent(platform::CreateEvent(true, false)),
      m_hQuitEvent(platform::CreateEvent(true, false)),
      m_nTimerId(++s_nLastTimerId) {}

CPreciseTimer::~CPreciseTimer() {
    Stop();
    platform::SetEvent(m_hQuitEvent);
    // The worker reads this object's members, so it must be gone before they are: it leaves at
    // once on the quit event (a tick it is sending is released when its window is destroyed).
    if (m_pThread) {
        m_pThread->join();
        delete m_pThread;
    }
    platform::CloseHandle(m_hStartEvent);
    platform::CloseHandle(m_hStopEvent);
    platform::CloseHandle(m_hQuitEvent);
}

int CPreciseTimer::Start(CWnd* pTarget, int nIntervalMs) {
    if (m_bRunning) return m_nTimerId;
    if (!pTarget || nIntervalMs <= 0) return 0;
    m_nIntervalMs = nIntervalMs;
    m_hTargetWnd = pTarget->GetSafeHwnd();
    if (!m_pThread) m_pThread = new std::thread([this] { WorkerLoop(); });
    m_bRunning = true;
    platform::ResetEvent(m_hStopEvent);
    platform::SetEvent(m_hStartEvent);
    return m_nTimerId;
}

void CPreciseTimer::Stop() {
    if (!m_hStopEvent || !m_bRunning) return;
    platform::ResetEvent(m_hStartEvent);
    platform::SetEvent(m_hStopEvent);
    m_bRunning = false;
}

void CPreciseTimer::WorkerLoop() {
    platform::Event* const startEvent = m_hStartEvent;
    platform::Event* const stopEvent = m_hStopEvent;
    platform::Event* const quitEvent = m_hQuitEvent;
    int elapsed = 0;  // time the window took to take the previous tick

    while (true) {
        // Idle until started (or told to quit).
        if (platform::WaitForMultipleObjects({startEvent, quitEvent}, INFINITE) != platform::WAIT_OBJECT_0) return;
        const int interval = m_nIntervalMs;
        const HWND target = m_hTargetWnd;
        const int id = m_nTimerId;

        while (true) {
            const int wait = std::max(interval - elapsed, 1);
            const DWORD r = platform::WaitForMultipleObjects({stopEvent, quitEvent}, static_cast<DWORD>(wait));
            if (r == platform::WAIT_OBJECT_0) break;  // stopped: wait for the next Start
            if (r != platform::WAIT_TIMEOUT) return;  // quit
            if (!IsWindow(target)) continue;          // nobody to tell; keep waiting until stopped
            const DWORD t0 = GetPreciseTickCount();
            // The checker comes back only once the window's thread is pumping, so the tick is not
            // sent into a thread that is busy elsewhere.
            SendMessage(target, s_nCheckerMessage, 0, 0);
            if (!stopEvent->IsSet() && !quitEvent->IsSet()) {
                SendMessage(target, WM_PRECISE_TIMER, static_cast<WPARAM>(id), 0);
                elapsed = static_cast<int>(GetPreciseTickCount() - t0);
                if (elapsed > interval) platform::Sleep(10);
            }
        }
    }
}

DWORD CPreciseTimer::PreciseTick(DWORD tick, DWORD& lastTick) {
    const DWORD last = lastTick;
    if ((last > kHalfRange || tick > kHalfRange) && static_cast<DWORD>(tick - last) > kOneHourMs) tick += kWrapStep;
    lastTick = tick;
    if (tick < last && static_cast<DWORD>(tick - last - kWrapStep) < kOneHourMs) return tick + kHalfRange;
    return tick;
}

DWORD CPreciseTimer::GetPreciseTickCount() {
    DWORD last = s_nLastTick.load();
    const DWORD result = PreciseTick(platform::GetTickCount(), last);
    s_nLastTick.store(last);
    return result;
}

UINT CPreciseTimer::CheckerMessage() { return s_nCheckerMessage; }

// ---- CDialog

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

bool CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    const DialogTemplate* tmpl = FindDialogTemplate(nIDTemplate);
    if (!tmpl) return false;
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    if (!CreateOnThisThread()) return false;
    m_bVisible = tmpl->visible;  // the template is hidden: the user sees only the wait cursor
    return true;
}

// ---- CAck

std::atomic<bool> CAck::m_bGotAck{false};

platform::Event& CAck::AckEvent() {
    static auto* event = new platform::Event(false, false);  // lives as long as the module
    return *event;
}

CAck::CAck(CWnd* pParent) : CDialog(IDD_ACK, pParent) {
    m_bGotAck = false;
    AckEvent().Reset();
}

CAck::~CAck() {
    // Release a tick the timer's worker may be sending before the timer waits for the worker.
    DestroyWindow();
}

void CAck::OnNewGPSData(const CGPSData* pData) {
    if (!pData || !pData->m_Status.m_bAckReceived) return;
    m_bGotAck = true;
    AckEvent().Set();
}

bool CAck::Wait(int nTimeout) {
    CWinApp* app = AfxGetApp();
    app->BeginWaitCursor();
    m_Timer.Start(this, nTimeout);
    const platform::Event* events[] = {&AckEvent()};
    while (true) {
        // The acknowledgement wins when both have happened.
        if (m_bGotAck) {
            app->EndWaitCursor();
            return true;
        }
        if (m_bTimedOut) {
            app->EndWaitCursor();
            return false;
        }
        // Sleep until the flag is raised or a message (the timer's tick among them) arrives.
        MsgWaitForMultipleObjects(events, 1, INFINITE);
        PumpWaitingMessages();
    }
}

LRESULT CAck::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PRECISE_TIMER) return OnPreciseTimer(wParam, lParam);
    return 0;
}

LRESULT CAck::OnPreciseTimer(WPARAM, LPARAM) {
    m_bTimedOut = true;
    return 0;
}

}  // namespace tolvik
