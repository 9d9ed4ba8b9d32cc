// CRinexLog: a raw-data logger that writes RINEX 3.04 GPS files, the exchange format every
// post-processing program reads.
//
// One logger writes two files side by side: the observation file (the logger's file name, ending
// in ".obs") and the navigation file (the same name ending in ".nav"):
//
//   BASE.obs  C1C pseudorange, L1C carrier phase and D1C Doppler of every satellite of every
//             raw epoch written (one per logging interval), time-tagged with the receiver's time
//             of week and GPS week; the header (marker, receiver, approximate position from the
//             first epoch's position, interval, time of first observation) goes out with the
//             first epoch, since only that epoch knows them.
//   BASE.nav  every broadcast ephemeris, one record per satellite and issue of data; a repeated
//             issue (receivers send each one again and again) is written once.
//
// The ephemerides arrive in the receiver's units (CGPSDataEphemeris copies the SNV record
// without interpretation): angles in semicircles, the mean motion correction and the rates of
// right ascension and inclination in semicircles per millisecond. RINEX wants radians and
// radians per second; the navigation record converts.
//
// Numbers are written with std::to_chars, so the process's locale (a decimal comma) never gets
// into the files. The formatting pieces are in namespace rinex for tests and other writers.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "tolvik/datalog/CDataLog.h"

namespace tolvik {

namespace rinex {

// Right-aligned fixed-point field (Fortran Fw.d). A value that does not fit, or is not finite,
// gives a blank field, so the columns after it stay where they are.
std::string Fixed(double value, int width, int decimals);
// Right-aligned integer field (Iw); blank when it does not fit.
std::string Integer(long long value, int width);
// The D19.12 field of navigation records: " 1.234567890123D-05", "-1.234567890123D+02";
// magnitudes below 1e-99 are written as zero.
std::string Exponent(double value);
// A header line: the content left-aligned in columns 1-60, the label in columns 61-80.
std::string HeaderLine(std::string_view content, std::string_view label);

// A moment in GPS time as a calendar date and time of day (no leap seconds: GPS time scale).
struct Calendar {
    int year = 1980;
    int month = 1;
    int day = 6;
    int hour = 0;
    int minute = 0;
    double second = 0.0;
};
// Week and seconds of the week to calendar, the seconds rounded to 0.1 us first so that a time
// never prints as 60 seconds.
Calendar CalendarOf(int week, double secondOfWeek);

// Geodetic point (degrees, metres above the WGS 84 ellipsoid) to ECEF metres.
void GeodeticToEcef(double latDegrees, double lonDegrees, double height, double& x, double& y, double& z);

struct ObservationHeader {
    std::string program = "tolvik";
    std::string runBy;
    std::string date;  // "yyyymmdd hhmmss UTC", when the file was made
    std::string markerName;
    std::string receiverType;
    std::string receiverVersion;
    double x = 0.0, y = 0.0, z = 0.0;  // approximate position, ECEF metres
    double antennaHeight = 0.0;        // metres
    double interval = 0.0;             // seconds; 0 leaves the optional INTERVAL line out
    Calendar firstObservation;
};
std::vector<std::string> ObservationHeaderLines(const ObservationHeader& header);
std::vector<std::string> NavigationHeaderLines(std::string_view program, std::string_view runBy, std::string_view date);

// The epoch line and one line per satellite with a valid PRN (1-32); a measurement that is zero
// (a receiver that sent no phase) is a blank field. Empty when no satellite qualifies.
std::vector<std::string> ObservationRecord(const CGPSDataRaw& epoch);
// The eight lines of one ephemeris in RINEX units.
std::vector<std::string> NavigationRecord(const CGPSDataEphemeris& ephemeris);

}  // namespace rinex

class CRinexLog : public CDataLog {
public:
    static constexpr const wchar_t* kObservationExtension = L".obs";
    static constexpr const wchar_t* kNavigationExtension = L".nav";

    explicit CRinexLog(CWnd* pWnd = nullptr) : CDataLog(pWnd) {}
    CRinexLog(const CRinexLog&) = delete;
    CRinexLog& operator=(const CRinexLog&) = delete;
    ~CRinexLog() override;

    // Creates both files and writes the navigation header. False when either cannot be created;
    // GetLastErrorText then names the file and the reason, and neither file stays open.
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_pObs != nullptr; }
    CString GetFileExtension() const override { return kObservationExtension; }
    // False when the epoch is not written: no file, no valid position, within the logging
    // interval of the last one, no usable satellite, or a write error (see GetLastErrorText).
    bool LogEpoch(const CGPSDataRaw& epoch) override;
    // False for an ephemeris without a week, an issue already written, or a write error.
    bool LogEphemeris(const CGPSDataEphemeris& ephemeris) override;
    int GetNumEpochs() const override { return m_nEpochs; }
    int GetNumEphemerides() const { return m_nEphemerides; }

    // Names the files base + ".obs" and base + ".nav" exactly: unlike SetFilename, dots in the
    // base (a folder "./out", a name "site.2025") stay.
    void SetFileBase(const CString& strBase) { m_strFilename = strBase + kObservationExtension; }
    // The navigation file's name: the observation file's with ".nav" for its extension.
    CString GetNavigationFilename() const;
    // "<file>: <reason>" of the last failure to create or write a file; empty when none.
    const std::string& GetLastErrorText() const { return m_strError; }

    // Header texts (RINEX fields of 20 or 60 characters; longer texts are cut). The marker
    // name defaults to the file's base name.
    void SetProgram(std::string_view program) { m_strProgram = program; }
    void SetMarkerName(std::string_view name) { m_strMarker = name; }
    void SetReceiverType(std::string_view type) { m_strReceiver = type; }

private:
    bool WriteLines(std::FILE* pFile, const std::string& name, const std::vector<std::string>& lines);
    std::string CreationDate() const;

    std::FILE* m_pObs = nullptr;
    std::FILE* m_pNav = nullptr;
    std::string m_strObsName, m_strNavName;
    std::string m_strProgram = "tolvik";
    std::string m_strMarker;
    std::string m_strReceiver;
    std::string m_strError;
    bool m_bHeaderWritten = false;
    int m_nEpochs = 0;
    int m_nEphemerides = 0;
    double m_dLastEpoch = -1.0;                    // GPS seconds (week * 604800 + time of week) of the last epoch
    std::set<std::tuple<int, int, int>> m_Issues;  // PRN, issue of data, reference time written
};

}  // namespace tolvik
