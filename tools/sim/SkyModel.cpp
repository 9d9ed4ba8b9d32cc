#include "SkyModel.h"

#include <algorithm>
#include <cmath>

namespace tolvik::sim {

namespace {

constexpr double kEarthRate = 7.2921151467e-5;  // rad/s
constexpr double kEarthGM = 3.986005e14;        // m^3/s^2
constexpr double kWgsA = 6378137.0;
constexpr double kWgsE2 = 0.00669437999014;

// Radii of curvature: meridian (north) and prime vertical (east), metres.
double MeridianRadius(double latitude) {
    const double s = std::sin(latitude * kDegree);
    return kWgsA * (1.0 - kWgsE2) / std::pow(1.0 - kWgsE2 * s * s, 1.5);
}
double PrimeVerticalRadius(double latitude) {
    const double s = std::sin(latitude * kDegree);
    return kWgsA / std::sqrt(1.0 - kWgsE2 * s * s);
}

const double kMeanMotion = std::sqrt(kEarthGM / (kOrbitRadius * kOrbitRadius * kOrbitRadius));

}  // namespace

double Wrap360(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    return r < 0.0 ? r + 360.0 : r;
}

double WrapPi(double radians) { return std::remainder(radians, 2.0 * std::numbers::pi); }

Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Norm(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vec3 ToVec(const Ecef& e) { return {e.x, e.y, e.z}; }

void Displace(double& latitude, double& longitude, double north, double east) {
    const double lat = latitude;
    latitude += north / MeridianRadius(lat) / kDegree;
    longitude += east / (PrimeVerticalRadius(lat) * std::cos(lat * kDegree)) / kDegree;
}

Vec3 ToEnu(const Vec3& d, double latitude, double longitude) {
    const double sf = std::sin(latitude * kDegree), cf = std::cos(latitude * kDegree);
    const double sl = std::sin(longitude * kDegree), cl = std::cos(longitude * kDegree);
    return {-sl * d.x + cl * d.y, -sf * cl * d.x - sf * sl * d.y + cf * d.z, cf * cl * d.x + cf * sl * d.y + sf * d.z};
}

std::vector<OrbitSlot> Constellation() {
    static constexpr int kPrns[31] = {7,  25, 12, 2,  19, 3,  30, 14, 21, 9,  16, 5,  27, 11, 23, 1,
                                      18, 29, 8,  32, 10, 26, 15, 6,  22, 13, 20, 31, 17, 24, 28};
    static constexpr double kIrregular[6] = {0.0, 3.5, -4.0, 6.0, -2.5, 5.0};  // degrees
    std::vector<OrbitSlot> slots;
    for (int i = 0; i < 31; ++i) {
        const int plane = i < 30 ? i / 5 : 5;
        const double argument =
            i < 30 ? 72.0 * (i % 5) + 11.0 * plane + kIrregular[(i + plane) % 6] : 36.0 + 11.0 * plane;
        slots.push_back({kPrns[i], (17.0 + 60.0 * plane) * kDegree, argument * kDegree});
    }
    std::sort(slots.begin(), slots.end(), [](const OrbitSlot& a, const OrbitSlot& b) { return a.prn < b.prn; });
    return slots;
}

double ArgumentOfLatitude(const OrbitSlot& slot, double gpsSeconds) {
    return slot.argument + std::fmod(kMeanMotion * gpsSeconds, 2.0 * std::numbers::pi);
}
double NodeLongitude(const OrbitSlot& slot, double gpsSeconds) {
    return slot.node - std::fmod(kEarthRate * gpsSeconds, 2.0 * std::numbers::pi);
}

Vec3 SatellitePosition(const OrbitSlot& slot, double gpsSeconds) {
    const double u = ArgumentOfLatitude(slot, gpsSeconds);
    const double node = NodeLongitude(slot, gpsSeconds);
    const double cu = std::cos(u), su = std::sin(u), cn = std::cos(node), sn = std::sin(node);
    const double ci = std::cos(kInclination), si = std::sin(kInclination);
    return {kOrbitRadius * (cu * cn - su * ci * sn), kOrbitRadius * (cu * sn + su * ci * cn), kOrbitRadius * su * si};
}

double GeometricRange(const OrbitSlot& slot, double gpsSeconds, const Vec3& receiver) {
    return Norm(SatellitePosition(slot, gpsSeconds) - receiver);
}

LookAngles Look(const Vec3& receiver, double latitude, double longitude, const Vec3& satellite) {
    const Vec3 enu = ToEnu(satellite - receiver, latitude, longitude);
    const double range = Norm(enu);
    LookAngles look;
    look.elevation = std::atan2(enu.z, std::hypot(enu.x, enu.y)) / kDegree;
    look.azimuth = Wrap360(std::atan2(enu.x, enu.y) / kDegree);
    look.los = {enu.x / range, enu.y / range, enu.z / range};
    return look;
}

bool Dilutions(const std::vector<Vec3>& lines, double& hdop, double& pdop, double& vdop) {
    if (lines.size() < 4) return false;
    double m[4][8] = {};
    for (const Vec3& l : lines) {
        const double row[4] = {-l.x, -l.y, -l.z, 1.0};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m[r][c] += row[r] * row[c];
    }
    for (int r = 0; r < 4; ++r) m[r][4 + r] = 1.0;
    for (int col = 0; col < 4; ++col) {  // Gauss-Jordan with partial pivoting
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        if (std::fabs(m[pivot][col]) < 1e-12) return false;
        std::swap(m[col], m[pivot]);
        const double p = m[col][col];
        for (double& v : m[col]) v /= p;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const double f = m[r][col];
            for (int c = 0; c < 8; ++c) m[r][c] -= f * m[col][c];
        }
    }
    hdop = std::sqrt(m[0][4] + m[1][5]);
    vdop = std::sqrt(m[2][6]);
    pdop = std::sqrt(m[0][4] + m[1][5] + m[2][6]);
    return true;
}

Wander::Wander(Rng& rng) {
    for (Term& t : m_terms) {
        t.period = rng.Range(150.0, 600.0);
        t.phase = rng.Range(0.0, 2.0 * std::numbers::pi);
    }
}

double Wander::At(double t) const {
    constexpr double kAmplitude[3] = {0.9, 0.7, 0.5};  // sum of squares / 2 = 0.775
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        sum += kAmplitude[i] * std::sin(2.0 * std::numbers::pi * t / m_terms[i].period + m_terms[i].phase);
    return sum / std::sqrt(0.775);
}

}  // namespace tolvik::sim
