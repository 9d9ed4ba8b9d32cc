// Geodesy, orbits and the noise of the sample sessions (SessionGenerator.h): points on the
// WGS 84 ellipsoid, a GPS-like constellation, look angles and dilutions of precision, and a
// deterministic random generator.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "RawRecords.h"

namespace tolvik::sim {

inline constexpr double kDegree = std::numbers::pi / 180.0;
inline constexpr double kSpeedOfLight = 299792458.0;                // m/s
inline constexpr double kL1Wavelength = kSpeedOfLight / 1575.42e6;  // m
inline constexpr double kOrbitRadius = 26559700.0;                  // m, GPS semi-major axis
inline constexpr double kInclination = 55.0 * kDegree;

// ---------------------------------------------------------------------------------------------
// Small deterministic helpers. The standard distributions are not the same in every standard
// library, so the numbers come from our own generator and our own transforms.

class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {  // splitmix64
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Range(double low, double high) { return low + (high - low) * Uniform(); }
    double Normal() {  // Box-Muller, one of the pair
        const double u1 = 1.0 - Uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * Uniform());
    }

private:
    std::uint64_t m_state;
};

// A slowly wandering error, as a receiver's solution wanders: three sines of random periods
// between 2.5 and 10 minutes, with unit standard deviation.
class Wander {
public:
    explicit Wander(Rng& rng);
    double At(double t) const;

private:
    struct Term {
        double period;
        double phase;
    } m_terms[3];
};

double Wrap360(double degrees);
double WrapPi(double radians);

// ---------------------------------------------------------------------------------------------
// Geometry.

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
Vec3 operator-(const Vec3& a, const Vec3& b);
double Norm(const Vec3& v);
Vec3 ToVec(const Ecef& e);

// Moves a point by north and east offsets in metres (small offsets).
void Displace(double& latitude, double& longitude, double north, double east);
// Local east, north and up components of an ECEF difference at a point (degrees).
Vec3 ToEnu(const Vec3& d, double latitude, double longitude);

// ---------------------------------------------------------------------------------------------
// A GPS-like constellation: 31 satellites on circular orbits in six planes. Not the real
// almanac, but the right heights, periods and inclination, so satellites rise, set and cross the
// sky at the rates a receiver sees.

struct OrbitSlot {
    int prn;
    double node;      // right ascension of the ascending node at the GPS epoch, radians
    double argument;  // argument of latitude at the GPS epoch, radians
};

// By PRN, the order receivers list them in.
std::vector<OrbitSlot> Constellation();
double ArgumentOfLatitude(const OrbitSlot& slot, double gpsSeconds);
double NodeLongitude(const OrbitSlot& slot, double gpsSeconds);
Vec3 SatellitePosition(const OrbitSlot& slot, double gpsSeconds);
double GeometricRange(const OrbitSlot& slot, double gpsSeconds, const Vec3& receiver);

struct LookAngles {
    double elevation;  // degrees
    double azimuth;    // degrees, [0, 360)
    Vec3 los;          // unit east, north, up towards the satellite
};

LookAngles Look(const Vec3& receiver, double latitude, double longitude, const Vec3& satellite);

// Dilutions of precision of a set of lines of sight (east, north, up unit vectors) for a
// position and clock solution. False with fewer than four satellites or a singular geometry.
bool Dilutions(const std::vector<Vec3>& lines, double& hdop, double& pdop, double& vdop);

}  // namespace tolvik::sim
