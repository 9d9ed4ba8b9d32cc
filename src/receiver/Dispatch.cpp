// STUB: replaced by the classification and dispatch implementation.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::Parse(CString&) { return false; }
bool CGPSReceiver::Parse(CString&, GPSStringType) { return false; }
GPSStringType CGPSReceiver::GetGPSStringType(const CString&) { return GPS_STR_UNKNOWN; }
bool CGPSReceiver::IsChecksumOK(const CString&) { return false; }
bool CGPSReceiver::ProcessProprietary(CString&) { return false; }
void CGPSReceiver::GotNmea(GPSStringType) {}
bool CGPSReceiver::HaveGotNmea(GPSStringType) { return false; }
void CGPSReceiver::MonitorNmea(bool) {}
bool CGPSReceiver::MonitoringNmea() { return false; }
}  // namespace tolvik
