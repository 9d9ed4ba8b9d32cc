#include "tolvik/platform/Host.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <deque>
#include <utility>

namespace tolvik {

namespace {

CWinApp& DefaultApp() {
    static auto* app = new CWinApp;  // never destroyed: threads may still report at exit
    return *app;
}

std::atomic<CWinApp*> g_app{nullptr};

struct QueuedHostCall {
    std::function<void()> call;
    std::function<void()> discard;
};

// Per thread: how deep it holds HostSafeMutex locks, the host calls waiting for it to let go,
// and the bracket of a thread that may be given up while in host code.
thread_local int t_nHostSafeDepth = 0;
thread_local std::deque<QueuedHostCall> t_deferred;
thread_local bool t_bDraining = false;  // a host call that takes the lock again does not drain
thread_local HostCallBracket* t_pBracket = nullptr;

// Runs one call into host code inside the thread's bracket; false when the thread was given up.
bool RunBracketed(const std::function<void()>& call) {
    HostCallBracket* const pBracket = t_pBracket;
    if (!pBracket) {
        call();
        return true;
    }
    pBracket->Leave();
    try {
        call();
    } catch (...) {
        pBracket->Enter();
        throw;
    }
    return pBracket->Enter();
}

// Runs what the thread queued while it held the lock. A host call that throws must not take the
// rest of the queue (and their payloads) with it, nor leave through a lock's release.
void RunDeferred() {
    if (t_bDraining) return;
    t_bDraining = true;
    bool bAlive = true;
    while (!t_deferred.empty()) {
        QueuedHostCall next = std::move(t_deferred.front());
        t_deferred.pop_front();
        if (!bAlive) {
            if (next.discard) next.discard();
            continue;
        }
        try {
            bAlive = RunBracketed(next.call);
        } catch (...) {
            std::fputs("tolvik: a host call raised an exception; ignored\n", stderr);
        }
    }
    t_bDraining = false;
}

}  // namespace

void HostSafeMutex::lock() {
    m_mutex.lock();
    ++t_nHostSafeDepth;
}

bool HostSafeMutex::try_lock() {
    if (!m_mutex.try_lock()) return false;
    ++t_nHostSafeDepth;
    return true;
}

void HostSafeMutex::unlock() {
    --t_nHostSafeDepth;
    m_mutex.unlock();
    if (t_nHostSafeDepth == 0) RunDeferred();
}

bool HostCallsDeferred() { return t_nHostSafeDepth > 0; }

void CallHost(std::function<void()> call, std::function<void()> discard) {
    if (HostCallsDeferred()) {
        t_deferred.push_back({std::move(call), std::move(discard)});
        return;
    }
    RunBracketed(call);
}

HostCallBracket* SetHostCallBracket(HostCallBracket* pBracket) { return std::exchange(t_pBracket, pBracket); }

CWinApp::CWinApp() = default;
CWinApp::~CWinApp() = default;

int CWinApp::GetProfileInt(const CString& section, const CString& entry, int nDefault) {
    std::lock_guard lock(m_profileMutex);
    return m_profile.GetInt(section, entry, nDefault);
}

bool CWinApp::WriteProfileInt(const CString& section, const CString& entry, int nValue) {
    std::lock_guard lock(m_profileMutex);
    return m_profile.SetInt(section, entry, nValue);
}

bool CWinApp::SetProfilePath(const std::string& path) {
    std::lock_guard lock(m_profileMutex);
    return m_profile.Open(path);
}

void CWinApp::BeginWaitCursor() { ++m_nWaitCursor; }

void CWinApp::EndWaitCursor() {
    int n = m_nWaitCursor.load();
    while (n > 0 && !m_nWaitCursor.compare_exchange_weak(n, n - 1)) {}
}

int CWinApp::DoMessageBox(const CString& text, UINT) {
    std::fprintf(stderr, "tolvik: %s\n", text.ToBytes().c_str());
    return IDOK;
}

CString CWinApp::GetModuleFileName() const {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? CString::FromBytes(path, static_cast<int>(n)) : CString();
}

CWinApp* AfxGetApp() {
    CWinApp* app = g_app.load(std::memory_order_acquire);
    return app ? app : &DefaultApp();
}

void SetHostApp(CWinApp* pApp) { g_app.store(pApp, std::memory_order_release); }

int AfxMessageBox(const CString& text, UINT nType) {
    if (HostCallsDeferred()) {
        CallHost([text, nType] { AfxGetApp()->DoMessageBox(text, nType); });
        return IDOK;
    }
    int result = IDOK;
    RunBracketed([&] { result = AfxGetApp()->DoMessageBox(text, nType); });
    return result;
}

void SystemIdleTimerReset() {
    if (HostCallsDeferred()) {
        CallHost([] { AfxGetApp()->KeepSystemAwake(); });
        return;
    }
    AfxGetApp()->KeepSystemAwake();
}

bool PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter deleter) {
    if (HostCallsDeferred()) {
        CallHost([=] { PostToMainWindow(message, wParam, lParam, deleter); },
                 [=] {
                     if (deleter) deleter(wParam, lParam);
                 });
        return true;
    }
    CWnd* pMain = AfxGetApp()->GetMainWnd();
    const HWND hWnd = pMain ? pMain->GetSafeHwnd() : nullptr;
    if (!hWnd) {
        if (deleter) deleter(wParam, lParam);
        return false;
    }
    return PostMessage(hWnd, message, wParam, lParam, deleter);
}

}  // namespace tolvik
