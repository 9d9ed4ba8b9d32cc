// The plans of the sample NMEA session (SessionGenerator.h): what the vehicle does and what fix
// the receiver has at each second. Longer sessions repeat them every six minutes, the receiver
// starting its search for satellites afresh.
#pragma once

namespace tolvik::sim {

inline constexpr double kPlanLength = 360.0;  // s
// Under the underpass every signal is lost.
inline constexpr double kUnderpassStart = 196.0;
inline constexpr double kUnderpassEnd = 204.0;

// The GGA fix quality the plan allows at a plan time (0 none, 1 GPS, 2 DGPS, 4 RTK fixed,
// 5 RTK float).
int PlannedQuality(double planTime);

// Standard deviation of the solution's horizontal error for each quality, metres.
double HorizontalSigma(int quality);
double VelocitySigma(int quality);

// A satellite is heard this many seconds after the receiver starts listening again.
double AcquisitionDelay(int prn);
double ReacquisitionDelay(int prn);

// Receivers differ in how strongly they hear each satellite; a fixed offset per PRN.
double SignalBias(int prn);

struct VehicleState {
    double latitude;
    double longitude;
    double heading;   // degrees
    double speed;     // m/s
    double distance;  // travelled, m
};

// Height of the road above mean sea level after a distance travelled, metres.
double TerrainHeight(double distance);

// Advances the vehicle by one second of the drive plan from startTime (seconds of the session).
void DriveOneSecond(VehicleState& v, double startTime);

}  // namespace tolvik::sim
