// STUB: replaced by the precise timer and the acknowledgement wait.
#include "tolvik/port/CAck.h"
#include "tolvik/records/GPSData.h"
namespace tolvik {
std::atomic<bool> CAck::m_bGotAck{false};
CPreciseTimer::CPreciseTimer() : m_hStartEvent(nullptr), m_hStopEvent(nullptr), m_hQuitEvent(nullptr), m_nTimerId(0) {}
CPreciseTimer::~CPreciseTimer() {}
int CPreciseTimer::Start(CWnd*, int) { return 0; }
void CPreciseTimer::Stop() {}
DWORD CPreciseTimer::GetPreciseTickCount() { return 0; }
DWORD CPreciseTimer::PreciseTick(DWORD t, DWORD&) { return t; }
UINT CPreciseTimer::CheckerMessage() { return 0; }
void CPreciseTimer::WorkerLoop() {}
CDialog::CDialog(UINT id, CWnd* p) : m_nIDTemplate(id), m_pParentWnd(p) {}
CDialog::~CDialog() {}
bool CDialog::Create(UINT, CWnd*) { return false; }
CAck::CAck(CWnd* p) : CDialog(129, p) { m_bGotAck = false; }
CAck::~CAck() {}
bool CAck::Wait(int) { return m_bGotAck.load(); }
void CAck::OnNewGPSData(const CGPSData* p) { if (p && p->m_Status.m_bAckReceived) m_bGotAck = true; }
LRESULT CAck::WindowProc(UINT, WPARAM, LPARAM) { return 0; }
LRESULT CAck::OnPreciseTimer(WPARAM, LPARAM) { m_bTimedOut = true; return 0; }
platform::Event& CAck::AckEvent() { static platform::Event e(false, false); return e; }
}  // namespace tolvik
