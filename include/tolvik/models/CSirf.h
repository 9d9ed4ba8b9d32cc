// CSirf: receivers built on a SiRF chip set: NMEA set-up through "$PSRF" sentences, a factory reset
// and the differential source through the SiRF binary protocol; 4800 baud. Base of CToughbookGPS01
// and CHolux.
//
// Changing the differential source takes a detour through the binary protocol: switch to binary,
// send the one binary message, switch back to NMEA (which zeroes every output rate) and set the
// NMEA output again.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

// Appends "*hh", the NMEA checksum of everything after the first "$" (the text has no "*" yet).
// False, and the text unchanged, when it has no "$".
bool AppendNmeaChecksum(CString& strText);

class CSirf : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CSirf)

public:
    // A binary frame is the payload plus 8 bytes: start, length, checksum, end.
    static constexpr int kMaxFrameBytes = 16392;
    static constexpr int kMaxPayloadBytes = kMaxFrameBytes - 8;

    CSirf();
    ~CSirf() override;

    CString GetName() override;
    bool ImplementsSetNmea() override;
    bool ImplementsResetAll() override;
    bool HasDGPSSupport() const override;
    int GetDefaultBaudrate() override;

    // GGA, GSA, VTG and GSV every 2 seconds; RMC and GLL off.
    void SetDefaultNMEA() override;
    // GGA every 2 seconds, the rest off.
    void SetGgaOnlyNMEA() override;
    // Re-initialises, brings the receiver back to NMEA and sets the default output. Nothing is
    // acknowledged, so bWait is not used.
    bool ResetAll(bool bWait) override;
    // Only WAAS is a source the receiver takes this way; every other mode switches the source off.
    void SetDgpsMode(DgpsMode eMode) override;

protected:
    // None of these asks whether the port is open: their callers do.
    // nMsg is the receiver's sentence number: 0 GGA, 1 GLL, 2 GSA, 3 GSV, 4 RMC, 5 VTG.
    void SetNmeaMsg(int nMsg, bool bOn);
    // Sum of the payload bytes kept to 15 bits; 0 for no bytes.
    unsigned short CheckSum(unsigned char* pData, unsigned short nLength);
    // Frames and writes the payload; false when the write fails or the payload does not fit.
    bool SendBinaryMsg(unsigned char* pPayload, unsigned short nLength);
    void SwitchToBinary();
    void SendDgpsSourceMsg(DgpsMode eMode);
    void SwitchToNmea();
};

}  // namespace tolvik
