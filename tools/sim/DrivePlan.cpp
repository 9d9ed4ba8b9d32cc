#include "DrivePlan.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "SkyModel.h"

namespace tolvik::sim {

namespace {

struct DriveLeg {
    double duration;  // s
    double speed;     // target speed, m/s
    double turn;      // heading change over the leg, degrees (positive: to the right)
};

constexpr DriveLeg kDrivePlan[] = {
    {60.0, 0.0, 0.0},     // parked while the receiver finds its fix
    {20.0, 8.0, 0.0},     // drives off across the car park
    {12.0, 6.0, 90.0},    // turns right onto the road
    {58.0, 14.0, -20.0},  // along the road, a gentle bend
    {15.0, 9.0, -60.0},   // left at a junction
    {50.0, 16.0, 0.0},    // straight on, through an underpass
    {20.0, 0.0, 0.0},     // brakes for a red light
    {25.0, 0.0, 0.0},     // waits
    {15.0, 10.0, -90.0},  // turns left
    {55.0, 19.0, 30.0},   // a faster road with a bend
    {15.0, 5.0, 45.0},    // slows down, turns right
    {15.0, 0.0, 0.0},     // stops
};

constexpr double kAcceleration = 1.5;  // m/s^2
constexpr double kDeceleration = 2.5;  // m/s^2

struct FixLeg {
    double until;  // plan time, s
    int quality;   // GGA quality while corrections and signals allow it
};

constexpr FixLeg kFixPlan[] = {
    {18.0, 0},   // acquiring satellites
    {40.0, 1},   // autonomous fix
    {105.0, 2},  // beacon corrections arrive
    {140.0, 5},  // RTK corrections: float solution
    {196.0, 4},  // ambiguities fixed
    {204.0, 0},  // underpass: every signal lost
    {210.0, 1},  // signals back
    {228.0, 5},  // RTK float again
    {300.0, 4},  // fixed
    {318.0, 2},  // RTK link lost, beacon corrections only
    {330.0, 5},  // link back: float
    {kPlanLength, 4},
};

const DriveLeg& PlannedLeg(double planTime) {
    double legEnd = 0.0;
    for (const DriveLeg& leg : kDrivePlan) {
        legEnd += leg.duration;
        if (planTime < legEnd) return leg;
    }
    return kDrivePlan[std::size(kDrivePlan) - 1];
}

}  // namespace

int PlannedQuality(double planTime) {
    for (const FixLeg& leg : kFixPlan)
        if (planTime < leg.until) return leg.quality;
    return 4;
}

double HorizontalSigma(int quality) {
    switch (quality) {
        case 1:
            return 1.8;
        case 2:
            return 0.6;
        case 5:
            return 0.25;
        case 4:
            return 0.012;
        default:
            return 0.0;
    }
}

double VelocitySigma(int quality) { return quality == 4 || quality == 5 ? 0.01 : 0.03; }

double AcquisitionDelay(int prn) { return 2.0 + (prn * 7) % 13; }
double ReacquisitionDelay(int prn) { return prn % 3; }

double SignalBias(int prn) { return ((prn * 37) % 9 - 4) * 0.5; }

double TerrainHeight(double distance) {
    return 21.0 + 8.0 * std::sin(distance / 650.0) + 3.0 * std::sin(distance / 210.0 + 1.3);
}

// In small steps, so that turns and speed changes are smooth.
void DriveOneSecond(VehicleState& v, double startTime) {
    constexpr int kSteps = 20;
    constexpr double dt = 1.0 / kSteps;
    for (int i = 0; i < kSteps; ++i) {
        const double planTime = std::fmod(startTime + i * dt, kPlanLength);
        const DriveLeg& leg = PlannedLeg(planTime);
        if (v.speed < leg.speed)
            v.speed = std::min(leg.speed, v.speed + kAcceleration * dt);
        else
            v.speed = std::max(leg.speed, v.speed - kDeceleration * dt);
        if (v.speed > 0.05) v.heading = Wrap360(v.heading + leg.turn / leg.duration * dt);
        const double step = v.speed * dt;
        Displace(v.latitude, v.longitude, step * std::cos(v.heading * kDegree), step * std::sin(v.heading * kDegree));
        v.distance += step;
    }
}

}  // namespace tolvik::sim
