// Golden recordings: every recording we have, replayed by the tool with --format records, must
// give the records saved beside this file, field by field. TOLVIK_UPDATE_GOLDEN=1 rewrites the
// saved files from the tool as it is; the diff is then reviewed like code (see README.md here).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <ostream>
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

struct Recording {
    const char* input;  // under data/ of the project, or under the shared data folder
    bool shared;
    bool raw;  // a raw byte log from a port (replay --raw) rather than one message a line
};

void PrintTo(const Recording& r, std::ostream* os) { *os << r.input; }

constexpr Recording kRecordings[] = {
    {"sample.log", false, false},
    {"sample-raw.bin", false, true},
    {"receivers/ac12.log", true, false},
    {"receivers/bu353-glonass.log", true, false},
    {"receivers/garmin17n.log", true, false},
    {"receivers/hemi.log", true, false},
    {"receivers/holux-gm-210.log", true, false},
    {"receivers/humminbird-M37.log", true, false},
    {"receivers/nmea-fuzzy-cases.log", true, false},
    {"receivers/tn200-all.log", true, false},
};

// Numbers agree to nine significant digits. A float where a double belongs, or any change a
// user could see, is far beyond that; a last-bit difference from reordered arithmetic (which
// the difference of two close positions magnifies) is not a change of behaviour.
constexpr double kRelative = 1e-9;

bool Updating() {
    const char* v = std::getenv("TOLVIK_UPDATE_GOLDEN");
    return v && std::string(v) == "1";
}

// The golden file mirrors the recording's name: sample.log gives sample.jsonl,
// receivers/ac12.log gives receivers/ac12.jsonl.
std::string GoldenFile(const Recording& r) {
    return test::ProjectFile("tests/golden/" + fs::path(r.input).replace_extension(".jsonl").string());
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

bool SameNumber(const Json& want, const Json& got) {
    if (!want.is_number_float() && !got.is_number_float()) return want == got;  // integers exactly
    const double a = want.get<double>();
    const double b = got.get<double>();
    return a == b || std::fabs(a - b) <= kRelative * std::max(std::fabs(a), std::fabs(b));
}

// The first place where got differs from want, as "field: golden X, tool Y"; empty when none.
std::string FirstDifference(const Json& want, const Json& got, const std::string& path) {
    const std::string at = path.empty() ? "(record)" : path;
    const std::string differ = at + ": golden " + want.dump() + ", tool " + got.dump();
    if (want.is_number() && got.is_number()) return SameNumber(want, got) ? "" : differ;
    if (want.type() != got.type()) return differ;
    if (want.is_object()) {
        const auto name = [&](const std::string& key) { return path.empty() ? key : path + "." + key; };
        for (const auto& field : want.items()) {
            if (!got.contains(field.key())) return name(field.key()) + ": missing from the tool's record";
            if (std::string d = FirstDifference(field.value(), got.at(field.key()), name(field.key())); !d.empty()) {
                return d;
            }
        }
        for (const auto& field : got.items()) {
            if (!want.contains(field.key())) return name(field.key()) + ": new field";
        }
        return "";
    }
    if (want.is_array()) {
        for (std::size_t i = 0; i < std::min(want.size(), got.size()); ++i) {
            if (std::string d = FirstDifference(want[i], got[i], at + "[" + std::to_string(i) + "]"); !d.empty()) {
                return d;
            }
        }
        return want.size() == got.size()
                   ? ""
                   : at + ": golden " + std::to_string(want.size()) + " elements, tool " + std::to_string(got.size());
    }
    return want == got ? "" : differ;
}

class Golden : public ::testing::TestWithParam<Recording> {};

TEST_P(Golden, RecordsMatchTheGoldenFile) {
    const Recording& r = GetParam();
    if (r.shared) TOLVIK_REQUIRE_SHARED_DATA();
    const std::string input = r.shared ? test::SharedData(r.input) : test::ProjectFile(std::string("data/") + r.input);
    const test::Run run = test::Tolvik({"replay", r.raw ? "--raw" : "--fast", "--format", "records", input});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<Json> records = Records(run.out);
    ASSERT_FALSE(records.empty()) << "the tool wrote nothing for " << r.input;

    const std::string golden = GoldenFile(r);
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
        const std::string d = FirstDifference(Json::parse(lines[i]), records[i], "");
        if (!d.empty()) FAIL() << golden << ":" << i + 1 << " (" << r.input << "): " << d;
    }
    EXPECT_EQ(records.size(), lines.size()) << r.input << ": records the tool wrote, lines in " << golden;
}

std::string TestName(const ::testing::TestParamInfo<Recording>& info) {
    std::string name = fs::path(info.param.input).replace_extension().string();
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
    for (const Recording& r : kRecordings) expected.insert(GoldenFile(r));
    for (const auto& entry : fs::recursive_directory_iterator(test::ProjectFile("tests/golden"))) {
        if (entry.path().extension() == ".jsonl") present.insert(entry.path().string());
    }
    EXPECT_EQ(present, expected);

    TOLVIK_REQUIRE_SHARED_DATA();
    for (const auto& entry : fs::directory_iterator(test::SharedData("receivers"))) {
        if (entry.path().extension() != ".log") continue;
        const std::string input = "receivers/" + entry.path().filename().string();
        EXPECT_TRUE(std::any_of(std::begin(kRecordings), std::end(kRecordings),
                                [&](const Recording& r) { return input == r.input; }))
            << input << " has no golden file";
    }
}

}  // namespace
}  // namespace tolvik
