// The bundled sample recordings and their generator: the committed files are the generator's
// output (what the library reads from them is pinned by their goldens), and the raw log's
// carrier is consistent with its code.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

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

// The raw sample's carrier agrees with its Doppler and its code: the phase advances by the mean
// Doppler of two epochs, and carrier minus code stays at a fixed ambiguity up to the code noise.
// (The code against the broadcast orbits is what the single-point solutions in tests/rtklib
// check.)
TEST(RawSampleTest, CarrierFollowsDopplerAndCode) {
    constexpr double c = 299792458.0, lambda = c / 1575.42e6;
    std::map<int, std::pair<double, double>> last;  // PRN: phase and Doppler of the previous epoch
    std::map<int, double> ambiguity;                // PRN: carrier minus code at the first epoch
    int advances = 0;
    for (const auto& epoch : sim::GenerateRawSession({}).epochs) {
        std::map<int, std::pair<double, double>> now;
        for (const auto& m : epoch.measurements) {
            SCOPED_TRACE(m.prn);
            now[m.prn] = {-m.phase, m.doppler * 1e-4};
            if (last.count(m.prn)) {  // phase in range's sign grows with the range rate
                const auto [phase0, rate0] = last[m.prn];
                EXPECT_NEAR(-m.phase - phase0, (rate0 + m.doppler * 1e-4) / 2.0, 0.05);
                ++advances;
            }
            const double carrierMinusCode = -m.phase * lambda - (1.0 - m.time) * c;
            if (!ambiguity.count(m.prn)) ambiguity[m.prn] = carrierMinusCode;
            EXPECT_NEAR(carrierMinusCode, ambiguity[m.prn], 2.5);
        }
        last = now;
    }
    EXPECT_GT(advances, 50);
}

}  // namespace
}  // namespace tolvik
