#include "BroadcastOrbit.h"

#include <cmath>

namespace tolvik::sim {

namespace {

// t - reference, within half a week.
double SinceReference(double secondOfWeek, double reference) {
    double dt = secondOfWeek - reference;
    if (dt > kHalfWeek) dt -= 2.0 * kHalfWeek;
    if (dt < -kHalfWeek) dt += 2.0 * kHalfWeek;
    return dt;
}

// The value as a single-precision field carries it; out of line for the reason given in
// SessionGenerator.cpp (GCC 12's vectorizer loses the narrowing of paired stores).
__attribute__((noinline)) double NarrowToFloat(double value) { return static_cast<double>(static_cast<float>(value)); }

}  // namespace

SatelliteState PropagateBroadcast(const CGPSDataEphemeris& e, double secondOfWeek) {
    const double a = e.m_dRootA * e.m_dRootA;
    const double meanMotion = std::sqrt(kGpsEarthGM / (a * a * a)) + e.m_dDeltaN * kSemicircle * kPerMillisecond;
    const double tk = SinceReference(secondOfWeek, e.m_nToe);
    const double mean = e.m_dM0 * kSemicircle + meanMotion * tk;
    double ecc = mean;  // eccentric anomaly, by fixed-point iteration (e < 0.03 converges fast)
    for (int i = 0; i < 30; ++i) {
        const double next = mean + e.m_dE * std::sin(ecc);
        if (std::fabs(next - ecc) < 1e-15) {
            ecc = next;
            break;
        }
        ecc = next;
    }
    const double sinE = std::sin(ecc), cosE = std::cos(ecc);
    const double trueAnomaly = std::atan2(std::sqrt(1.0 - e.m_dE * e.m_dE) * sinE, cosE - e.m_dE);
    const double phi = trueAnomaly + e.m_dOmega * kSemicircle;
    const double s2 = std::sin(2.0 * phi), c2 = std::cos(2.0 * phi);
    const double u = phi + e.m_dCus * s2 + e.m_dCuc * c2;
    const double r = a * (1.0 - e.m_dE * cosE) + e.m_dCrs * s2 + e.m_dCrc * c2;
    const double i =
        e.m_dI0 * kSemicircle + e.m_dCis * s2 + e.m_dCic * c2 + e.m_dIDot * kSemicircle * kPerMillisecond * tk;
    const double node = e.m_dOmega0 * kSemicircle +
                        (e.m_dOmegaDot * kSemicircle * kPerMillisecond - kGpsEarthRate) * tk - kGpsEarthRate * e.m_nToe;
    const double xp = r * std::cos(u), yp = r * std::sin(u);
    SatelliteState s;
    s.x = xp * std::cos(node) - yp * std::cos(i) * std::sin(node);
    s.y = xp * std::sin(node) + yp * std::cos(i) * std::cos(node);
    s.z = yp * std::sin(i);
    const double tc = SinceReference(secondOfWeek, e.m_nToc);
    s.clock = e.m_dAf0 + e.m_dAf1 * tc + e.m_dAf2 * tc * tc + kRelativityF * e.m_dE * e.m_dRootA * sinE;
    return s;
}

CGPSDataEphemeris MoveReferenceTime(const CGPSDataEphemeris& e, int dt) {
    CGPSDataEphemeris moved = e;
    const double a = e.m_dRootA * e.m_dRootA;
    const double meanMotion = std::sqrt(kGpsEarthGM / (a * a * a)) / (kSemicircle * kPerMillisecond) + e.m_dDeltaN;
    const double ms = dt * 1000.0;  // the rates are per millisecond
    moved.m_nToe = e.m_nToe + dt;
    moved.m_nToc = e.m_nToc + dt;
    moved.m_dM0 = std::remainder(e.m_dM0 + meanMotion * ms, 2.0);
    moved.m_dOmega0 = std::remainder(e.m_dOmega0 + e.m_dOmegaDot * ms, 2.0);
    moved.m_dI0 = e.m_dI0 + e.m_dIDot * ms;
    const double t = dt;
    moved.m_dAf0 = NarrowToFloat(e.m_dAf0 + e.m_dAf1 * t + e.m_dAf2 * t * t);
    moved.m_dAf1 = NarrowToFloat(e.m_dAf1 + 2.0 * e.m_dAf2 * t);
    return moved;
}

}  // namespace tolvik::sim
