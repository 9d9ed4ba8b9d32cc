// CDataLog: the base of the host's raw-data loggers.
//
// A raw-data logger records the receiver's raw measurement epochs and ephemerides into a file
// for post-processing. The file is named after the moment the recording starts
// ("log_14Mar_9h5m7s.raw"), epochs are written at a chosen interval, and the antenna height and
// the port are noted. This base holds those settings, names the file, keeps the elapsed-time
// clock and builds the status line a host shows while logging; a derived logger chooses the
// file format (its extension) and does the writing. Nothing inside the library creates a logger.
//
// A derived logger is used like this by its host:
//   logger.SetDefaultFilename(L"\\My Documents\\site.raw");   // or SetFilename
//   logger.SetLogInterval(1.0); logger.SetAntennaHeight(1.8); logger.SetPort(1);
//   logger.Enable(true);
//   if (logger.IsReady() && logger.Open()) { logger.SetTimeMark(); ... }
//   on WM_GPS_NEWDATARAW:  logger.LogEpoch(*pEpoch);
//   on WM_GPS_EPHEMERIS:   logger.LogEphemeris(*pEphemeris);
//   status bar:            logger.GetStatusString()   // "Num Epochs: 12, Time: 3 min."
//   logger.Close();
//
// All time readings go through CTime::GetCurrentTime (the clock seam).
#pragma once

#include "tolvik/platform/CString.h"
#include "tolvik/platform/CTime.h"
#include "tolvik/platform/Window.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik {

class CDataLog {
public:
    explicit CDataLog(CWnd* pWnd);
    CDataLog(const CDataLog&) = default;
    CDataLog& operator=(const CDataLog&) = default;
    virtual ~CDataLog() = 0;

    // ---- What a derived logger supplies

    // Creates the file m_strFilename and writes whatever header its format has (the antenna
    // height, the port and the interval are in the members). False when the file cannot be made.
    virtual bool Open() = 0;
    // Finishes and closes the file; harmless when it is not open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The file-name extension of the format with its leading dot, e.g. ".raw".
    virtual CString GetFileExtension() const = 0;
    // True when a file name is set, the interval is at least 0.1 s and logging is enabled.
    virtual bool IsReady() const;
    // Writes one raw measurement epoch when at least the logging interval has passed since the
    // last one written (true when written). Epochs arrive as posted by the library.
    virtual bool LogEpoch(const CGPSDataRaw& epoch) = 0;
    // Writes one satellite's ephemeris (true when written).
    virtual bool LogEphemeris(const CGPSDataEphemeris& ephemeris) = 0;
    // Epochs written since the file was opened.
    virtual int GetNumEpochs() const = 0;
    // "Num Epochs: <n>, Time: <minutes> min." from the module's string table.
    virtual CString GetStatusString() const;

    // ---- Settings

    void SetLogInterval(double dSeconds) { m_dLogInterval = dSeconds; }
    double GetLogInterval() const { return m_dLogInterval; }
    void SetAntennaHeight(double dHeight) { m_dAntennaHeight = dHeight; }
    double GetAntennaHeight() const { return m_dAntennaHeight; }
    void Enable(bool bEnable) { m_bEnabled = bEnable; }
    // "COM2" for 2, "COM1" for any other number.
    void SetPort(int nPort);

    // ---- File name

    CString GetFilename() const { return m_strFilename; }
    // The name without its extension (the file name up to its first "."; folders keep their
    // dots), then GetFileExtension(). Always true.
    bool SetFilename(const CString& strName);
    // Keeps strBase and names the file GenerateDefaultFilename(strBase). Always true.
    bool SetDefaultFilename(const CString& strBase);
    // strBase without the extension of its file name (as SetFilename), then the local date and
    // time as "_14Mar_9h5m7s", then GetFileExtension().
    CString GenerateDefaultFilename(const CString& strBase) const;

    // ---- Elapsed time

    // Restarts the elapsed-time clock.
    void SetTimeMark();
    // Whole minutes since the time mark with whole days removed: 0 to 1439.
    int GetMinutesElapsed() const;

protected:
    CString m_strBaseFilename;      // base given to SetDefaultFilename
    double m_dLogInterval = 5.0;    // seconds
    double m_dAntennaHeight = 0.0;  // in the host's unit
    CString m_strFilename;
    CString m_strPort = L"COM1";
    bool m_bEnabled = false;
    CWnd* m_pParentWnd = nullptr;  // for derived loggers; the base does not use it
    CTime m_TimeMark;              // start of the elapsed-time clock
};

}  // namespace tolvik
