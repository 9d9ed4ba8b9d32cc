// CGPSReceiver: the base of every receiver model.
//
// A receiver object holds the connection settings of one receiver model (port number, baud rate,
// antenna height, geoid handling, emulation flag), its counters, its notification registry and
// the virtual interface through which the engine and the host drive any model. Everything that
// belongs to the one physical connection is static and shared by all receiver objects: the
// serial port, the epoch being assembled, the raw and ephemeris records, the speed estimator and
// the NMEA bookkeeping. Only the engine's current receiver uses them at any moment.
//
// Messages arrive on the engine's reader thread through Parse: classified by a table of headers,
// checksum-tested, handed to one handler, and published to the host when an epoch is complete.
// Command operations run on the host's thread and write to the same port.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "tolvik/framing/CBinBuffer.h"
#include "tolvik/platform/CObject.h"
#include "tolvik/platform/CString.h"
#include "tolvik/platform/Collections.h"
#include "tolvik/platform/Host.h"
#include "tolvik/port/CSerialPort.h"
#include "tolvik/receiver/CSpeedEngine.h"
#include "tolvik/receiver/Notifications.h"
#include "tolvik/records/GPSData.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik {

// Message kinds. The numbers index m_wNmeaBits and the dispatch; they are fixed.
enum GPSStringType : std::int32_t {
    GPS_STR_UNKNOWN = 0,  // not recognised, or rejected by the checksum test
    GPS_STR_ALM = 1,
    GPS_STR_GGA = 2,
    GPS_STR_INGGA = 3,
    GPS_STR_GLL = 4,
    GPS_STR_GSA = 5,
    GPS_STR_GSV = 6,
    GPS_STR_RMC = 7,
    GPS_STR_VTG = 8,
    GPS_STR_ZDA = 9,
    GPS_STR_MSS = 10,
    GPS_STR_MSK = 11,
    GPS_STR_PSLIR_NMEA = 12,
    GPS_STR_PSLIR_MODE = 13,
    GPS_STR_PMCAG = 14,
    // 15: no header produces it
    GPS_STR_PEM = 16,
    GPS_STR_PMD = 17,
    GPS_STR_PRTA = 18,
    GPS_STR_PER = 19,
    GPS_STR_PASHR = 20,
    GPS_STR_JSHOW = 21,
    GPS_STR_JI = 22,
    GPS_STR_JGEO = 23,
    GPS_STR_RD1 = 24,
    GPS_STR_BIN = 25,
    GPS_STR_LOGLIST = 26,
    GPS_STR_RXCONFIG = 27,
    GPS_STR_ECUTOFF = 28,
    GPS_STR_OMNIINFO = 29,
    GPS_STR_OMNISTAT = 30,
    GPS_STR_OMNIHPPOS = 31,
    GPS_STR_WAAS1 = 32,
    GPS_STR_RTKSOURCE = 33,
    GPS_STR_SBASCONTROL = 34,
    GPS_STR_PSRDIFFSOURCE = 35,
    GPS_STR_AXIS4_BIN = 36,
    GPS_STR_PGRME = 37,
};

// Binary output interval of the "$J" command set in seconds (0.2 or 1.0), written by command
// operations on the host's thread and read by the "$BIN" handler on the reader thread.
extern std::atomic<double> s_dBinOutputInterval;

class CGPSReceiver : public CObject {
    TOLVIK_DECLARE_DYNAMIC(CGPSReceiver)

public:
    CGPSReceiver();
    ~CGPSReceiver() override;
    CGPSReceiver(const CGPSReceiver&) = delete;
    CGPSReceiver& operator=(const CGPSReceiver&) = delete;

