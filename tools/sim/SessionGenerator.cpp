#include "SessionGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <limits>
#include <numbers>
#include <set>

#include "BroadcastOrbit.h"
#include "Nmea.h"
#include "SimulatedReceiver.h"

namespace tolvik::sim {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kSpeedOfLight = 299792458.0;                // m/s
constexpr double kL1Wavelength = kSpeedOfLight / 1575.42e6;  // m
constexpr double kEarthRate = 7.2921151467e-5;               // rad/s
constexpr double kEarthGM = 3.986005e14;                     // m^3/s^2
constexpr double kOrbitRadius = 26559700.0;                  // m, GPS semi-major axis
constexpr double kInclination = 55.0 * kDegree;
constexpr double kWgsA = 6378137.0;
constexpr double kWgsE2 = 0.00669437999014;
constexpr int kLeapSeconds = 18;  // GPS minus UTC since 2017
constexpr int kSecondsPerWeek = 604800;
constexpr double kMetresPerKnotSecond = 1852.0 / 3600.0;

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

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return std::string(buffer, n < 0 ? 0 : std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

double Wrap360(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    return r < 0.0 ? r + 360.0 : r;
}

double WrapPi(double radians) { return std::remainder(radians, 2.0 * std::numbers::pi); }

// The value as a single-precision field carries it. Kept out of line: GCC 12's SLP vectorizer
// loses the narrowing when it pairs two such stores into adjacent fields (af1, af0).
__attribute__((noinline)) double NarrowToFloat(double value) { return static_cast<double>(static_cast<float>(value)); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long DaysFromCivil(const CivilDate& date) {
    const long y = date.year - (date.month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long mp = (date.month + 9) % 12;
    const long doy = (153 * mp + 2) / 5 + date.day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(long days) {
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long doe = days - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

// Seconds since the GPS epoch (1980-01-06 00:00 UTC) of a UTC moment.
double GpsSeconds(const CivilDate& date, double utcSecondOfDay) {
    const long days = DaysFromCivil(date) - DaysFromCivil(CivilDate{1980, 1, 6});
    return static_cast<double>(days) * 86400.0 + utcSecondOfDay + kLeapSeconds;
}

// ---------------------------------------------------------------------------------------------
// Geometry.

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Norm(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vec3 ToVec(const Ecef& e) { return {e.x, e.y, e.z}; }

// Radii of curvature: meridian (north) and prime vertical (east), metres.
double MeridianRadius(double latitude) {
    const double s = std::sin(latitude * kDegree);
    return kWgsA * (1.0 - kWgsE2) / std::pow(1.0 - kWgsE2 * s * s, 1.5);
}
double PrimeVerticalRadius(double latitude) {
    const double s = std::sin(latitude * kDegree);
    return kWgsA / std::sqrt(1.0 - kWgsE2 * s * s);
}

// Moves a point by north and east offsets in metres (small offsets).
void Displace(double& latitude, double& longitude, double north, double east) {
    const double lat = latitude;
    latitude += north / MeridianRadius(lat) / kDegree;
    longitude += east / (PrimeVerticalRadius(lat) * std::cos(lat * kDegree)) / kDegree;
}

// Local east, north and up components of an ECEF difference at a point (degrees).
Vec3 ToEnu(const Vec3& d, double latitude, double longitude) {
    const double sf = std::sin(latitude * kDegree), cf = std::cos(latitude * kDegree);
    const double sl = std::sin(longitude * kDegree), cl = std::cos(longitude * kDegree);
    return {-sl * d.x + cl * d.y, -sf * cl * d.x - sf * sl * d.y + cf * d.z, cf * cl * d.x + cf * sl * d.y + sf * d.z};
}

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

const double kMeanMotion = std::sqrt(kEarthGM / (kOrbitRadius * kOrbitRadius * kOrbitRadius));

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

struct LookAngles {
    double elevation;  // degrees
    double azimuth;    // degrees, [0, 360)
    Vec3 los;          // unit east, north, up towards the satellite
};

LookAngles Look(const Vec3& receiver, double latitude, double longitude, const Vec3& satellite) {
    const Vec3 enu = ToEnu(satellite - receiver, latitude, longitude);
    const double range = Norm(enu);
    LookAngles look;
    look.elevation = std::atan2(enu.z, std::hypot(enu.x, enu.y)) / kDegree;
    look.azimuth = Wrap360(std::atan2(enu.x, enu.y) / kDegree);
    look.los = {enu.x / range, enu.y / range, enu.z / range};
    return look;
}

// Dilutions of precision of a set of lines of sight (east, north, up unit vectors) for a
// position and clock solution. False with fewer than four satellites or a singular geometry.
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

// A slowly wandering error, as a receiver's solution wanders: three sines of random periods
// between 2.5 and 10 minutes, with unit standard deviation.
class Wander {
public:
    explicit Wander(Rng& rng) {
        for (Term& t : m_terms) {
            t.period = rng.Range(150.0, 600.0);
            t.phase = rng.Range(0.0, 2.0 * std::numbers::pi);
        }
    }
    double At(double t) const {
        constexpr double kAmplitude[3] = {0.9, 0.7, 0.5};  // sum of squares / 2 = 0.775
        double sum = 0.0;
        for (int i = 0; i < 3; ++i)
            sum += kAmplitude[i] * std::sin(2.0 * std::numbers::pi * t / m_terms[i].period + m_terms[i].phase);
        return sum / std::sqrt(0.775);
    }

private:
    struct Term {
        double period;
        double phase;
    } m_terms[3];
};

// ---------------------------------------------------------------------------------------------
// Sentence fields.

std::string TimeField(double secondOfDay) {
    const long long cs = std::llround(secondOfDay * 100.0) % (86400LL * 100);
    return Format("%02lld%02lld%02lld.%02lld", cs / 360000, cs / 6000 % 60, cs / 100 % 60, cs % 100);
}

// "ddmm.mmmm,N" or "dddmm.mmmm,W" (ten-thousandths of a minute).
std::string AngleField(double degrees, int degreeDigits, char positive, char negative) {
    const long long units = std::llround(std::fabs(degrees) * 600000.0);
    const long long minutes = units % 600000;
    return Format("%0*lld%02lld.%04lld,%c", degreeDigits, units / 600000, minutes / 10000, minutes % 10000,
                  degrees < 0.0 ? negative : positive);
}

std::string CourseField(double degrees) {
    const long long tenths = std::llround(Wrap360(degrees) * 10.0) % 3600;
    return Format("%03lld.%lld", tenths / 10, tenths % 10);
}

std::string DateField(const CivilDate& date) { return Format("%02d%02d%02d", date.day, date.month, date.year % 100); }

std::string Sentence(const std::string& body) { return NmeaWithChecksum(body); }

// ---------------------------------------------------------------------------------------------
// The session's plans: what the vehicle does and what fix the receiver has. Longer sessions
// repeat them every six minutes, the receiver starting its search for satellites afresh.

constexpr double kPlanLength = 360.0;

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

constexpr double kUnderpassStart = 196.0;
constexpr double kUnderpassEnd = 204.0;

int PlannedQuality(double planTime) {
    for (const FixLeg& leg : kFixPlan)
        if (planTime < leg.until) return leg.quality;
    return 4;
}

const DriveLeg& PlannedLeg(double planTime) {
    double legEnd = 0.0;
    for (const DriveLeg& leg : kDrivePlan) {
        legEnd += leg.duration;
        if (planTime < legEnd) return leg;
    }
    return kDrivePlan[std::size(kDrivePlan) - 1];
}

// Standard deviation of the solution's horizontal error for each quality, metres.
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

// A satellite is heard this many seconds after the receiver starts listening again.
double AcquisitionDelay(int prn) { return 2.0 + (prn * 7) % 13; }
double ReacquisitionDelay(int prn) { return prn % 3; }

// Receivers differ in how strongly they hear each satellite; a fixed offset per PRN.
double SignalBias(int prn) { return ((prn * 37) % 9 - 4) * 0.5; }

// ---------------------------------------------------------------------------------------------
// The vehicle.

struct VehicleState {
    double latitude;
    double longitude;
    double heading;   // degrees
    double speed;     // m/s
    double distance;  // travelled, m
};

double TerrainHeight(double distance) {
    return 21.0 + 8.0 * std::sin(distance / 650.0) + 3.0 * std::sin(distance / 210.0 + 1.3);
}

// Advances the vehicle by one second, in small steps.
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

// The first whole minute from the earliest start at which a satellite rises and another sets
// within the session; the earliest start itself if no such minute comes within three hours.
double ChooseStart(const SessionOptions& options, const std::vector<OrbitSlot>& constellation) {
    const Vec3 receiver = ToVec(
        GeodeticToEcef(options.originLatitude, options.originLongitude, options.geoidSeparation + TerrainHeight(0.0)));
    const int duration = std::max(1, options.minutes) * 60;
    for (int candidate = 0; candidate < 180; ++candidate) {
        const double start = options.earliestStartSecondOfDay + 60.0 * candidate;
        bool rose = false, set = false;
        std::set<int> previous;
        for (int t = 0; t <= duration - 1; t += 10) {
            std::set<int> visible;
            const double gps = GpsSeconds(options.date, start + t);
            for (const OrbitSlot& slot : constellation) {
                const LookAngles look =
                    Look(receiver, options.originLatitude, options.originLongitude, SatellitePosition(slot, gps));
                if (look.elevation >= 0.0) visible.insert(slot.prn);
            }
            if (t > 0) {
                for (int prn : visible) rose |= previous.count(prn) == 0;
                for (int prn : previous) set |= visible.count(prn) == 0;
            }
            previous = std::move(visible);
        }
        if (rose && set) return start;
    }
    return options.earliestStartSecondOfDay;
}

// Which satellites the receiver lists, hears and uses in an epoch, and what fix that allows.
void ObserveSky(SessionEpoch& epoch, const SessionOptions& options, const std::vector<OrbitSlot>& constellation,
                double gpsSeconds, double planTime, Rng& rng) {
    const Vec3 receiver =
        ToVec(GeodeticToEcef(epoch.trueLatitude, epoch.trueLongitude, epoch.trueAltitude + options.geoidSeparation));
    const bool underpass = planTime >= kUnderpassStart && planTime < kUnderpassEnd;
    std::vector<std::pair<double, std::size_t>> usable;  // (elevation, index)
    std::vector<Vec3> lines;
    for (const OrbitSlot& slot : constellation) {
        const LookAngles look =
            Look(receiver, epoch.trueLatitude, epoch.trueLongitude, SatellitePosition(slot, gpsSeconds));
        if (look.elevation < 0.0) continue;
        SatelliteView view;
        view.prn = slot.prn;
        view.elevation = look.elevation;
        view.azimuth = look.azimuth;
        const bool heard = planTime >= AcquisitionDelay(slot.prn) && !underpass &&
                           !(planTime >= kUnderpassEnd && planTime < kUnderpassEnd + ReacquisitionDelay(slot.prn)) &&
                           look.elevation >= 2.0;
        const double noise = rng.Normal();
        if (heard) {
            const double snr = 30.0 + 20.0 * std::sin(look.elevation * kDegree) + SignalBias(slot.prn) + 0.8 * noise;
            view.snr = static_cast<int>(std::clamp(std::lround(snr), 15L, 55L));
        }
        if (view.snr >= 30 && look.elevation >= options.elevationMask)
            usable.push_back({look.elevation, epoch.satellites.size()});
        epoch.satellites.push_back(view);
        lines.push_back(look.los);
    }
    std::sort(usable.begin(), usable.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (usable.size() > 12) usable.resize(12);

    epoch.quality = PlannedQuality(planTime);
    std::vector<Vec3> used;
    for (const auto& u : usable) used.push_back(lines[u.second]);
    if (epoch.quality == 0 || !Dilutions(used, epoch.hdop, epoch.pdop, epoch.vdop)) {
        epoch.quality = 0;
        epoch.hdop = epoch.pdop = epoch.vdop = 99.99;
        return;
    }
    for (const auto& u : usable) epoch.satellites[u.second].used = true;
    epoch.satellitesUsed = static_cast<int>(usable.size());
}

// The receiver's solution: the truth plus a wandering error of the fix's size, a velocity with
// a little noise, the error estimates and the age of the corrections.
void Solve(SessionEpoch& epoch, const Wander (&wander)[3], double& lastCourse, Rng& rng) {
    const double vn = epoch.trueSpeed * std::cos(epoch.trueCourse * kDegree);
    const double ve = epoch.trueSpeed * std::sin(epoch.trueCourse * kDegree);
    const double noiseN = rng.Normal(), noiseE = rng.Normal(), ageJitter = rng.Uniform();
    if (!epoch.HasFix()) return;
    const double sigma = HorizontalSigma(epoch.quality);
    const double t = epoch.index;
    epoch.latitude = epoch.trueLatitude;
    epoch.longitude = epoch.trueLongitude;
    Displace(epoch.latitude, epoch.longitude, sigma * wander[0].At(t), sigma * wander[1].At(t));
    epoch.altitude = epoch.trueAltitude + 1.7 * sigma * wander[2].At(t);

    const double sv = VelocitySigma(epoch.quality);
    const double rn = vn + sv * noiseN, re = ve + sv * noiseE;
    epoch.speed = std::hypot(rn, re);
    // Standing still, receivers keep showing the last course they had while moving.
    if (epoch.trueSpeed > 0.5) lastCourse = Wrap360(std::atan2(re, rn) / kDegree);
    epoch.course = lastCourse;

    epoch.horizontalError = 2.0 * sigma * epoch.hdop;
    epoch.verticalError = 2.0 * 1.7 * sigma * epoch.vdop;
    epoch.sphericalError = std::hypot(epoch.horizontalError, epoch.verticalError);
    if (epoch.quality == 2) epoch.correctionAge = 1.0 + std::fmod(t, 5.0);  // beacon, every 5 s
    if (epoch.quality == 4 || epoch.quality == 5) epoch.correctionAge = 0.4 + 0.6 * ageJitter;
}

// ---------------------------------------------------------------------------------------------
// The sentences of one epoch.

const char* ModeLetter(int quality) {
    switch (quality) {
        case 1:
            return "A";
        case 2:
            return "D";
        case 4:
            return "R";
        case 5:
            return "F";
        default:
            return "N";
    }
}

const char* ModeName(int quality) {
    switch (quality) {
        case 1:
            return "GPS";
        case 2:
            return "DGPS";
        case 4:
            return "FIXED";
        case 5:
            return "FLOAT";
        default:
            return "NOFIX";
    }
}

constexpr double kMagneticVariation = -9.8;  // degrees, west

// $GPRMC,094312.00,A,6407.6980,N,02151.4200,W,013.6,164.2,140325,9.8,W,R*hh
std::string Rmc(const SessionEpoch& e) {
    const std::string time = TimeField(e.utcSecondOfDay), date = DateField(e.date);
    if (!e.HasFix()) return Sentence("GPRMC," + time + ",V,,,,,,," + date + ",,,N");
    return Sentence("GPRMC," + time + ",A," + AngleField(e.latitude, 2, 'N', 'S') + "," +
                    AngleField(e.longitude, 3, 'E', 'W') + "," + Format("%05.1f", e.speed / kMetresPerKnotSecond) +
                    "," + CourseField(e.course) + "," + date +
                    Format(",%.1f,%c,", std::fabs(kMagneticVariation), kMagneticVariation < 0.0 ? 'W' : 'E') +
                    ModeLetter(e.quality));
}

// $GPVTG,164.2,T,174.0,M,013.6,N,025.2,K,R*hh
std::string Vtg(const SessionEpoch& e) {
    if (!e.HasFix()) return Sentence("GPVTG,,T,,M,,N,,K,N");
    return Sentence("GPVTG," + CourseField(e.course) + ",T," + CourseField(e.course - kMagneticVariation) + ",M," +
                    Format("%05.1f,N,%05.1f,K,", e.speed / kMetresPerKnotSecond, e.speed * 3.6) +
                    ModeLetter(e.quality));
}

// $GPGGA,094312.00,6407.6980,N,02151.4200,W,4,09,0.98,24.6,M,65.8,M,0.7,0042*hh
std::string Gga(const SessionEpoch& e) {
    const std::string time = TimeField(e.utcSecondOfDay);
    if (!e.HasFix()) return Sentence("GPGGA," + time + ",,,,,0,00,99.99,,,,,,");
    std::string correction = ",";
    if (e.quality == 2) correction = Format("%.1f,0120", e.correctionAge);
    if (e.quality == 4 || e.quality == 5) correction = Format("%.1f,0042", e.correctionAge);
    return Sentence(
        "GPGGA," + time + "," + AngleField(e.latitude, 2, 'N', 'S') + "," + AngleField(e.longitude, 3, 'E', 'W') +
        Format(",%d,%02d,%.2f,%.1f,M,%.1f,M,", e.quality, e.satellitesUsed, e.hdop, e.altitude, e.geoidSeparation) +
        correction);
}

// $GPGSA,A,3,02,05,07,12,19,25,30,,,,,,1.71,0.98,1.40*hh
std::string Gsa(const SessionEpoch& e) {
    std::string body = e.HasFix() ? "GPGSA,A,3" : "GPGSA,A,1";
    int listed = 0;
    for (const SatelliteView& s : e.satellites)
        if (s.used) body += Format(",%02d", s.prn), ++listed;
    for (; listed < 12; ++listed) body += ",";
    return Sentence(body + Format(",%.2f,%.2f,%.2f", e.pdop, e.hdop, e.vdop));
}

// $GPGSV,3,1,11,02,48,113,44,05,23,061,38,07,71,204,46,12,05,318,*hh
std::vector<std::string> Gsv(const SessionEpoch& e) {
    const int count = static_cast<int>(e.satellites.size());
    const int total = std::max(1, (count + 3) / 4);
    std::vector<std::string> group;
    for (int n = 1; n <= total; ++n) {
        std::string body = Format("GPGSV,%d,%d,%02d", total, n, count);
        for (int i = 4 * (n - 1); i < std::min(count, 4 * n); ++i) {
            const SatelliteView& s = e.satellites[static_cast<std::size_t>(i)];
            body += Format(",%02d,%02ld,%03ld,", s.prn, std::lround(s.elevation), std::lround(s.azimuth) % 360);
            if (s.snr > 0) body += Format("%02d", s.snr);
        }
        group.push_back(Sentence(body));
    }
    return group;
}

// $PGRME,1.9,M,3.3,M,3.8,M*hh (Garmin-style estimated errors, metres)
std::string Pgrme(const SessionEpoch& e) {
    return Sentence(Format("PGRME,%.1f,M,%.1f,M,%.1f,M", e.horizontalError, e.verticalError, e.sphericalError));
}

// $PTLVK,STAT,FIXED,11,0.7*hh (our own status sentence: mode, satellites heard, correction age)
std::string Ptlvk(const SessionEpoch& e) {
    int heard = 0;
    for (const SatelliteView& s : e.satellites) heard += s.snr > 0 ? 1 : 0;
    const std::string age = e.correctionAge > 0.0 ? Format("%.1f", e.correctionAge) : "";
    return Sentence(Format("PTLVK,STAT,%s,%02d,", ModeName(e.quality), heard) + age);
}

std::string PauseLine(const SessionEpoch& e) {
    return "VEK PAUSE,Sample session paused before " + TimeField(e.utcSecondOfDay).substr(0, 6) + " UTC";
}

void AppendSentences(std::vector<std::string>& lines, const SessionEpoch& e, int previousQuality) {
    lines.push_back(Rmc(e));
    lines.push_back(Vtg(e));
    lines.push_back(Gga(e));
    lines.push_back(Gsa(e));
    for (std::string& s : Gsv(e)) lines.push_back(std::move(s));
    if (e.HasFix() && e.index % 5 == 0) lines.push_back(Pgrme(e));
    if (e.quality != previousQuality || e.index % 30 == 0) lines.push_back(Ptlvk(e));
}

// ---------------------------------------------------------------------------------------------
// Raw session pieces.

struct TrackedSatellite {
    OrbitSlot slot;
    double lockSeconds;  // how long the receiver has tracked it at the first epoch
    double ambiguity;    // cycles, fixed while locked
    int lostAtEpoch;     // first epoch without it; INT_MAX when kept
};

double GeometricRange(const OrbitSlot& slot, double gpsSeconds, const Vec3& receiver) {
    return Norm(SatellitePosition(slot, gpsSeconds) - receiver);
}

// A broadcast ephemeris close to the orbit model, with plausible correction terms, in the units
// an Ashtech-style receiver sends (semicircles, semicircles per millisecond; BroadcastOrbit.h).
// From then on the ephemeris, not the model, is the satellite's orbit.
CGPSDataEphemeris MakeEphemeris(const OrbitSlot& slot, int week, double secondOfWeek, Rng& rng) {
    constexpr double kRatePerMs = kSemicircle * kPerMillisecond;  // rad/s in one semicircle/ms
    CGPSDataEphemeris e;
    const int toe = static_cast<int>(secondOfWeek / 7200.0) * 7200;
    const double weekStart = static_cast<double>(week) * kSecondsPerWeek;
    const double perigee = rng.Range(-std::numbers::pi, std::numbers::pi);
    e.m_nPRN = static_cast<std::int16_t>(slot.prn);
    e.m_nWeek = static_cast<std::int16_t>(week);
    e.m_nTOW = static_cast<std::int32_t>(secondOfWeek / 6.0) * 6;
    e.m_dTgd = NarrowToFloat(rng.Range(-1.2e-8, 1.0e-8));
    e.m_nAODE = (slot.prn * 13 + toe / 7200) % 256;
    e.m_nAODC = e.m_nAODE;
    e.m_nToc = toe;
    e.m_dAf2 = 0.0;
    e.m_dAf1 = NarrowToFloat(rng.Range(-5e-12, 5e-12));
    e.m_dAf0 = NarrowToFloat(rng.Range(-3e-4, 3e-4));
    e.m_dDeltaN = NarrowToFloat(rng.Range(4.0e-9, 5.5e-9) / kRatePerMs);
    e.m_dM0 = WrapPi(ArgumentOfLatitude(slot, weekStart + toe) - perigee) / kSemicircle;
    e.m_dE = rng.Range(0.001, 0.015);
    e.m_dRootA = std::sqrt(kOrbitRadius);
    e.m_nToe = toe;
    e.m_dCic = NarrowToFloat(rng.Range(-2e-7, 2e-7));
    e.m_dCrc = NarrowToFloat(rng.Range(150.0, 330.0));
    e.m_dCis = NarrowToFloat(rng.Range(-2e-7, 2e-7));
    e.m_dCrs = NarrowToFloat(rng.Range(-120.0, 120.0));
    e.m_dCuc = NarrowToFloat(rng.Range(-8e-6, 8e-6));
    e.m_dCus = NarrowToFloat(rng.Range(-8e-6, 8e-6));
    e.m_dOmega0 = WrapPi(NodeLongitude(slot, weekStart)) / kSemicircle;
    e.m_dOmega = perigee / kSemicircle;
    e.m_dI0 = kInclination / kSemicircle;
    e.m_dOmegaDot = NarrowToFloat(rng.Range(-8.5e-9, -7.8e-9) / kRatePerMs);
    e.m_dIDot = NarrowToFloat(rng.Range(-5e-10, 5e-10) / kRatePerMs);
    return e;
}

// The next issue of a satellite's data: the same orbit and clock referred to the next two-hour
// reference time, with its own issue number, sent at the given time of week.
CGPSDataEphemeris NextIssue(const CGPSDataEphemeris& e, double secondOfWeek) {
    CGPSDataEphemeris next = MoveReferenceTime(e, 7200);
    next.m_nTOW = static_cast<std::int32_t>(secondOfWeek / 6.0) * 6;
    next.m_nAODE = (next.m_nPRN * 13 + next.m_nToe / 7200) % 256;
    next.m_nAODC = next.m_nAODE;
    return next;
}

// The issue a receiver would use at a time: the one with the nearest orbit reference time.
const CGPSDataEphemeris& CurrentIssue(const std::vector<CGPSDataEphemeris>& issues, double secondOfWeek) {
    const CGPSDataEphemeris* best = &issues.front();
    for (const CGPSDataEphemeris& e : issues)
        if (std::fabs(secondOfWeek - e.m_nToe) < std::fabs(secondOfWeek - best->m_nToe)) best = &e;
    return *best;
}

// What a receiver measures from one satellite at one moment, before noise.
struct Signal {
    double pseudorange;  // metres: geometry, receiver clock, satellite clock and group delay
    Vec3 position;       // the satellite at transmission, in the Earth frame at reception
};

// The signal that reaches the antenna at GPS time t (seconds of the week) while the receiver's
// clock is ahead by clockOffset metres: the satellite at transmission time, turned with the
// Earth during the flight, and its L1 clock (polynomial, relativistic term, group delay).
Signal Receive(const CGPSDataEphemeris& e, double t, double clockOffset, const Vec3& antenna) {
    double flight = 0.075;  // s, a first guess
    SatelliteState s;
    Vec3 turned;
    for (int i = 0; i < 5; ++i) {
        s = PropagateBroadcast(e, t - flight);
        const double angle = kGpsEarthRate * flight;
        turned = {s.x * std::cos(angle) + s.y * std::sin(angle), -s.x * std::sin(angle) + s.y * std::cos(angle), s.z};
        flight = Norm(turned - antenna) / kSpeedOfLight;
    }
    return {flight * kSpeedOfLight + clockOffset - kSpeedOfLight * (s.clock - e.m_dTgd), turned};
}

std::vector<TrackedSatellite> ChooseTracked(const RawSessionOptions& options, const Vec3& receiver, Rng& rng) {
    const double gps = GpsSeconds(options.date, options.startSecondOfDay);
    std::vector<std::pair<double, OrbitSlot>> candidates;
    for (const OrbitSlot& slot : Constellation()) {
        const LookAngles look = Look(receiver, options.latitude, options.longitude, SatellitePosition(slot, gps));
        if (look.elevation >= 10.0) candidates.push_back({look.elevation, slot});
    }
    std::sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    const std::size_t n = std::min(static_cast<std::size_t>(std::max(0, options.satellites)), candidates.size());
    std::vector<TrackedSatellite> tracked;
    for (std::size_t i = 0; i < n; ++i) {
        const OrbitSlot& slot = candidates[i].second;
        const double range = GeometricRange(slot, gps, receiver);
        tracked.push_back({slot, std::floor(rng.Range(120.0, 2400.0)),
                           -std::round(range / kL1Wavelength) + std::round(rng.Range(-2000.0, 2000.0)),
                           std::numeric_limits<int>::max()});
    }
    // The lowest satellite drops out two thirds of the way through, so epochs differ in size;
    // never below the four a raw epoch needs.
    if (tracked.size() >= 5) tracked.back().lostAtEpoch = std::max(1, 2 * options.epochs / 3);
    return tracked;
}

std::string RawNmea(const RawEpoch& epoch, const RawSessionOptions& options, double hdop, const CivilDate& date) {
    const std::string time = TimeField(epoch.utcSecondOfDay);
    std::string out;
    out += Sentence("GPGGA," + time + "," + AngleField(epoch.latitude, 2, 'N', 'S') + "," +
                    AngleField(epoch.longitude, 3, 'E', 'W') +
                    Format(",1,%02d,%.2f,%.1f,M,%.1f,M,,", static_cast<int>(epoch.measurements.size()), hdop,
                           epoch.height - options.geoidSeparation, options.geoidSeparation)) +
           "\r\n";
    out += Sentence("GPVTG,000.0,T,009.8,M,000.0,N,000.0,K,A") + "\r\n";
    out += Sentence("GPZDA," + time + Format(",%02d,%02d,%04d,00,00", date.day, date.month, date.year)) + "\r\n";
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void GpsTimeOf(const CivilDate& date, double utcSecondOfDay, int& week, double& secondOfWeek) {
    const double seconds = GpsSeconds(date, utcSecondOfDay);
    week = static_cast<int>(std::floor(seconds / kSecondsPerWeek));
    secondOfWeek = seconds - static_cast<double>(week) * kSecondsPerWeek;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

Session SimulateSession(const SessionOptions& options) {
    const std::vector<OrbitSlot> constellation = Constellation();
    const double start = ChooseStart(options, constellation);
    Rng rng(options.seed);
    const Wander wander[3] = {Wander(rng), Wander(rng), Wander(rng)};
    const std::set<int> pauses(options.pauseBeforeEpochs.begin(), options.pauseBeforeEpochs.end());

    VehicleState vehicle{options.originLatitude, options.originLongitude, Wrap360(options.originHeading), 0.0, 0.0};
    double lastCourse = vehicle.heading;
    int previousQuality = -1;
    Session session;
    const int count = std::max(0, options.minutes) * 60;
    for (int i = 0; i < count; ++i) {
        if (i > 0) DriveOneSecond(vehicle, i - 1.0);
        SessionEpoch e;
        e.index = i;
        const double utc = start + i;
        const long dayOffset = static_cast<long>(std::floor(utc / 86400.0));
        e.utcSecondOfDay = utc - 86400.0 * static_cast<double>(dayOffset);
        e.date = CivilFromDays(DaysFromCivil(options.date) + dayOffset);
        e.trueLatitude = vehicle.latitude;
        e.trueLongitude = vehicle.longitude;
        e.trueAltitude = TerrainHeight(vehicle.distance);
        e.trueSpeed = vehicle.speed;
        e.trueCourse = vehicle.heading;
        e.geoidSeparation = options.geoidSeparation;
        ObserveSky(e, options, constellation, GpsSeconds(options.date, utc),
                   std::fmod(static_cast<double>(i), kPlanLength), rng);
        Solve(e, wander, lastCourse, rng);

        if (pauses.count(i)) session.lines.push_back(PauseLine(e));
        AppendSentences(session.lines, e, previousQuality);
        previousQuality = e.quality;
        session.epochs.push_back(std::move(e));
    }
    return session;
}

std::vector<std::string> GenerateSession(const SessionOptions& options) { return SimulateSession(options).lines; }

RawSession GenerateRawSession(const RawSessionOptions& options) {
    Rng rng(options.seed ^ 0x5241574C4F47ull);  // "RAWLOG": independent of the NMEA session
    const Vec3 antenna = ToVec(GeodeticToEcef(options.latitude, options.longitude, options.height));
    std::vector<TrackedSatellite> tracked = ChooseTracked(options, antenna, rng);
    const Wander wander[3] = {Wander(rng), Wander(rng), Wander(rng)};
    constexpr double kSigma = 0.8;              // m, autonomous solution
    constexpr double kClockOffset0 = 153000.0;  // m
    constexpr double kClockDrift = -94.27;      // m/s
    constexpr double kRangeNoise = 0.4;         // m
    constexpr double kCarrierNoise = 0.002;     // m
    const int count = std::max(0, options.epochs);
    const auto secondOfWeekAt = [&](int i) {
        int week = 0;
        double secondOfWeek = 0.0;
        GpsTimeOf(options.date, options.startSecondOfDay + i, week, secondOfWeek);
        return secondOfWeek;
    };

    // Ephemerides as the receiver collects them: one satellite per second at first, and a new
    // issue for the first satellite later on. They are the satellites' orbits and clocks.
    std::vector<std::vector<CGPSDataEphemeris>> issues;
    const int renewAt = 2 * count / 3;
    for (std::size_t k = 0; k < tracked.size(); ++k) {
        int week = 0;
        double sow = 0.0;
        GpsTimeOf(options.date, options.startSecondOfDay + static_cast<double>(k), week, sow);
        issues.push_back({MakeEphemeris(tracked[k].slot, week, sow, rng)});
    }
    if (renewAt > 0 && !issues.empty()) issues[0].push_back(NextIssue(issues[0][0], secondOfWeekAt(renewAt)));

    RawSession session;
    for (int i = 0; i < count; ++i) {
        RawEpoch epoch;
        epoch.utcSecondOfDay = options.startSecondOfDay + i;
        const CivilDate date = options.date;  // the raw session stays well inside one day
        double secondOfWeek = 0.0;
        GpsTimeOf(date, epoch.utcSecondOfDay, epoch.gpsWeek, secondOfWeek);

        epoch.latitude = options.latitude;
        epoch.longitude = options.longitude;
        Displace(epoch.latitude, epoch.longitude, kSigma * wander[0].At(i), kSigma * wander[1].At(i));
        epoch.height = options.height + 1.7 * kSigma * wander[2].At(i);
        const Ecef solution = GeodeticToEcef(epoch.latitude, epoch.longitude, epoch.height);
        // The time tag is the receiver's clock, a whole second; true time lags it by the offset.
        epoch.pbn.towMs = static_cast<std::int32_t>(std::llround(secondOfWeek * 1000.0));
        epoch.pbn.x = solution.x;
        epoch.pbn.y = solution.y;
        epoch.pbn.z = solution.z;
        // The clock runs smoothly; PBN reports it to a float's precision (8 mm here).
        const double offset = kClockOffset0 + kClockDrift * i;
        epoch.pbn.clockOffset = static_cast<float>(offset);
        epoch.pbn.clockDrift = static_cast<float>(kClockDrift);

        for (std::size_t k = 0; k < tracked.size(); ++k) {
            if (static_cast<int>(k) == i) epoch.ephemerides.push_back(issues[k][0]);
            if (k == 0 && i == renewAt && issues[0].size() > 1) epoch.ephemerides.push_back(issues[0][1]);
        }

        const double tag = epoch.pbn.towMs * 0.001;
        const double drift = kClockDrift;
        // Noise-free pseudorange of a satellite at receiver time tag + dt.
        const auto pseudorange = [&](const CGPSDataEphemeris& e, double dt) {
            const double clock = offset + drift * dt;
            return Receive(e, tag + dt - clock / kSpeedOfLight, clock, antenna);
        };
        std::vector<Vec3> lines;
        for (std::size_t k = 0; k < tracked.size(); ++k) {
            const TrackedSatellite& sat = tracked[k];
            if (i >= sat.lostAtEpoch) continue;
            const CGPSDataEphemeris& e = CurrentIssue(issues[k], secondOfWeek);
            const Signal signal = pseudorange(e, 0.0);
            const double rate = pseudorange(e, 0.5).pseudorange - pseudorange(e, -0.5).pseudorange;
            MbnValues m;
            m.prn = sat.slot.prn;
            m.tag = static_cast<std::int32_t>(500.0 * (sat.lockSeconds + i));
            m.time = 1.0 - (signal.pseudorange + kRangeNoise * rng.Normal()) / kSpeedOfLight;
            m.doppler = static_cast<std::int32_t>(std::lround(rate / kL1Wavelength * 1e4));
            const double carrier = signal.pseudorange + kCarrierNoise * rng.Normal();
            m.phase = -(carrier / kL1Wavelength + sat.ambiguity);
            epoch.measurements.push_back(m);
            lines.push_back(Look(antenna, options.latitude, options.longitude, signal.position).los);
        }
        if (!epoch.measurements.empty()) epoch.measurements.back().lastOfEpoch = true;
        double hdop = 99.99, pdop = 0.0, vdop = 0.0;
        Dilutions(lines, hdop, pdop, vdop);

        epoch.sentences = 3;
        session.bytes += RawNmea(epoch, options, hdop, date);
        for (const CGPSDataEphemeris& e : epoch.ephemerides) session.bytes += SnvRecord(e);
        for (const MbnValues& m : epoch.measurements) session.bytes += MbnRecord(m);
        session.bytes += PbnRecord(epoch.pbn);
        session.epochs.push_back(std::move(epoch));
    }
    return session;
}

}  // namespace tolvik::sim
