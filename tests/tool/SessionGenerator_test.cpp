// The bundled sample recordings and their generator: the committed files are the generator's
// output (what the library reads from them is pinned by their goldens), and the raw log is
// physics a solver believes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "sim/BroadcastOrbit.h"
#include "sim/SessionGenerator.h"
#include "support/TestSupport.h"

namespace tolvik {
namespace {

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
