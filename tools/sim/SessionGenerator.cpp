#include "SessionGenerator.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>
#include <set>

#include "BroadcastOrbit.h"
#include "DrivePlan.h"
#include "SessionSentences.h"
#include "SkyModel.h"
#include "tolvik/platform/Calendar.h"

namespace tolvik::sim {

namespace {

constexpr int kSecondsPerWeek = static_cast<int>(kSecondsPerGpsWeek);

// The value as a single-precision field carries it. Kept out of line: GCC 12's SLP vectorizer
// loses the narrowing when it pairs two such stores into adjacent fields (af1, af0).
__attribute__((noinline)) double NarrowToFloat(double value) { return static_cast<double>(static_cast<float>(value)); }

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
            const double gps = GpsSecondsOfUtc(options.date, start + t);
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
// Raw session pieces.

struct TrackedSatellite {
    OrbitSlot slot;
    double lockSeconds;  // how long the receiver has tracked it at the first epoch
    double ambiguity;    // cycles, fixed while locked
    int lostAtEpoch;     // first epoch without it; INT_MAX when kept
};

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
    const double gps = GpsSecondsOfUtc(options.date, options.startSecondOfDay);
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

}  // namespace

// ---------------------------------------------------------------------------------------------

void GpsTimeOf(const CivilDate& date, double utcSecondOfDay, int& week, double& secondOfWeek) {
    const double seconds = GpsSecondsOfUtc(date, utcSecondOfDay);
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
        ObserveSky(e, options, constellation, GpsSecondsOfUtc(options.date, utc),
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
