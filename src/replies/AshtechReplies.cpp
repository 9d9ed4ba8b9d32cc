// STUB: replaced by the Ashtech-style reply handlers.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::ProcessPASHR(CString&) { return false; }
bool CGPSReceiver::ProcessPARPMD(CString&) { return false; }
bool CGPSReceiver::ProcessPARPER(CString&) { return false; }
bool CGPSReceiver::ProcessPARPEM(CString&) { return false; }
bool CGPSReceiver::ProcessPARPRTA(CString&) { return false; }
bool CGPSReceiver::GetNmeaMsgStatus(const CString&, NmeaMsgStatus&) { return false; }
bool CGPSReceiver::GetNmeaMsgStatus(const CString&, NmeaMsgStatus&, const CString&) { return false; }
bool CGPSReceiver::ReadIntValue(const CString&, int&) { return false; }
bool CGPSReceiver::ReadDoubleValue(const CString&, double&) { return false; }
}  // namespace tolvik
