// STUB: replaced by the GSA / GSV handlers.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::GetSatellite(int, int&) { return false; }
bool CGPSReceiver::GetEmptySatellite(int&) { return false; }
bool CGPSReceiver::GetUnusedSatellite(int&) { return false; }
bool CGPSReceiver::ProcessGSA(CString&) { return false; }
bool CGPSReceiver::ProcessGSV(CString&) { return false; }
}  // namespace tolvik
