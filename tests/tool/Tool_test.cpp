// The tolvik command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/SessionGenerator.h"
#include "support/TestSupport.h"

namespace tolvik {
namespace {

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (const char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

ToolRun Tool(const std::vector<std::string>& args) {
    test::TempDir dir;
    std::string command = Quote(TOLVIK_TOOL_PATH);
    for (const auto& a : args) command += " " + Quote(a);
    // An empty settings folder: the user's own stored baud rates do not leak into the test.
    command = "XDG_CONFIG_HOME=" + Quote(dir.Path()) + " " + command + " </dev/null >" + Quote(dir.File("out")) +
              " 2>" + Quote(dir.File("err"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir.File("out")), test::ReadFile(dir.File("err"))};
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) objects.push_back(nlohmann::json::parse(line));  // throws on bad JSON
    return objects;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(s);
    while (std::getline(in, field, sep)) fields.push_back(field);
    if (!s.empty() && s.back() == sep) fields.emplace_back();
    return fields;
}

bool ChecksumValid(const std::string& line) {
    const auto star = line.find('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos || star + 3 > line.size()) return false;
    unsigned char sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    return std::stoul(line.substr(star + 1, 2), nullptr, 16) == sum;
}

// Degrees and minutes of an NMEA angle field in radians, computed independently of the library.
double Radians(const std::string& field, const std::string& hemisphere, int degreeDigits) {
    const double degrees = std::stod(field.substr(0, degreeDigits));
    const double minutes = std::stod(field.substr(degreeDigits));
    const double value = (degrees + minutes / 60.0) * std::numbers::pi / 180.0;
    return (hemisphere == "N" || hemisphere == "E") ? value : -value;
}

TEST(Tool, HelpVersionAndUsageErrors) {
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"replay", "monitor", "simulate", "receivers", "command"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const ToolRun version = Tool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tolvik ", 0), 0u);

    const struct {
        std::vector<std::string> args;
        const char* named;
    } usage[] = {
        {{}, "usage"},
        {{"fly"}, "'fly'"},
        {{"replay", "--bogus"}, "--bogus"},
        {{"replay", "--receiver"}, "--receiver"},
        {{"replay", "--min-sats", "four"}, "four"},
        {{"replay", "--receiver", "Nope"}, "Nope"},
        {{"replay", "--fast", "--raw"}, "--raw"},
        {{"monitor", "--receiver", "Other"}, "--port"},
        {{"receivers", "extra"}, "extra"},
    };
    for (const auto& u : usage) {
        const ToolRun r = Tool(u.args);
        EXPECT_EQ(r.exitCode, 2) << u.named;
        EXPECT_NE(r.err.find(u.named), std::string::npos) << r.err;
    }
}

TEST(Tool, MissingFilesAndDevicesAreNamed) {
    const ToolRun replay = Tool({"replay", "--fast", "/nonexistent/recording.log"});
    EXPECT_EQ(replay.exitCode, 1);
    EXPECT_NE(replay.err.find("/nonexistent/recording.log"), std::string::npos);

    const ToolRun monitor = Tool({"monitor", "--receiver", "Other", "--device", "/nonexistent/ttyUSB9"});
    EXPECT_EQ(monitor.exitCode, 1);
    EXPECT_NE(monitor.err.find("cannot open /nonexistent/ttyUSB9"), std::string::npos) << monitor.err;
}

TEST(Tool, ReceiversListsTheWholeCatalogue) {
    const ToolRun r = Tool({"receivers", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    const auto rows = JsonLines(r.out);
    ASSERT_EQ(rows.size(), 19u);
    EXPECT_EQ(rows.front()["name"], "Ashtech");
    EXPECT_EQ(rows.back()["name"], "Other");
    for (const auto& row : rows) {
        if (row["name"] == "SiRF") {
            EXPECT_EQ(row["defaultBaudrate"], 4800);
            EXPECT_EQ(row["implementsResetAll"], true);
            EXPECT_EQ(row["hasRawData"], false);
        }
    }
}

// A real recording replayed at once: one epoch with a position per good GGA sentence, at the
// sentence's own position.
TEST(Tool, FastJsonReplayOfARecordingGivesTheSentencesPositions) {
    TOLVIK_REQUIRE_SHARED_DATA();
    const std::string path = test::SharedData("receivers/nmea-fuzzy-cases.log");
    struct Fix {
        double lat;
        double lon;
        double alt;
        int used;
    };
    std::vector<Fix> expected;
    for (const auto& line : test::ReadLines(path)) {
        const bool gga = line.rfind("$GPGGA", 0) == 0 || line.rfind("$GNGGA", 0) == 0;
        if (!gga || !ChecksumValid(line)) continue;
        const auto f = Split(line.substr(0, line.find('*')), ',');
        if (f[2].empty() || f[4].empty() || f[9].empty()) continue;  // no position in it
        expected.push_back({Radians(f[2], f[3], 2), Radians(f[4], f[5], 3), std::stod(f[9]), std::stoi(f[7])});
    }
    ASSERT_GT(expected.size(), 5u);

    const ToolRun r = Tool({"replay", "--fast", "--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<nlohmann::json> fixes;
    for (const auto& o : JsonLines(r.out)) {
        ASSERT_EQ(o["type"], "epoch");
        if (o["positionValid"] == true) fixes.push_back(o);
    }
    ASSERT_EQ(fixes.size(), expected.size());
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(fixes[i]["latitude"].get<double>(), expected[i].lat, 1e-12);
        EXPECT_NEAR(fixes[i]["longitude"].get<double>(), expected[i].lon, 1e-12);
        EXPECT_NEAR(fixes[i]["altitude"].get<double>(), expected[i].alt, 1e-9);
        EXPECT_EQ(fixes[i]["satellitesUsed"], expected[i].used);
        // The status block comes only with an epoch whose status a reply updated.
        EXPECT_EQ(fixes[i].contains("status"), fixes[i].contains("status") && fixes[i]["status"]["updated"] == true);
    }
    EXPECT_NE(r.err.find("messages"), std::string::npos) << "summary on standard error";
}

TEST(Tool, BundledSampleReplaysWithEveryKindOfFix) {
    const ToolRun r = Tool({"replay", "--fast", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::set<int> statuses;
    int positions = 0;
    for (const auto& o : JsonLines(r.out)) {
        if (o["positionValid"] != true) continue;
        ++positions;
        statuses.insert(o["fixStatus"].get<int>());
    }
    EXPECT_GT(positions, 100);
    for (const int s : {1, 2, 6, 7}) EXPECT_TRUE(statuses.count(s)) << "fix status " << s;

    const ToolRun text = Tool({"replay", "--fast"});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("RTK-FIXED"), std::string::npos);
}

TEST(Tool, TextOptionForwardsEveryFramedMessage) {
    test::TempDir dir;
    const std::string file = dir.File("two.log");
    test::WriteFile(file, test::Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                              test::Nmea("PTLVK,1,hello"));
    const ToolRun r = Tool({"replay", "--fast", "--json", "--text", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    int texts = 0;
    for (const auto& o : JsonLines(r.out)) {
        if (o["type"] == "text") ++texts;
    }
    EXPECT_EQ(texts, 2);
}

// The bundled raw byte log, replayed as a port would deliver it, gives back the raw epochs and
// ephemerides that were encoded into it.
TEST(Tool, RawReplayShowsTheEncodedRawEpochsAndEphemerides) {
    const sim::RawSession session = sim::GenerateRawSession(sim::RawSessionOptions{});
    test::TempDir dir;
    const ToolRun r = Tool({"replay", "--raw", "--json", "--log-raw-epochs", dir.File("site"),
                            test::ProjectFile("data/sample-raw.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::vector<nlohmann::json> raws;
    std::vector<nlohmann::json> ephemerides;
    for (const auto& o : JsonLines(r.out)) {
        if (o["type"] == "raw") raws.push_back(o);
        if (o["type"] == "ephemeris") ephemerides.push_back(o);
    }
    ASSERT_EQ(raws.size(), session.epochs.size());
    std::vector<CGPSDataEphemeris> sent;
    for (std::size_t i = 0; i < raws.size(); ++i) {
        SCOPED_TRACE("raw epoch " + std::to_string(i));
        const sim::RawEpoch& e = session.epochs[i];
        for (const auto& eph : e.ephemerides) sent.push_back(eph);
        EXPECT_EQ(raws[i]["gpsWeek"], e.gpsWeek);
        EXPECT_DOUBLE_EQ(raws[i]["receiverTime"].get<double>(), e.pbn.towMs * 0.001);
        EXPECT_NEAR(raws[i]["latitude"].get<double>(), e.latitude, 1e-8);
        EXPECT_NEAR(raws[i]["longitude"].get<double>(), e.longitude, 1e-8);
        EXPECT_NEAR(raws[i]["height"].get<double>(), e.height, 1e-3);
        EXPECT_DOUBLE_EQ(raws[i]["clockOffset"].get<double>(), static_cast<double>(e.pbn.clockOffset));
        ASSERT_EQ(raws[i]["numSv"], static_cast<int>(e.measurements.size()));
        for (std::size_t j = 0; j < e.measurements.size(); ++j) {
            const auto& m = e.measurements[j];
            const auto& sv = raws[i]["satellites"][j];
            double wrapped = 1.0 - m.time;  // the receiver's time value as the decoder unwraps it
            if (wrapped < -1.0) wrapped += std::trunc(std::fabs(wrapped)) + 1.0;
            else if (wrapped > 1.0) wrapped -= std::trunc(std::fabs(wrapped));
            EXPECT_EQ(sv["prn"], m.prn);
            EXPECT_EQ(sv["tag"], static_cast<int>(m.tag * 0.002));
            EXPECT_DOUBLE_EQ(sv["range"].get<double>(), wrapped * 299792458.0);
            EXPECT_DOUBLE_EQ(sv["phase"].get<double>(), -m.phase);
            EXPECT_DOUBLE_EQ(sv["doppler"].get<double>(), m.doppler * -0.0001);
        }
    }
    ASSERT_EQ(ephemerides.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(ephemerides[i]["prn"], sent[i].m_nPRN);
        EXPECT_EQ(ephemerides[i]["week"], sent[i].m_nWeek);
        EXPECT_EQ(ephemerides[i]["toe"], sent[i].m_nToe);
        EXPECT_DOUBLE_EQ(ephemerides[i]["e"].get<double>(), sent[i].m_dE);
        EXPECT_DOUBLE_EQ(ephemerides[i]["rootA"].get<double>(), sent[i].m_dRootA);
        EXPECT_DOUBLE_EQ(ephemerides[i]["omegaDot"].get<double>(), sent[i].m_dOmegaDot);
    }

    // The raw epoch log holds one EPOCH line a second and every ephemeris.
    std::string logText;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().extension(), ".tvr");
        EXPECT_EQ(entry.path().filename().string().rfind("site_", 0), 0u);
        logText = test::ReadFile(entry.path().string());
    }
    std::size_t epochLines = 0;
    std::size_t ephLines = 0;
    for (std::size_t pos = 0; (pos = logText.find('\n', pos)) != std::string::npos; ++pos) {
        if (logText.compare(pos + 1, 6, "EPOCH ") == 0) ++epochLines;
        if (logText.compare(pos + 1, 4, "EPH ") == 0) ++ephLines;
    }
    EXPECT_EQ(epochLines, raws.size());
    EXPECT_EQ(ephLines, sent.size());
    EXPECT_NE(r.err.find("Num Epochs: 30, Time: 0 min."), std::string::npos) << r.err;
}

// A paced replay of an empty file has nothing to replay: it ends (it used to wait for ever).
TEST(Tool, PacedReplayOfAnEmptyFileEnds) {
    test::TempDir dir;
    test::WriteFile(dir.File("empty.log"), "");
    const std::string command = "timeout 60 " + Quote(TOLVIK_TOOL_PATH) + " replay " + Quote(dir.File("empty.log")) +
                                " </dev/null >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "124: still replaying after a minute";
}

}  // namespace
}  // namespace tolvik
