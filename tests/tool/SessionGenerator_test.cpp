// The bundled sample recordings and their generator: the committed files are the generator's
// output, the session reads like a receiver's, and the raw log decodes to the encoded values.
// GCC 12 reports uninitialised members inside <regex> in optimised sanitizer builds; they are not.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "sim/BroadcastOrbit.h"
#include "sim/SessionGenerator.h"
#include "support/TestSupport.h"
#include "tolvik/framing/CBinBuffer.h"

namespace tolvik {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
using Fields = std::vector<std::string>;                   // the header first, no checksum
using Epoch = std::map<std::string, std::vector<Fields>>;  // an epoch's sentences by header

// The epochs of a session's lines; each starts at RMC.
std::vector<Epoch> SplitEpochs(const std::vector<std::string>& lines) {
    std::vector<Epoch> epochs;
    for (const std::string& line : lines) {
        Fields f(1);
        for (const char c : line.substr(0, line.find('*'))) c == ',' ? f.emplace_back() : f.back() += c;
        if (f[0] == "$GPRMC") epochs.emplace_back();
        epochs.back()[f[0]].push_back(std::move(f));
    }
    return epochs;
}

// "ddmm.mmmm" with its hemisphere letter, in degrees.
double Degrees(const std::string& value, const std::string& hemisphere) {
    const double v = std::stod(value);
    const double degrees = std::trunc(v / 100.0) + std::fmod(v, 100.0) / 60.0;
    return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

TEST(SampleFilesTest, CommittedFilesAreTheGeneratorsOutput) {
    const std::pair<const char*, std::string> files[] = {{"data/sample.log", sim::JoinLines(sim::GenerateSession({}))},
                                                         {"data/sample-raw.bin", sim::GenerateRawSession({}).bytes}};
    EXPECT_EQ(files[0].second.find('\r'), std::string::npos);  // LF line ends
    for (const auto& [path, generated] : files) {
        const std::string committed = test::ReadFile(test::ProjectFile(path));
        const auto at = static_cast<std::size_t>(std::ranges::mismatch(generated, committed).in1 - generated.begin());
        EXPECT_TRUE(committed == generated)
            << path << " differs at byte " << at << ", in \"" << generated.substr(generated.rfind('\n', at) + 1, 80)
            << "\"; run tolvik_samplegen";
    }
}

// Each sentence in the form a receiver writes it (field widths, hemisphere letters, empty fields
// without a fix), within the NMEA length, with its checksum, and classified as its kind.
TEST(SessionGeneratorTest, EverySentenceHasItsFormChecksumAndKind) {
    const std::string t = R"(\d{6}\.\d\d,)", at = R"(\d{4}\.\d{4},[NS],\d{5}\.\d{4},[EW],)";
    const std::string gga = R"([1245],\d\d,\d+\.\d\d,(-?\d+\.\d,M,){2}(\d+\.\d)?,(\d{4})?)";
    const std::tuple<const char*, std::regex, int> kinds[] = {
        {"RMC", std::regex("GPRMC," + t + "A," + at + R"((\d{3}\.\d,){2}\d{6},9\.8,W,[ADFR])"), 7},
        {"RMC none", std::regex("GPRMC," + t + R"(V,,,,,,,\d{6},,,N)"), 7},
        {"VTG", std::regex(R"(GPVTG,\d{3}\.\d,T,\d{3}\.\d,M,\d{3}\.\d,N,\d{3}\.\d,K,[ADFR])"), 8},
        {"VTG none", std::regex("GPVTG,,T,,M,,N,,K,N"), 8},
        {"GGA", std::regex("GPGGA," + t + at + gga), 2},
        {"GGA none", std::regex("GPGGA," + t + R"(,,,,0,00,99\.99,,,,,,)"), 2},
        {"GSA", std::regex(R"(GPGSA,A,[13](,(\d\d)?){12}(,\d+\.\d\d){3})"), 5},
        {"GSV", std::regex(R"(GPGSV,[1-4],[1-4],\d\d(,\d\d,\d\d,\d{3},(\d\d)?){1,4})"), 6},
        {"PGRME", std::regex(R"(PGRME,\d+\.\d,M,\d+\.\d,M,\d+\.\d,M)"), 37},
        {"PTLVK", std::regex(R"(PTLVK,STAT,(NOFIX|GPS|DGPS|FLOAT|FIXED),\d\d,(\d+\.\d)?)"), 0},
    };
    test::TestReceiver rx;
    std::map<std::string, int> seen;
    for (const std::string& line : sim::GenerateSession({})) {
        SCOPED_TRACE(line);
        EXPECT_LE(line.size() + 2, 82u);  // the NMEA limit, line end included
        const std::string body = line.substr(1, line.find('*') - 1);
        EXPECT_EQ(test::Nmea(body), line + "\r\n");  // the checksum, in upper-case hex
        int matched = 0;
        for (const auto& [legend, form, type] : kinds) {
            if (!std::regex_match(body, form)) continue;
            ++matched, ++seen[legend];
            const CString text = CString::FromBytes(line + "\r\n");
            EXPECT_EQ(static_cast<int>(rx.GetGPSStringType(text)), type) << legend;
        }
        EXPECT_EQ(matched, 1);
    }
    EXPECT_EQ(seen.size(), std::size(kinds));  // the session writes every form
}

// Epoch by epoch: one a second; the fix runs back and forth through every quality and the
// sentences agree on it; GSA uses only good satellites; satellites rise and set at the horizon;
// speed and course describe the movement between the positions.
TEST(SessionGeneratorTest, EpochsCarryFixesSatellitesAndMotionAsAReceiverWould) {
    const sim::Session session = sim::SimulateSession({});
    const std::vector<Epoch> epochs = SplitEpochs(session.lines);
    ASSERT_TRUE(epochs.size() == 360 && session.epochs.size() == 360) << epochs.size();
    std::set<int> qualities;
    std::vector<std::map<int, int>> sky;  // elevation by PRN, per epoch
    int changes = 0, compared = 0;
    double lat0 = 0, lon0 = 0, speed0 = 0, course0 = 0;
    for (std::size_t i = 0; i < epochs.size(); ++i) {
        SCOPED_TRACE(i);
        const Fields &gga = epochs[i].at("$GPGGA")[0], &gsa = epochs[i].at("$GPGSA")[0],
                     &rmc = epochs[i].at("$GPRMC")[0], &vtg = epochs[i].at("$GPVTG")[0];
        ASSERT_TRUE(gga.size() == 15 && gsa.size() == 18 && rmc.size() == 13 && vtg.size() == 10);
        const int hhmmss = std::stoi(gga[1]);
        EXPECT_EQ(hhmmss / 10000 * 3600 + hhmmss / 100 % 100 * 60 + hhmmss % 100,
                  static_cast<int>(session.epochs[0].utcSecondOfDay) + static_cast<int>(i));
        EXPECT_EQ(rmc[1], gga[1]);
        const int quality = std::stoi(gga[6]);
        ASSERT_EQ(quality, session.epochs[i].quality);
        qualities.insert(quality);
        changes += i > 0 && quality != session.epochs[i - 1].quality ? 1 : 0;
        EXPECT_EQ(rmc[2] + gsa[2], quality == 0 ? "V1" : "A3");  // RMC status, GSA mode
        EXPECT_EQ(gsa[16], gga[8]);                              // HDOP

        std::map<int, int> elevation, snr;  // snr 0: not tracked
        for (const Fields& f : epochs[i].at("$GPGSV"))
            for (std::size_t b = 4; b + 3 < f.size(); b += 4) {
                elevation[std::stoi(f[b])] = std::stoi(f[b + 1]);
                snr[std::stoi(f[b])] = f[b + 3].empty() ? 0 : std::stoi(f[b + 3]);
            }
        EXPECT_EQ(std::stoi(epochs[i].at("$GPGSV")[0][3]), static_cast<int>(elevation.size()));
        // GSA uses as many as GGA counts, each in view above the mask with a good signal.
        const auto good = [&](const std::string& f) {
            const int prn = f.empty() ? 0 : std::stoi(f);
            return elevation.count(prn) && elevation[prn] >= 10 && snr[prn] >= 30;
        };
        EXPECT_EQ(std::count(&gsa[3], &gsa[15], ""), 12 - std::stoi(gga[7]));
        EXPECT_EQ(std::count_if(&gsa[3], &gsa[15], good), std::stoi(gga[7]));
        sky.push_back(std::move(elevation));
        if (quality == 0) continue;

        const double lat = Degrees(gga[2], gga[3]), lon = Degrees(gga[4], gga[5]);
        const double speed = std::stod(vtg[7]) / 3.6, course = std::stod(vtg[1]);
        EXPECT_NEAR(std::stod(rmc[7]) * 1852.0 / 3600.0, speed, 0.05);
        EXPECT_EQ(rmc[8], vtg[1]);
        // A new fix quality makes the position jump: compare only within one.
        if (i > 0 && quality == session.epochs[i - 1].quality) {
            const double mean = (speed0 + speed) / 2.0;
            const double north = (lat - lat0) * kDegree * 6367000.0;
            const double east = (lon - lon0) * kDegree * 6390000.0 * std::cos(lat * kDegree);
            EXPECT_NEAR(std::hypot(north, east), mean, 0.6);
            const double bearing = std::atan2(east, north) / kDegree;
            const double middle = course0 + std::remainder(course - course0, 360.0) / 2.0;
            EXPECT_TRUE(mean < 3.0 || std::fabs(std::remainder(bearing - middle, 360.0)) < 8.0);
            ++compared;
        }
        lat0 = lat, lon0 = lon, speed0 = speed, course0 = course;
    }
    EXPECT_EQ(qualities, (std::set<int>{0, 1, 2, 4, 5}));
    EXPECT_GE(changes, 8);
    EXPECT_GT(compared, 250);
    // A satellite in one sky but not the other has risen into it or set from it: it stands low.
    const auto atHorizon = [](const std::map<int, int>& in, const std::map<int, int>& notIn) {
        int count = 0;
        for (const auto& [prn, elevation] : in) {
            count += notIn.count(prn) ? 0 : 1;
            EXPECT_TRUE(notIn.count(prn) || elevation <= 1) << prn;
        }
        return count;
    };
    int risen = 0, set = 0;
    for (std::size_t i = 1; i < sky.size(); ++i)
        risen += atHorizon(sky[i], sky[i - 1]), set += atHorizon(sky[i - 1], sky[i]);
    EXPECT_GE(risen, 1);
    EXPECT_GE(set, 1);
}

// The raw log frames into each epoch's sentences and records, in order, and the library decodes
// the values that were encoded.
TEST(RawSampleTest, LogFramesIntoTheRecordsAndDecodesToTheEncodedValues) {
    test::RecordingHost host;
    test::TestReceiver rx;
    const sim::RawSession session = sim::GenerateRawSession({});
    ASSERT_EQ(session.epochs.size(), 30u);
    std::vector<std::string> expected, kinds;  // of each message, in order
    std::vector<CGPSDataEphemeris> sent;
    for (const sim::RawEpoch& epoch : session.epochs) {
        expected.insert(expected.end(), {"$GPGGA", "$GPVTG", "$GPZDA"});
        expected.insert(expected.end(), epoch.ephemerides.size(), "SNV");
        expected.insert(expected.end(), epoch.measurements.size(), "MBN");
        expected.push_back("PBN");
        sent.insert(sent.end(), epoch.ephemerides.begin(), epoch.ephemerides.end());
    }
    CBinBuffer buffer(session.bytes.data(), static_cast<int>(session.bytes.size()));
    for (buffer.GetCurrentMessage(); buffer.HasMessage(); buffer.Next()) {
        int length = 0;
        const char* data = buffer.GetMessageBin(length);
        const std::string msg(data, static_cast<std::size_t>(length));
        kinds.push_back(msg.starts_with("$PASHR,") ? msg.substr(7, 3) : msg.substr(0, 6));
        rx.AttachRawData(data, length);
        CString text = buffer.GetMessage();  // as the engine hands it on
        rx.Parse(text);
    }
    EXPECT_EQ(kinds, expected);
    host.Pump();

    // One field of each width and kind on the wire; float fields carry values a float holds.
    const auto fields = [](const CGPSDataEphemeris& e) {
        return std::tie(e.m_nPRN, e.m_nWeek, e.m_nTOW, e.m_nToe, e.m_nAODE, e.m_dM0, e.m_dE, e.m_dRootA, e.m_dOmega0,
                        e.m_dCrc, e.m_dTgd, e.m_dAf0, e.m_dIDot);
    };
    ASSERT_EQ(host.ephemerides.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(fields(*host.ephemerides[i]), fields(sent[i])) << i;
    ASSERT_EQ(host.rawEpochs.size(), session.epochs.size());
    for (std::size_t i = 0; i < session.epochs.size(); ++i) {
        SCOPED_TRACE(i);
        const sim::RawEpoch& e = session.epochs[i];
        const CGPSDataRaw& got = *host.rawEpochs[i];
        EXPECT_EQ(got.m_nGPSWeek, e.gpsWeek);
        EXPECT_DOUBLE_EQ(got.m_dReceiverTime, e.pbn.towMs * 0.001);
        EXPECT_EQ(got.m_dClockOffset, static_cast<double>(e.pbn.clockOffset));
        EXPECT_EQ(got.m_dClockDrift, static_cast<double>(e.pbn.clockDrift));
        EXPECT_NEAR(got.m_dLatitude, e.latitude, 1e-8);
        EXPECT_NEAR(got.m_dLongitude, e.longitude, 1e-8);
        EXPECT_NEAR(got.m_dHeight, e.height, 0.01);
        ASSERT_EQ(got.m_nNumSV, static_cast<int>(e.measurements.size()));
        for (int k = 0; k < got.m_nNumSV; ++k) {
            const sim::MbnValues& m = e.measurements[static_cast<std::size_t>(k)];
            const CGPSSatelliteDataRaw& s = got.m_Satellites[k];
            EXPECT_EQ(s.m_nPRN, m.prn);
            EXPECT_DOUBLE_EQ(s.m_dRange, (1.0 - m.time) * 299792458.0);  // c
            EXPECT_DOUBLE_EQ(s.m_dDoppler, m.doppler * -0.0001);
            EXPECT_DOUBLE_EQ(s.m_dPhase, -m.phase);
            EXPECT_EQ(s.m_nTag, static_cast<int>(m.tag * 0.002));
        }
    }
}

// The raw sample is physics a solver believes: each pseudorange is the range from the satellite
// where its broadcast ephemeris puts it at transmission (the Earth turning during the flight),
// plus the receiver clock offset of PBN, minus the satellite's L1 clock, plus noise of a few
// decimetres; the carrier phase advances by the Doppler; a new issue of data is the same orbit.
TEST(RawSampleTest, PseudorangesFollowTheBroadcastEphemerides) {
    constexpr double c = 299792458.0, lambda = c / 1575.42e6;
    const sim::RawSessionOptions options;
    const sim::Ecef antenna = sim::GeodeticToEcef(options.latitude, options.longitude, options.height);
    const sim::RawSession session = sim::GenerateRawSession(options);
    std::map<int, std::vector<CGPSDataEphemeris>> issues;
    for (const auto& epoch : session.epochs)
        for (const auto& e : epoch.ephemerides) issues[e.m_nPRN].push_back(e);
    ASSERT_EQ(issues.size(), 6u);
    for (const auto& [prn, list] : issues) {
        SCOPED_TRACE(prn);
        // Semicircles: 55 degrees of inclination, a GPS orbit's size.
        EXPECT_NEAR(list[0].m_dI0, 55.0 / 180.0, 1e-9);
        EXPECT_NEAR(list[0].m_dRootA * list[0].m_dRootA, 26559700.0, 1.0);
        if (list.size() < 2) continue;
        EXPECT_NE(list[1].m_nAODE, list[0].m_nAODE);
        EXPECT_EQ(list[1].m_nToe, list[0].m_nToe + 7200);
        for (const auto& epoch : session.epochs) {
            const double t = epoch.pbn.towMs * 0.001;
            const sim::SatelliteState a = sim::PropagateBroadcast(list[0], t);
            const sim::SatelliteState b = sim::PropagateBroadcast(list[1], t);
            EXPECT_LT(std::hypot(a.x - b.x, a.y - b.y, a.z - b.z), 0.01);
            EXPECT_NEAR(a.clock, b.clock, 1e-10);  // 3 cm
        }
    }
    double sumSquares = 0.0;
    int n = 0;
    std::map<int, std::pair<double, double>> last;  // PRN: phase and Doppler of the previous epoch
    std::map<int, double> ambiguity;                // PRN: carrier minus code at the first epoch
    for (const auto& epoch : session.epochs) {
        const double dtr = static_cast<double>(epoch.pbn.clockOffset) / c;
        const double reception = epoch.pbn.towMs * 0.001 - dtr;  // true GPS time of the tag
        std::map<int, std::pair<double, double>> now;
        for (const auto& m : epoch.measurements) {
            SCOPED_TRACE(m.prn);
            const CGPSDataEphemeris& e = issues.at(m.prn).front();
            double flight = 0.07, range = 0.0;
            sim::SatelliteState s;
            for (int k = 0; k < 4; ++k) {
                s = sim::PropagateBroadcast(e, reception - flight);
                const double w = sim::kGpsEarthRate * flight;  // Earth rotation during the flight
                const double x = s.x + w * s.y, y = s.y - w * s.x;
                range = std::hypot(x - antenna.x, y - antenna.y, s.z - antenna.z);
                flight = range / c;
            }
            const double pseudorange = (1.0 - m.time) * c;
            const double residual = pseudorange - range - dtr * c + (s.clock - e.m_dTgd) * c;
            EXPECT_LT(std::fabs(residual), 2.0);  // 5 sigma of the noise, the PBN offset's rounding in it
            sumSquares += residual * residual, ++n;
            now[m.prn] = {-m.phase, m.doppler * 1e-4};
            if (last.count(m.prn)) {  // phase in range's sign grows with the range rate
                const auto [phase0, rate0] = last[m.prn];
                EXPECT_NEAR(-m.phase - phase0, (rate0 + m.doppler * 1e-4) / 2.0, 0.05);
            }
            // Carrier minus code: the fixed ambiguity, up to the code noise.
            const double carrierMinusCode = -m.phase * lambda - pseudorange;
            if (!ambiguity.count(m.prn)) ambiguity[m.prn] = carrierMinusCode;
            EXPECT_NEAR(carrierMinusCode, ambiguity[m.prn], 2.5);
        }
        last = now;
    }
    const double rms = std::sqrt(sumSquares / n);
    EXPECT_GT(rms, 0.2);
    EXPECT_LT(rms, 0.6);
}

}  // namespace
}  // namespace tolvik
