// CSokkiaAxis3: the Sokkia Axis3 and its relatives speak the "$J" command language: NMEA output,
// binary raw data, elevation mask, beacon, L-band and the differential source. Base of CCSImax.
//
// The receiver forgets its binary output when it saves its settings ("$JSAVE"), so every
// operation that saves switches binary message 95 on again at the interval last chosen
// (s_dBinOutputInterval, shared with the "$BIN" handler on the reader thread).
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class CSokkiaAxis3 : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(CSokkiaAxis3)

public:
    CSokkiaAxis3();
    ~CSokkiaAxis3() override;

    CString GetName() override;
    bool HasRawData() override;
    bool ImplementsQueryNmea() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsSetNmea() override;
    bool HasDGPSSupport() const override;

    // The base initialisation, then half a second for the receiver to settle; nothing is sent.
    bool Initialize() override;
    // Raw data once per second, or off.
    bool EnablePostProcessing(bool bOn) override;
    // Raw data on; an interval that truncates to 5 gives five outputs per second, any other once
    // per second. False, and nothing sent, for a value that is no number of seconds at all.
    bool SetRawDataOutputInterval(double dInterval) override;
    // The three queries all ask for the "$>JSHOW" summary.
    void QueryNmeaActive() override;
    void QuerySatElevMask() override;
    void QueryDgpsMode() override;
    void SetSatElevMask(int nDegrees) override;
    void QueryLbandSatellites() override;
    // dFrequency in MHz, nRate in bits per second.
    void SetLbandFrequency(double dFrequency, int nRate) override;
    void QueryBeacon() override;
    void SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) override;
    void SetDefaultNMEA() override;
    void SetGgaOnlyNMEA() override;
    // Sent even when the port is closed (the writes then fail and the pauses still pass).
    void SetDgpsMode(DgpsMode eMode) override;
    void QueryOmniStar() override;
    void DgpsStatusMsg(bool bOn) override;

    // Binary messages 96 and 95 at five per second (nRate 5) or once per second (any other
    // nRate), or off; then saved. Only here does s_dBinOutputInterval change.
    void SetRawDataOutput(bool bOn, int nRate);
    void QueryJSHOW();
};

}  // namespace tolvik
