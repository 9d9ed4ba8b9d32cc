// Every input a fuzzer ever failed on (tests/fuzz/regressions/<target>/) and every generated seed
// runs through its target in the ordinary builds, so gcc and the sanitizer builds hold the fixes
// too. A target aborts when its property fails, which fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "fuzz/SeedCorpus.h"

namespace tolvik::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kRegressions = fs::path(TOLVIK_SOURCE_DIR) / "tests" / "fuzz" / "regressions";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunInput(FuzzTarget target, const std::string& input) {
    return target(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

class FuzzTargetTest : public ::testing::TestWithParam<NamedTarget> {};

TEST_P(FuzzTargetTest, CommittedRegressionInputsPass) {
    const fs::path folder = kRegressions / std::string(GetParam().name);
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no regression inputs for " << GetParam().name;
    int count = 0;
    for (const auto& file : fs::directory_iterator(folder)) {
        if (!file.is_regular_file() || file.path().filename().string().front() == '.') continue;
        SCOPED_TRACE(file.path().string());
        EXPECT_EQ(0, RunInput(GetParam().function, ReadFile(file.path())));
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST_P(FuzzTargetTest, GeneratedSeedsPass) {
    const std::vector<std::string> seeds = SeedsFor(GetParam().name);
    ASSERT_GE(seeds.size(), 2u);
    for (const std::string& seed : seeds) EXPECT_EQ(0, RunInput(GetParam().function, seed));
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzTargetTest, ::testing::ValuesIn(kTargets),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

}  // namespace
}  // namespace tolvik::fuzz
