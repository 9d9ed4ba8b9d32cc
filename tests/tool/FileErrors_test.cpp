// Files the tool cannot read or write: it names the file and the reason on stderr and exits 1.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

struct ToolResult {
    int exitCode;
    std::string err;
};

// The tool under sh with a prelude (limits, traps); stdout is not kept.
ToolResult Tool(const std::string& prelude, const std::string& args) {
    test::TempDir dir;
    const std::string command = prelude + " XDG_CONFIG_HOME='" + dir.Path() + "' '" TOLVIK_TOOL_PATH "' " + args +
                                " </dev/null >/dev/null 2>'" + dir.File("err") + "'";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir.File("err"))};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(FileErrors, FastReplayOfADeviceFails) {
    const ToolResult r = Tool("", "replay --fast /dev/zero");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "/dev/zero: not a regular file")) << r.err;
}

TEST(FileErrors, ALongLineIsCountedAsAnOverflow) {
    test::TempDir dir;
    test::WriteFile(dir.File("long.log"), test::ReadFile(test::ProjectFile("data/sample.log")).substr(0, 4000) +
                                              std::string(24 << 20, 'x') + "\n");
    const ToolResult r = Tool("", "replay --fast '" + dir.File("long.log") + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, " 1 overflows")) << r.err;
}

TEST(FileErrors, ARawEpochLogThatCannotBeCreatedIsNamedWithTheReason) {
    const ToolResult r = Tool(
        "", "replay --raw --log-raw-epochs /nonexistent/dir/site '" + test::ProjectFile("data/sample-raw.bin") + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r.err, "/nonexistent/dir/site_")) << r.err;
    EXPECT_TRUE(Has(r.err, "No such file or directory")) << r.err;
}

// A file size limit makes writes fail as on a full disk (SIGXFSZ ignored, so write reports EFBIG).
TEST(FileErrors, AFailedRawEpochLogWriteIsReportedAndFailsTheRun) {
    test::TempDir dir;
    const ToolResult r = Tool("trap '' XFSZ; ulimit -f 2;", "replay --raw --log-raw-epochs '" + dir.File("site") +
                                                                "' '" + test::ProjectFile("data/sample-raw.bin") + "'");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(Has(r.err, dir.File("site_"))) << r.err;
    EXPECT_TRUE(Has(r.err, "File too large")) << r.err;
}

}  // namespace
}  // namespace tolvik
