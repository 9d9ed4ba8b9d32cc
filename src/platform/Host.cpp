#include "tolvik/platform/Host.h"

#include <unistd.h>

#include <climits>
#include <cstdio>

namespace tolvik {

namespace {

CWinApp& DefaultApp() {
    static auto* app = new CWinApp;  // never destroyed: threads may still report at exit
    return *app;
}

std::atomic<CWinApp*> g_app{nullptr};

}  // namespace

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
    while (n > 0 && !m_nWaitCursor.compare_exchange_weak(n, n - 1)) {
    }
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

int AfxMessageBox(const CString& text, UINT nType) { return AfxGetApp()->DoMessageBox(text, nType); }

bool PostToMainWindow(UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter deleter) {
    CWnd* pMain = AfxGetApp()->GetMainWnd();
    const HWND hWnd = pMain ? pMain->GetSafeHwnd() : nullptr;
    if (!hWnd) {
        if (deleter) deleter(wParam, lParam);
        return false;
    }
    return PostMessage(hWnd, message, wParam, lParam, deleter);
}

}  // namespace tolvik
