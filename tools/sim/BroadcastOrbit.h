// The GPS user algorithm for a broadcast ephemeris: where a satellite is and what its clock
// reads at a GPS time, computed from exactly the parameters its SNV record carries.
//
// The SNV record holds the ephemeris in the receiver's units: angles in semicircles and the
// rates (mean motion correction, rate of right ascension, rate of inclination) in semicircles
// per millisecond; everything else as broadcast (seconds, metres, radians for the harmonic
// terms). The simulator builds its orbits in SI units, stores them in these units, and
// propagates every satellite from what it sends, so that a post-processor that reads the
// ephemerides back sees the orbits the pseudoranges were made from.
#pragma once

#include <numbers>

#include "tolvik/records/GPSDataRaw.h"

namespace tolvik::sim {

inline constexpr double kSemicircle = std::numbers::pi;   // radians
inline constexpr double kPerMillisecond = 1000.0;         // a rate per ms is 1000 per s
inline constexpr double kGpsEarthGM = 3.986005e14;        // m^3/s^2, as the user algorithm fixes it
inline constexpr double kGpsEarthRate = 7.2921151467e-5;  // rad/s
inline constexpr double kRelativityF = -4.442807633e-10;  // s/m^0.5
inline constexpr double kHalfWeek = 302400.0;             // s

struct SatelliteState {
    double x = 0.0, y = 0.0, z = 0.0;  // ECEF metres at the time asked for
    // Satellite clock offset, seconds: the af0/af1/af2 polynomial plus the relativistic term,
    // without the group delay (an L1-only user subtracts m_dTgd from it).
    double clock = 0.0;
};

// State at a GPS time given as seconds of the ephemeris' week (m_nWeek); times more than half a
// week from the reference times are taken as the neighbouring week.
SatelliteState PropagateBroadcast(const CGPSDataEphemeris& ephemeris, double secondOfWeek);

// The same orbit and clock, referred to an orbit and clock reference time moved by dt seconds
// (a later issue of the same satellite's data): the elements that drift with time are carried
// along, so both give the same positions to the rounding of the fields.
CGPSDataEphemeris MoveReferenceTime(const CGPSDataEphemeris& ephemeris, int dt);

}  // namespace tolvik::sim
