// The tolvik command-line tool, run as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "tool/ToolProcess.h"

namespace tolvik::test {
namespace {

TEST(Tool, ReceiversListsTheWholeCatalogue) {
    const auto r = Tolvik({"receivers", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    const auto rows = JsonLines(r.out);
    ASSERT_EQ(rows.size(), 19u);
    EXPECT_EQ(rows.back()["name"], "Other");
    EXPECT_NE(r.out.find(R"({"name":"SiRF","class":"CSirf","defaultBaudrate":4800,"hasRawData":false,)"
                         R"("implementsQueryNmea":false,"implementsQueryGpsSettings":false,"implementsBeacon":false,)"
                         R"("implementsSetElevMask":false,"implementsSetNmea":true,"implementsResetAll":true,)"
                         R"("ggaSendsOrthoHeight":false,"hasDgpsSupport":true})"
                         "\n"),
              std::string::npos);
}

// The records of whole recordings are compared with tests/golden; the table, the summary on
// standard error and the text records are not.
TEST(Tool, TableSummaryAndTextRecords) {
    const auto table = Tolvik({"replay", "--fast"});
    ASSERT_EQ(table.exitCode, 0);
    EXPECT_NE(table.out.find("RTK-FIXED"), std::string::npos);
    EXPECT_NE(table.err.find("messages"), std::string::npos) << "summary on standard error";

    // --text forwards every framed message, a position or not.
    const std::string input =
        Nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + Nmea("PTLVK,1,hello");
    const auto r = Tolvik({"replay", "--fast", "--json", "--text", "-"}, input);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto objects = JsonLines(r.out);
    EXPECT_EQ(std::count_if(objects.begin(), objects.end(), [](const auto& o) { return o["type"] == "text"; }), 2);
}

// The raw epoch log beside a raw replay (the records themselves are the golden of
// sample-raw.bin): one EPOCH line a raw epoch and one EPH line an ephemeris.
TEST(Tool, RawReplayWritesTheRawEpochLog) {
    TempDir dir;
    const auto r =
        Tolvik({"replay", "--raw", "--json", "--log-raw-epochs", dir.File("site"), ProjectFile("data/sample-raw.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, int> records, lines;
    for (const auto& o : JsonLines(r.out)) ++records[o["type"]];
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().extension(), ".tvr");
        EXPECT_TRUE(entry.path().filename().string().starts_with("site_")) << entry.path();
        for (const auto& line : ReadLines(entry.path().string())) ++lines[line.substr(0, line.find(' '))];
    }
    EXPECT_GT(records["raw"], 0);
    EXPECT_GT(records["ephemeris"], 0);
    EXPECT_EQ(lines["EPOCH"], records["raw"]);
    EXPECT_EQ(lines["EPH"], records["ephemeris"]);
    EXPECT_NE(r.err.find("Num Epochs: 30, Time: 0 min."), std::string::npos) << r.err;
}

// Files the tool cannot read or write: it names the file and the reason on standard error and
// exits 1. A line too long for the framing is counted, and the run goes on.
TEST(Tool, FileErrorsNameTheFileAndTheReason) {
    TempDir dir;
    WriteFile(dir.File("long.log"),
              ReadFile(ProjectFile("data/sample.log")).substr(0, 4000) + std::string(24 << 20, 'x') + "\n");
    WriteFile(dir.File("empty.log"), "");
    const std::string raw = " " + Quote(ProjectFile("data/sample-raw.bin"));
    const struct {
        std::string prelude;  // shell commands before the tool's
        std::string args;
        int exitCode;
        std::vector<std::string> messages;
    } kRows[] = {
        {"", "replay --fast /dev/zero", 1, {"/dev/zero: not a regular file"}},
        {"", "replay --fast " + Quote(dir.File("long.log")), 0, {" 1 overflows"}},
        // A paced replay of an empty file has nothing to replay: it ends (124: it waited for ever).
        {"exec timeout 60 ", "replay " + Quote(dir.File("empty.log")), 0, {}},
        {"",
         "replay --raw --log-raw-epochs /nonexistent/dir/site" + raw,
         1,
         {"/nonexistent/dir/site_", "No such file"}},
        // A file size limit makes writes fail as on a full disk (SIGXFSZ ignored: write reports EFBIG).
        {"trap '' XFSZ; ulimit -f 2; exec >/dev/null; exec ",
         "replay --raw --log-raw-epochs " + Quote(dir.File("site")) + raw,
         1,
         {dir.File("site_"), "File too large"}},
    };
    for (const auto& row : kRows) {
        const auto r = Shell("sh -c " + Quote(row.prelude + Quote(TOLVIK_TOOL_PATH) + " " + row.args));
        EXPECT_EQ(r.exitCode, row.exitCode) << row.args << "\n" << r.err;
        for (const auto& message : row.messages) EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace tolvik::test
