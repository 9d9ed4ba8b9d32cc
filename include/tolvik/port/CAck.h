// The acknowledgement wait: CAck waits for a receiver's acknowledgement of a command, measured by
// CPreciseTimer, while the calling thread keeps dispatching its messages.
//
// The acknowledgement arrives on the reader thread: publishing an epoch whose status says
// "$PASHR,ACK" was seen calls CAck::OnNewGPSData, which raises the shared flag m_bGotAck. The
// time limit is a CPreciseTimer whose worker thread sends WM_PRECISE_TIMER to the CAck window
// after each interval. Wait blocks between events (a message, the flag): it never spins.
#pragma once

#include <atomic>
#include <thread>

#include "tolvik/platform/Sync.h"
#include "tolvik/platform/Types.h"
#include "tolvik/platform/Window.h"

namespace tolvik {

class CGPSData;

inline constexpr UINT WM_PRECISE_TIMER = 0xA732;
inline constexpr const wchar_t* kPreciseTimerCheckerName = L"VEK Precise Timer Queue Checker";

// A timer with its own worker thread that sends WM_PRECISE_TIMER (wParam = timer id) to a window
// after each interval. Ids are 1, 2, 3 ... for the life of the process.
class CPreciseTimer {
public:
    CPreciseTimer();
    virtual ~CPreciseTimer();  // stops the timer and ends its worker
    CPreciseTimer(const CPreciseTimer&) = delete;
    CPreciseTimer& operator=(const CPreciseTimer&) = delete;

    // Starts ticking to pTarget every nIntervalMs. Returns the timer id; when already running,
    // the id and nothing changes; 0 for a null target or a non-positive interval.
    int Start(CWnd* pTarget, int nIntervalMs);
    void Stop();

    int GetId() const { return m_nTimerId; }
    bool IsRunning() const { return m_bRunning.load(); }

    // Milliseconds from the system tick count, carried across the 32-bit wrap of the tick.
    static DWORD GetPreciseTickCount();
    // The same arithmetic on a given tick and last value, for tests of the wrap.
    static DWORD PreciseTick(DWORD tick, DWORD& lastTick);
    // The registered "VEK Precise Timer Queue Checker" message.
    static UINT CheckerMessage();

private:
    void WorkerLoop();

    std::atomic<bool> m_bRunning{false};
    std::atomic<int> m_nIntervalMs{0};
    std::atomic<HWND> m_hTargetWnd{nullptr};
    platform::Event* m_hStartEvent;  // automatic reset; set by Start
    platform::Event* m_hStopEvent;   // manual reset; set by Stop
    platform::Event* m_hQuitEvent;   // manual reset; set by the destructor
    std::thread* m_pThread = nullptr;
    int m_nTimerId;
};

// A hidden dialog (template 129) that exists for the length of one acknowledgement wait.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate = 0, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the window on the calling thread from the template; false for an unknown template.
    bool Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    bool IsVisible() const { return m_bVisible; }

protected:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_bVisible = false;
};

class CAck : public CDialog {
public:
    explicit CAck(CWnd* pParent = nullptr);  // clears m_bGotAck
    ~CAck() override;

    // True when an acknowledgement came (also one that came before the wait started), false
    // when nTimeout ms passed first. Dispatches the calling thread's messages meanwhile.
    bool Wait(int nTimeout);

    // Called with every epoch about to be published: raises m_bGotAck when the epoch's status
    // carries an acknowledgement.
    static void OnNewGPSData(const CGPSData* pData);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    static std::atomic<bool> m_bGotAck;

protected:
    LRESULT OnPreciseTimer(WPARAM wParam, LPARAM lParam);

    CPreciseTimer m_Timer;
    bool m_bTimedOut = false;

private:
    static platform::Event& AckEvent();  // wakes a waiting Wait when m_bGotAck is raised
};

}  // namespace tolvik
