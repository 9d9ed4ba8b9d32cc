// STUB: replaced by the engine.
#include "tolvik/engine/CGPSEngine.h"
namespace tolvik {
CComBuffer::CComBuffer(const CComBuffer&) {}
CComBuffer& CComBuffer::operator=(const CComBuffer&) { return *this; }
void CComBuffer::OnRawData(CString*) {}
CString CComBuffer::GetData() const { return {}; }
void CComBuffer::ClearData() {}
CGPSEngine::CGPSEngine() {}
CGPSEngine::~CGPSEngine() {}
bool CGPSEngine::AddReceiver(CGPSReceiver*) { return false; }
CGPSReceiver* CGPSEngine::FindReceiver(CString) { return nullptr; }
void CGPSEngine::SetReceiver(CGPSReceiver* p) { m_pReceiver = p; }
void CGPSEngine::InitReceivers() {}
void CGPSEngine::SetMinSatRequierment(int) {}
int CGPSEngine::GetMinSatRequierment() { return m_nMinSatellites; }
bool CGPSEngine::Start() { return false; }
void CGPSEngine::Stop() {}
bool CGPSEngine::IsActive() { return false; }
CString CGPSEngine::GetLastErrorString() const { return {}; }
bool CGPSEngine::UpdateGPSBuffer(CBinBuffer&) { return false; }
void CGPSEngine::ThreadProc(CGPSEngine*) {}
void CGPSEngine::RunEmulation() {}
void CGPSEngine::RunLive() {}
void CGPSEngine::JoinFinishedThread() {}
}  // namespace tolvik
