// STUB: replaced by the other brands' reply handlers.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::ProcessCRMSS(CString&) { return false; }
bool CGPSReceiver::ProcessCRMSK(CString&) { return false; }
bool CGPSReceiver::ProcessPSLIRParNmea(CString&) { return false; }
bool CGPSReceiver::ProcessPSLIRParMode(CString&) { return false; }
bool CGPSReceiver::ProcessPMCAG(CString&) { return false; }
bool CGPSReceiver::ProcessJSHOW(CString&) { return false; }
bool CGPSReceiver::ProcessJiOrJgeoOrRd1(CString&) { return false; }
bool CGPSReceiver::ProcessGarminEstPrecision(CString&) { return false; }
}  // namespace tolvik
