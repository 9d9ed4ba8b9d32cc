// STUB: replaced by the GGA / INGGA handlers.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::ProcessGGA(CString&) { return false; }
bool CGPSReceiver::ProcessINGGA(CString&) { return false; }
double CGPSReceiver::GPSPosToRadians(double) { return 0.0; }
}  // namespace tolvik