    // ---- Virtual interface (models override in place and add nothing) ----
    virtual void* GetPortHandle();
    virtual bool EnablePostProcessing(bool bOn);
    virtual bool SetRawDataOutputInterval(double dSeconds);
    virtual CString GetName() = 0;  // the display name, also the settings section
    virtual bool HasRawData();
    virtual bool IsAvailable() const;
    virtual bool IsExternalDriver();
    virtual bool UseExternalSettings();
    virtual bool IsRtkReceiver();
    virtual int GetCurrentBaudrate();
    virtual int GetDefaultBaudrate();
    virtual bool Initialize();
    virtual bool OpenPort();
    virtual bool HasDefaultComPort();
    virtual int GetDefaultComPort();
    virtual bool Parse(CString& strMessage, GPSStringType eType);
    virtual bool Parse(CString& strMessage);
    virtual void KeepAlive();
    virtual void Suspend();
    virtual bool ImplementsQueryNmea();
    virtual void QueryNmeaActive();
    virtual bool ImplementsQueryGpsSettings();
    virtual void QueryGpsSettings();
    virtual bool ImplementsBeacon();
    virtual void QueryBeacon();
    virtual void SetBeacon(BEACON_MODE_TYPE eMode, CString strFrequency, CString strBitRate);
    virtual bool ImplementsSetElevMask();
    virtual void QuerySatElevMask();
    virtual void SetSatElevMask(int nDegrees);
    virtual bool ImplementsSetNmea();
    virtual void SetDefaultNMEA();
    virtual void SetGgaOnlyNMEA();
    virtual void Send(const CString& strCommand);
    virtual bool SendBinary(const unsigned char* pData, unsigned short nLength);
    virtual bool ImplementsResetAll();
    virtual bool ResetAll(bool bWait);
    virtual GPSStringType GetGPSStringType(const CString& strMessage);
    virtual bool GGASendsOrthoHeight();
    virtual bool HasDGPSSupport() const;
    virtual void QueryDgpsMode();
    virtual void SetDgpsMode(DgpsMode eMode);
    virtual void QueryOmniStar();
    virtual void DgpsStatusMsg(bool bOn);
    virtual void QueryLbandSatellites();
    virtual void SetLbandFrequency(double dFrequency, int nRate);
    virtual void SendCorrection();
    virtual void ChangeCDGPS_Freq(double dFrequency);
    virtual void QueryWAAS();

    // ---- Configuration and settings ----
    // Stores the values; they take effect at the next Initialize.
    void SetupReceiver(int nComPort, int nGeoidMode, double dAntennaHeight, const CString& strSetup, bool bEmulation);
    // Loads the persisted baud rate (section = display name, entry "Baud").
    void SetProperties();
    // Persists a new baud rate; false when it equals the current one (nothing written).
    bool SaveDifferentSettings(int nBaudRate);

    // ---- Notifications and last records ----
    bool GetLastGPSPositionData(CGPSData& data);
    bool GetLastGPSProprietaryMessage(CGPSData& data);
    void GetLastGPSRawData(CGPSDataRaw& data);
    void GetLastGPSEphemerisData(CGPSDataEphemeris& data);
    void AddNotificationCallback(GPSNotificationType eType, GPSNotificationCallback pfnCallback, void* pUserData);
    bool HasNotificationCallback(GPSNotificationType eType);

    // ---- Message-kind monitoring ----
    bool MonitoringNmea();
    void MonitorNmea(bool bMonitor);
    bool HaveGotNmea(GPSStringType eType);

    // ---- Shared state ----
    void ResetSpeedEngine();
    void InvalidateSVInfo();
    bool AttachRawData(const char* pData, int nCount);
    void LoadAlternatGPSStatusStrings();

    // ---- Instance fields ----
    double m_dRawDataInterval = 0.0;  // raw output interval last requested, seconds
    int m_nComPort = 0;
    double m_dAntennaHeight = 0.0;  // metres, subtracted from reported altitudes
    int m_nGeoidMode = 0;           // 0 ignore, 1 add, other subtract the geoid separation
    int m_nRawMessageCount = 0;
    int m_nRawMessageErrors = 0;
    int m_nMessageCount = 0;
    int m_nChecksumErrors = 0;
    CString m_strSetupString;  // stored for the host, never read
    bool m_bEmulation = false;
    int m_nMinSatellites = 4;    // set by the engine
    CWordArray m_BinaryMessage;  // words of the last binary record
    CMap<GPSNotificationType, NotificationEntry> m_NotificationCallbacks;
    int m_nBaudRate = 9600;
    CGPSNotification m_Notification;
    bool m_bHasStatusMap = false;
    CMap<int, int> m_StatusStrings;  // GGA quality -> fix status code
    // Key of the "default" line of the status map: the code for qualities the map does not
    // list. No quality number can take it (a quality read as this value counts as unreadable).
    static constexpr int kStatusMapDefault = INT32_MIN;

    // ---- Shared by all receiver objects ----
    static CBluetoothOrSerialPort m_Port;
    static CSpeedEngine m_SpeedEngine;
    static CGPSData m_GPSData;
    static CGPSDataRaw m_GPSDataRaw;
    static CGPSDataEphemeris m_GPSEphemeris;
    static CBinBuffer m_GPSMessageRaw;
    static std::atomic<std::uint32_t> m_wNmeaBits;  // read by the host while the reader records
    static std::atomic<bool> m_bMonitorNmea;
    static bool m_bGSVReceived;
    static int m_nTotalGSV;
    static int m_nNextGSV;
    static bool m_bGSAReceived;
    static bool m_bComputeMotion;

