// The tolvik command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"
#include "tool/ToolProcess.h"

namespace tolvik {
namespace {

using test::JsonLines;
using test::Quote;
using ToolRun = test::Run;

ToolRun Tool(const std::vector<std::string>& args, const std::string& input = "") { return test::Tolvik(args, input); }

TEST(Tool, HelpAndVersion) {
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"replay", "monitor", "simulate", "receivers", "command"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const ToolRun version = Tool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tolvik ", 0), 0u);
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

// The raw epoch log beside a raw replay (the records themselves are the golden of
// sample-raw.bin): one EPOCH line a raw epoch and every ephemeris.
TEST(Tool, RawReplayWritesTheRawEpochLog) {
    test::TempDir dir;
    const ToolRun r = Tool(
        {"replay", "--raw", "--json", "--log-raw-epochs", dir.File("site"), test::ProjectFile("data/sample-raw.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::size_t raws = 0, ephemerides = 0;
    for (const auto& o : JsonLines(r.out)) {
        raws += o["type"] == "raw" ? 1 : 0;
        ephemerides += o["type"] == "ephemeris" ? 1 : 0;
    }
    ASSERT_GT(raws, 0u);
    ASSERT_GT(ephemerides, 0u);
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
    EXPECT_EQ(epochLines, raws);
    EXPECT_EQ(ephLines, ephemerides);
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
