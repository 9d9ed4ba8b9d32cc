// Generators of the project's own sample recordings.
//
// SimulateSession drives a vehicle along a planned route (parked, driving off, turning, stopping
// at a junction, driving on) while a simple GPS constellation of circular orbits moves overhead,
// and writes what a 1 Hz receiver would send for each second: RMC, VTG, GGA, GSA, a GSV group,
// now and then a "$PGRME" error estimate and a "$PTLVK" status sentence of our own. The fix
// changes over the session through no fix, GPS, DGPS, RTK float and RTK fixed; satellites rise
// and set; the dilutions come from the geometry of the satellites used.
//
// GenerateRawSession writes what a receiver streaming NMEA and Ashtech-style raw records sends
// from a fixed point: per second GGA, VTG and ZDA, an "$PASHR,SNV" ephemeris now and then, one
// "$PASHR,MBN" measurement per satellite and a "$PASHR,PBN" position record.
//
// Everything is deterministic: a fixed seed and a fixed date, no wall clock. The values behind
// each line are returned with it, so tests can compare what the library reads with what was
// written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RawRecords.h"
#include "tolvik/platform/Calendar.h"
#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::sim {

struct SessionOptions {
    int minutes = 6;  // one epoch per second
    std::uint64_t seed = 20250314;
    CivilDate date{2025, 3, 14};
    // The session starts at the first whole minute from here (UTC) within the next three hours
    // at which some satellite rises and another sets while the session runs.
    int earliestStartSecondOfDay = 9 * 3600 + 40 * 60;
    double originLatitude = 64.1283;    // degrees, where the vehicle is parked
    double originLongitude = -21.8570;  // degrees
    double originHeading = 75.0;        // degrees clockwise from true north
    double geoidSeparation = 65.8;      // metres, ellipsoid above mean sea level
    double elevationMask = 10.0;        // degrees; satellites below it are not used
    // "VEK PAUSE" lines (they stop paced replay until the user answers) before these epochs.
    std::vector<int> pauseBeforeEpochs;
};

// One satellite as the receiver lists it in GSV.
struct SatelliteView {
    int prn = 0;
    double elevation = 0.0;  // degrees, at or above 0 (the horizon)
    double azimuth = 0.0;    // degrees clockwise from true north, [0, 360)
    int snr = 0;             // dB-Hz; 0 when not tracked (an empty GSV field)
    bool used = false;       // listed in GSA
};

// What the receiver believed and sent in one epoch, before the sentences round it.
struct SessionEpoch {
    int index = 0;
    double utcSecondOfDay = 0.0;  // of the time fields (whole seconds)
    CivilDate date;               // of RMC
    int quality = 0;              // GGA fix quality: 0 none, 1 GPS, 2 DGPS, 4 RTK fixed, 5 float
    // The vehicle's true position and motion.
    double trueLatitude = 0.0;   // degrees
    double trueLongitude = 0.0;  // degrees
    double trueAltitude = 0.0;   // metres above mean sea level
    double trueSpeed = 0.0;      // metres per second
    double trueCourse = 0.0;     // degrees clockwise from true north
    // What the receiver reports (its solution error included); meaningless without a fix.
    double latitude = 0.0;         // degrees
    double longitude = 0.0;        // degrees
    double altitude = 0.0;         // metres above mean sea level
    double geoidSeparation = 0.0;  // metres
    double speed = 0.0;            // metres per second
    double course = 0.0;           // degrees clockwise from true north
    double hdop = 99.99;
    double pdop = 99.99;
    double vdop = 99.99;
    double horizontalError = 0.0;  // "$PGRME" estimates, metres
    double verticalError = 0.0;
    double sphericalError = 0.0;
    double correctionAge = 0.0;  // seconds, DGPS and RTK only
    int satellitesUsed = 0;
    std::vector<SatelliteView> satellites;  // in view, by PRN
    bool HasFix() const { return quality != 0; }
};

struct Session {
    std::vector<SessionEpoch> epochs;
    std::vector<std::string> lines;  // sentences and pause lines, without line ends
};

Session SimulateSession(const SessionOptions& options);
// The lines of the emulation file of that session.
std::vector<std::string> GenerateSession(const SessionOptions& options);
// The lines as a file: each followed by a line feed.
std::string JoinLines(const std::vector<std::string>& lines);

struct RawSessionOptions {
    int epochs = 30;
    int satellites = 6;  // tracked at the start; the lowest loses lock later
    std::uint64_t seed = 20250314;
    CivilDate date{2025, 3, 14};
    int startSecondOfDay = 10 * 3600 + 5 * 60;  // UTC
    double latitude = 64.1310;                  // degrees, the antenna's true position
    double longitude = -21.8490;                // degrees
    double height = 85.0;                       // metres above the ellipsoid
    double geoidSeparation = 65.8;              // metres, for the GGA altitude
};

struct RawEpoch {
    double utcSecondOfDay = 0.0;
    int gpsWeek = 0;
    // The receiver's solution as PBN carries it, and the same point as geodetic coordinates.
    PbnValues pbn;
    double latitude = 0.0;                       // degrees
    double longitude = 0.0;                      // degrees
    double height = 0.0;                         // metres above the ellipsoid
    std::vector<MbnValues> measurements;         // in the order sent; the last flagged last
    std::vector<CGPSDataEphemeris> ephemerides;  // SNV records sent before the measurements
    int sentences = 0;                           // NMEA sentences sent before the records
};

struct RawSession {
    std::vector<RawEpoch> epochs;
    std::string bytes;  // the byte log: sentences with "\r\n" and the binary records
};

RawSession GenerateRawSession(const RawSessionOptions& options);

// GPS week and seconds of the week of a UTC moment (leap seconds as since 2017).
void GpsTimeOf(const CivilDate& date, double utcSecondOfDay, int& week, double& secondOfWeek);

}  // namespace tolvik::sim
