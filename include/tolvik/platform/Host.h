// The host application seam: everything the library asks of the program that hosts it.
//
// The library reaches its host only through the current CWinApp: the main window that receives
// posted records, the settings store that keeps each receiver's baud rate, the wait cursor shown
// during command sequences, message boxes, and the path of the running executable (beside which
// the fix-status map file lives). A process installs its host with SetHostApp; without one, a
// quiet default host applies (settings in memory, message boxes to standard error, no main
// window: posted records are freed at once).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "tolvik/platform/CString.h"
#include "tolvik/platform/Profile.h"
#include "tolvik/platform/Window.h"

namespace tolvik {

// Message-box styles and answers (only the plain informational box is used).
inline constexpr UINT MB_OK = 0x0000;
inline constexpr UINT MB_ICONINFORMATION = 0x0040;
inline constexpr UINT MB_ICONEXCLAMATION = 0x0030;
inline constexpr int IDOK = 1;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The window that receives the library's posted messages; may be null. Read by the reader
    // thread at the moment of posting, so it is kept atomically.
    CWnd* GetMainWnd() const { return m_pMainWnd.load(std::memory_order_acquire); }
    void SetMainWnd(CWnd* pWnd) { m_pMainWnd.store(pWnd, std::memory_order_release); }

    // Settings: integers by section and entry. The default store is a CProfile kept in memory
    // or, once SetProfilePath is called, in an INI file written atomically on every change.
    virtual int GetProfileInt(const CString& section, const CString& entry, int nDefault);
    virtual bool WriteProfileInt(const CString& section, const CString& entry, int nValue);
    bool SetProfilePath(const std::string& path);

    virtual void BeginWaitCursor();
    virtual void EndWaitCursor();
    int WaitCursorDepth() const { return m_nWaitCursor.load(); }

    // Shows a plain box with one button and returns when it is closed. The default writes the
    // text to standard error and returns IDOK at once.
    virtual int DoMessageBox(const CString& text, UINT nType);

    // Full path of the running executable.
    virtual CString GetModuleFileName() const;

    // Called before every transfer on the serial port, so that a host on a battery-powered
    // device can keep it from suspending while a receiver is in use. Does nothing by default.
    virtual void KeepSystemAwake() {}

private:
    std::atomic<CWnd*> m_pMainWnd{nullptr};
    std::atomic<int> m_nWaitCursor{0};
    std::mutex m_profileMutex;
    CProfile m_profile;
};

// The installed host, or the default host when none is installed. Never null.
CWinApp* AfxGetApp();
// Installs a host (nullptr restores the default). The host must outlive its installation.
void SetHostApp(CWinApp* pApp);

// ---- The lock rule: host code never runs under a lock a host thread can take.
//
// A GUI host marshals what the library tells it to its UI thread and waits there (SendMessage);
// if that UI thread is at the same moment in a library call that takes a lock the calling thread
// holds, both wait for ever. So the library's locks that host-thread operations take are
// HostSafeMutex: while a thread holds one, every call into host code it makes (notification
// callbacks, message boxes, posts, the host's keep-awake hook) waits in a queue of that thread
// and runs, in order, right after the thread releases its outermost hold.
class HostSafeMutex {
public:
    void lock();
    bool try_lock();
    void unlock();

private:
    std::recursive_mutex m_mutex;
};

// True while the calling thread holds a HostSafeMutex.
bool HostCallsDeferred();

// Runs host code now, or queues it until the calling thread holds no HostSafeMutex. When the
// call is dropped instead (its thread was abandoned in between), discard runs in its place, so
// that a payload the call would have handed over is freed.
void CallHost(std::function<void()> call, std::function<void()> discard = {});

// A thread whose owner may stop waiting for it while it is inside host code (the engine's reader
// thread) installs a bracket: Leave runs before every call into host code that may block, Enter
// after it. Enter returns false when the thread's owner has given it up; the thread then drops
// the host calls still queued and must touch nothing of its owner any more.
class HostCallBracket {
public:
    virtual ~HostCallBracket() = default;
    virtual void Leave() = 0;
    virtual bool Enter() = 0;
};
// Installs the calling thread's bracket (null removes it); returns the previous one.
HostCallBracket* SetHostCallBracket(HostCallBracket* pBracket);

// Shows the box through the host. Under a HostSafeMutex the box is queued and IDOK returned.
int AfxMessageBox(const CString& text, UINT nType = MB_OK);

// Tells the host the serial port is in use (see CWinApp::KeepSystemAwake).
void SystemIdleTimerReset();

// Posts a message with an owned payload to the host's main window. When there is no main window,
// or the message cannot be queued, the deleter frees the payload and the result is false. Under
// a HostSafeMutex the post is queued with the other host calls (so that it keeps its order
// behind a callback raised before it) and the result is true.
bool PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter deleter);

// Posts a heap record to the main window; the receiving window owns it and deletes it as T.
template <typename T>
bool PostRecordToMainWindow(UINT message, std::unique_ptr<T> record) {
    T* raw = record.release();
    return PostToMainWindow(message, reinterpret_cast<WPARAM>(raw), 0,
                            [](WPARAM w, LPARAM) { delete reinterpret_cast<T*>(w); });
}

}  // namespace tolvik
