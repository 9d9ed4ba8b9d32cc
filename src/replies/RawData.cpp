// STUB: replaced by the raw-data decoders and raw output commands.
#include "tolvik/receiver/CGPSReceiver.h"
namespace tolvik {
std::atomic<double> s_dBinOutputInterval{0.2};
bool CGPSReceiver::ProcessPASHR_MBN(const unsigned char*) { return false; }
bool CGPSReceiver::ProcessPASHR_PBN(const unsigned char*) { return false; }
bool CGPSReceiver::ProcessPASHR_SNV(const unsigned char*) { return false; }
bool CGPSReceiver::ProcessBIN() { return false; }
bool CGPSReceiver::ProcessAxis4BIN() { return false; }
bool CGPSReceiver::PostNewDataRaw() { return false; }
bool CGPSReceiver::PostEphemerisInfo() { return false; }
bool CGPSReceiver::AttachRawData(const char*, int) { return false; }
bool CGPSReceiver::EnablePostProcessing(bool) { return false; }
bool CGPSReceiver::SetRawDataOutputInterval(double) { return false; }
}  // namespace tolvik
