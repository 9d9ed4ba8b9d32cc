// STUB: replaced by the command-log reply handlers.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
bool CGPSReceiver::ProcessLOGLIST(CString&) { return false; }
bool CGPSReceiver::ProcessRXCONFIG(CString&) { return false; }
bool CGPSReceiver::ProcessECUTOFF(CString&) { return false; }
bool CGPSReceiver::ProcessOMNIINFO(CString&) { return false; }
bool CGPSReceiver::ProcessOMNISTAT(CString&) { return false; }
bool CGPSReceiver::ProcessOMNIHPPOS(CString&) { return false; }
bool CGPSReceiver::ProcessWAAS1(CString&) { return false; }
bool CGPSReceiver::ProcessRTKSOURCE(CString&) { return false; }
bool CGPSReceiver::ProcessSBASCONTROL(CString&) { return false; }
bool CGPSReceiver::ProcessPSRDIFFSOURCE(CString&) { return false; }
}  // namespace tolvik