    // Serialises the reader thread's message handling with the few host-thread operations that
    // touch the shared epoch while the engine runs (InvalidateSVInfo, ResetSpeedEngine, command
    // operations that clear status fields, the notification registry). Uncontended in normal
    // use; recursive. Host code never runs under it: callbacks, boxes and posts raised while it
    // is held wait until it is released (HostSafeMutex), so a host thread may always take it.
    static HostSafeMutex& SharedStateLock();

    // Binary records for the host: with copies on, every WM_GPS_BINARY carries in lParam a heap
    // CGPSBinaryRecord with that record's words, owned by the receiving window; off (the
    // default), lParam is 0 and only m_BinaryMessage holds the words of the last record.
    static void SetBinaryRecordCopies(bool bOn);
    static bool BinaryRecordCopies();

protected:
    // Writes an already terminated command; with bWait waits up to nTimeout ms for the
    // receiver's acknowledgement, otherwise sleeps nTimeout ms.
    bool WriteAck(const CString& strCommand, bool bWait, int nTimeout);

    // Classification and dispatch; the dispatch table (Dispatch.cpp) names the handlers.
    friend struct ReplyHandlers;
    bool IsChecksumOK(const CString& strMessage);
    bool ProcessProprietary(CString& strMessage);
    void GotNmea(GPSStringType eType);

    // Position fixes.
    bool ProcessGGA(CString& strMessage);
    bool ProcessINGGA(CString& strMessage);
    double GPSPosToRadians(double dValue);

    // Satellites.
    bool GetSatellite(int nPRN, int& nSlot);
    bool GetEmptySatellite(int& nSlot);
    bool GetUnusedSatellite(int& nSlot);
    bool ProcessGSA(CString& strMessage);
    bool ProcessGSV(CString& strMessage);

    // Course and speed.
    bool ProcessVTG(CString& strMessage);

    // Publishing.
    bool PostNewData(bool bForce);
    void BroadcastNotification(GPSNotificationType eType, CGPSNotification* pNotification);

    // Ashtech-style replies.
    bool ProcessPASHR(CString& strMessage);
    bool ProcessPARPMD(CString& strMessage);
    bool ProcessPARPER(CString& strMessage);
    bool ProcessPARPEM(CString& strMessage);
    bool ProcessPARPRTA(CString& strMessage);
    bool GetNmeaMsgStatus(const CString& strWord, NmeaMsgStatus& eStatus);
    bool GetNmeaMsgStatus(const CString& strText, NmeaMsgStatus& eStatus, const CString& strKey);
    bool ReadIntValue(const CString& strText, int& nValue);
    bool ReadDoubleValue(const CString& strText, double& dValue);

    // Other brands' replies.
    bool ProcessCRMSS(CString& strMessage);
    bool ProcessCRMSK(CString& strMessage);
    bool ProcessPSLIRParNmea(CString& strMessage);
    bool ProcessPSLIRParMode(CString& strMessage);
    bool ProcessPMCAG(CString& strMessage);
    bool ProcessJSHOW(CString& strMessage);
    bool ProcessJiOrJgeoOrRd1(CString& strMessage);
    bool ProcessGarminEstPrecision(CString& strMessage);

    // Command-log replies.
    bool ProcessLOGLIST(CString& strMessage);
    bool ProcessRXCONFIG(CString& strMessage);
    bool ProcessECUTOFF(CString& strMessage);
    bool ProcessOMNIINFO(CString& strMessage);
    bool ProcessOMNISTAT(CString& strMessage);
    bool ProcessOMNIHPPOS(CString& strMessage);
    bool ProcessWAAS1(CString& strMessage);
    bool ProcessRTKSOURCE(CString& strMessage);
    bool ProcessSBASCONTROL(CString& strMessage);
    bool ProcessPSRDIFFSOURCE(CString& strMessage);

    // Raw data for post-processing.
    bool ProcessPASHR_MBN(const unsigned char* pPayload);
    bool ProcessPASHR_PBN(const unsigned char* pPayload);
    bool ProcessPASHR_SNV(const unsigned char* pPayload);
    bool ProcessBIN();
    bool ProcessAxis4BIN();
    bool PostNewDataRaw();
    bool PostEphemerisInfo();
};

}  // namespace tolvik
