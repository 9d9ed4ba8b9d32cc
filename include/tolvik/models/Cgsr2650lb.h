// Cgsr2650lb: the GSR2650 LB, a receiver with an L-band channel for differential corrections,
// configured with plain-word commands ("LOG" and "UNLOG" switch its outputs on and off). It keeps
// what it last commanded for its raw measurement logs, so that raw-data requests that would
// change nothing are not sent again.
//
// Unlike every other model, it initialises itself as it is constructed: it opens the shared port
// with its defaults (port 0, 9600 baud) and, when that works, sends its default NMEA set-up. Where
// port 0 has no device, the constructor fails quietly and leaves the port closed.
#pragma once

#include "tolvik/receiver/CGPSReceiver.h"

namespace tolvik {

class Cgsr2650lb : public CGPSReceiver {
    TOLVIK_DECLARE_DYNAMIC(Cgsr2650lb)

public:
    Cgsr2650lb();
    ~Cgsr2650lb() override;

    CString GetName() override;
    bool HasRawData() override;
    bool ImplementsQueryNmea() override;
    bool ImplementsQueryGpsSettings() override;
    bool ImplementsBeacon() override;
    bool ImplementsSetElevMask() override;
    bool ImplementsSetNmea() override;
    bool ImplementsResetAll() override;
    bool HasDGPSSupport() const override;
    int GetDefaultBaudrate() override;

    // Forgets the raw-log state, runs the base initialisation and, when the port (or emulation)
    // is ready, sends the default NMEA set-up.
    bool Initialize() override;
    // GGA, GSA, GSV and VTG once per second; the other sentences of the list off.
    void SetDefaultNMEA() override;
    // GGA once per second; the other sentences of the list off.
    void SetGgaOnlyNMEA() override;

    // Raw logs once per second, or off; nothing is sent when that is already the state.
    bool EnablePostProcessing(bool bOn) override;
    // The raw log interval in whole seconds (the fraction is dropped). Nothing is sent while the
    // logs are on at that interval already; while they are off, they are switched off again.
    // False, and nothing sent, for a value that is no number of seconds at all.
    bool SetRawDataOutputInterval(double dInterval) override;
    // Raw measurement, ephemeris and almanac logs on at nInterval seconds, or off; then saved.
    void SetRawDataOutput(bool bOn, int nInterval);

    // The queries ask for one-shot logs on the receiver's port COM2 and mark the settings they
    // ask about unknown until the reply has been taken.
    void QueryNmeaActive() override;
    void QueryGpsSettings() override;
    void QuerySatElevMask() override;
    void QueryBeacon() override;
    void QueryDgpsMode() override;
    void QueryWAAS() override;
    void QueryOmniStar() override;
    void QueryLbandSatellites() override;

    void SetSatElevMask(int nDegrees) override;
    // The receiver picks its correction source by itself, whatever the arguments say.
    void SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate) override;
    // Datum and undulation back to WGS84, the sources for the mode, saved; the new mode is
    // reported to the host at once.
    void SetDgpsMode(DgpsMode eMode) override;
    // Does nothing: the receiver has no such switch.
    void DgpsStatusMsg(bool bOn) override;
    // Sets a user datum, its undulation, and saves.
    void SendCorrection() override;
    // Tunes the CDGPS channel to dFrequency MHz (whole MHz; 0 to 3000, otherwise nothing is sent).
    void ChangeCDGPS_Freq(double dFrequency) override;
    // dFrequency 0.0 lets the receiver tune the OmniSTAR channel by itself; otherwise the
    // frequency in MHz and nRate in bits per second.
    void SetLbandFrequency(double dFrequency, int nRate) override;
    // Factory reset (acknowledged when bWait), then initialisation and the beacon source.
    bool ResetAll(bool bWait) override;

    bool m_bRawOutputOn = false;  // the raw measurement logs were last switched on
    int m_nRawInterval = 0;       // raw log interval last requested, whole seconds
};

}  // namespace tolvik
