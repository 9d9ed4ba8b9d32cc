// Golden recordings: every recording we have, replayed by the tool with --format records, must
// give the records saved beside this file, field by field. TOLVIK_UPDATE_GOLDEN=1 rewrites the
// saved files from the tool as it is; the diff is then reviewed like code (see README.md here).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"
#include "tool/ToolProcess.h"

namespace tolvik {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;  // keeps the tool's field order, so a rewritten file diffs well

// Under data/ of the project, or (receivers/) under the shared data folder; a .bin file is a raw
// byte log from a port (replay --raw) rather than one message a line.
constexpr const char* kRecordings[] = {
    "sample.log",
    "sample-raw.bin",
    "receivers/ac12.log",
    "receivers/bu353-glonass.log",
    "receivers/garmin17n.log",
    "receivers/hemi.log",
    "receivers/holux-gm-210.log",
    "receivers/humminbird-M37.log",
    "receivers/nmea-fuzzy-cases.log",
    "receivers/tn200-all.log",
};

// Numbers agree to nine significant digits. A float where a double belongs, or any change a
// user could see, is far beyond that; a last-bit difference from reordered arithmetic (which
// the difference of two close positions magnifies) is not a change of behaviour.
constexpr double kRelative = 1e-9;

bool Updating() {
    const char* v = std::getenv("TOLVIK_UPDATE_GOLDEN");
    return v && std::string(v) == "1";
}

std::string GoldenFile(const std::string& input) {
    return test::ProjectFile("tests/golden/" + fs::path(input).replace_extension(".jsonl").string());
}

// The records of a run without "time": that is the wall clock at posting, not something the
// recording decides.
std::vector<Json> Records(const std::string& out) {
    std::vector<Json> records;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        records.push_back(Json::parse(line));
        records.back().erase("time");
    }
    return records;
}

// The first field (as a JSON pointer) where got differs from want; empty when none.
std::string FirstDifference(const Json& want, const Json& got) {
    const Json w = want.flatten(), g = got.flatten();
    for (const auto& [field, value] : w.items()) {
        if (!g.contains(field)) return field + ": missing from the tool's record";
        const Json& other = g.at(field);
        const bool same = value.is_number() && other.is_number() && (value.is_number_float() || other.is_number_float())
                              ? std::fabs(value.get<double>() - other.get<double>()) <=
                                    kRelative * std::max(std::fabs(value.get<double>()), std::fabs(other.get<double>()))
                              : value == other;  // integers exactly
        if (!same) return field + ": golden " + value.dump() + ", tool " + other.dump();
    }
    for (const auto& [field, value] : g.items()) {
        if (!w.contains(field)) return field + ": new field";
    }
    return "";
}

class Golden : public ::testing::TestWithParam<const char*> {};

TEST_P(Golden, RecordsMatchTheGoldenFile) {
    const std::string name = GetParam();
    const bool shared = name.starts_with("receivers/");
    if (shared) TOLVIK_REQUIRE_SHARED_DATA();
    const std::string input = shared ? test::SharedData(name) : test::ProjectFile("data/" + name);
    const auto run =
        test::Tolvik({"replay", name.ends_with(".bin") ? "--raw" : "--fast", "--format", "records", input});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<Json> records = Records(run.out);
    ASSERT_FALSE(records.empty()) << "the tool wrote nothing for " << name;

    const std::string golden = GoldenFile(name);
    if (Updating()) {
        std::string text;
        for (const Json& record : records) text += record.dump() + '\n';
        fs::create_directories(fs::path(golden).parent_path());
        test::WriteFile(golden, text);
        GTEST_SKIP() << "rewrote " << golden;
    }
    ASSERT_TRUE(fs::exists(golden)) << "no " << golden << "; TOLVIK_UPDATE_GOLDEN=1 writes it";
    const std::vector<std::string> lines = test::ReadLines(golden);
    for (std::size_t i = 0; i < std::min(lines.size(), records.size()); ++i) {
        const std::string d = FirstDifference(Json::parse(lines[i]), records[i]);
        if (!d.empty()) FAIL() << golden << ":" << i + 1 << " (" << name << "): " << d;
    }
    EXPECT_EQ(records.size(), lines.size()) << name << ": records the tool wrote, lines in " << golden;
}

std::string TestName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = fs::path(info.param).replace_extension().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Recordings, Golden, ::testing::ValuesIn(kRecordings), TestName);

// No golden file that nothing reads, and no shared recording that nothing compares.
TEST(GoldenFiles, OnePerRecording) {
    if (Updating()) GTEST_SKIP() << "the files are being rewritten";
    std::set<std::string> expected;
    std::set<std::string> present;
    for (const char* input : kRecordings) expected.insert(GoldenFile(input));
    for (const auto& entry : fs::recursive_directory_iterator(test::ProjectFile("tests/golden"))) {
        if (entry.path().extension() == ".jsonl") present.insert(entry.path().string());
    }
    EXPECT_EQ(present, expected);

    TOLVIK_REQUIRE_SHARED_DATA();
    for (const auto& entry : fs::directory_iterator(test::SharedData("receivers"))) {
        if (entry.path().extension() != ".log") continue;
        const std::string input = "receivers/" + entry.path().filename().string();
        EXPECT_TRUE(expected.count(GoldenFile(input))) << input << " has no golden file";
    }
}

}  // namespace
}  // namespace tolvik
