// STUB: replaced by the VTG handler and the speed estimator.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::ProcessVTG(CString&) { return false; }
CSpeedEngine::CSpeedEngine() {}
CSpeedEngine::~CSpeedEngine() {}
bool CSpeedEngine::Update(CGPSData&) { return false; }
void CSpeedEngine::AddPosition(const CGPSData&) {}
void CSpeedEngine::Reset() {}
void CSpeedEngine::DeleteAll() {}
double CSpeedEngine::Distance(double, double, double, double) { return 0.0; }
double CSpeedEngine::Direction(double, double) { return 0.0; }
}  // namespace tolvik
