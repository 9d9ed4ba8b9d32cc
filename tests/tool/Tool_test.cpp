// The tolvik command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
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
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir.File("out")),
            test::ReadFile(dir.File("err"))};
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) objects.push_back(nlohmann::json::parse(line));  // throws on bad JSON
    return objects;
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

// The records of whole recordings are compared with tests/golden; the table and the summary
// on standard error are not.
TEST(Tool, BundledSampleTableAndSummary) {
    const ToolRun text = Tool({"replay", "--fast"});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("RTK-FIXED"), std::string::npos);
    EXPECT_NE(text.err.find("messages"), std::string::npos) << "summary on standard error";
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
    const ToolRun r = Tool(
        {"replay", "--raw", "--json", "--log-raw-epochs", dir.File("site"), test::ProjectFile("data/sample-raw.bin")});
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
            if (wrapped < -1.0)
                wrapped += std::trunc(std::fabs(wrapped)) + 1.0;
            else if (wrapped > 1.0)
                wrapped -= std::trunc(std::fabs(wrapped));
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
