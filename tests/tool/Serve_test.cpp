// tolvik serve against real gpsd clients (gpspipe, the gps Python module) and against clients
// that misbehave.
#include <gtest/gtest.h>

#include <future>
#include <map>

#include "ToolProcess.h"
#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::JsonLines;
using test::Quote;

// The sample replayed fast and without end, so any number of reports can be asked for.
const std::vector<std::string> kReplay = {"--replay", test::ProjectFile("data/sample.log"), "--rate", "2000", "--loop"};

// The positions the sample's fixes have, by time, as replay --format gpsd reports them.
std::map<std::string, std::pair<double, double>> SampleFixes() {
    std::map<std::string, std::pair<double, double>> fixes;
    for (const auto& o : JsonLines(test::Tolvik({"replay", "--fast", "--format", "gpsd"}).out)) {
        if (o["class"] == "TPV" && o.contains("lat")) fixes[o["time"]] = {o["lat"], o["lon"]};
    }
    return fixes;
}

// A client's objects start with VERSION, DEVICES and WATCH; its TPVs are the sample's fixes.
void ExpectGpsdSession(const std::vector<nlohmann::json>& objects, std::size_t expected) {
    static const auto fixes = SampleFixes();
    ASSERT_EQ(objects.size(), expected);
    EXPECT_EQ(objects[0]["class"], "VERSION");
    EXPECT_EQ(objects[0]["proto_major"], 3);
    EXPECT_EQ(objects[1]["class"], "DEVICES");
    EXPECT_EQ(objects[1]["devices"][0]["path"], test::ProjectFile("data/sample.log"));
    EXPECT_EQ(objects[2]["class"], "WATCH");
    int positions = 0;
    for (std::size_t i = 3; i < objects.size(); ++i) {
        const auto& o = objects[i];
        ASSERT_TRUE(o["class"] == "TPV" || o["class"] == "SKY") << o;
        if (!o.contains("lat")) continue;
        const auto it = fixes.find(o["time"]);
        ASSERT_NE(it, fixes.end()) << o;
        EXPECT_EQ(o["lat"].get<double>(), it->second.first);
        EXPECT_EQ(o["lon"].get<double>(), it->second.second);
        ++positions;
    }
    EXPECT_GT(positions, 0);
}

std::vector<nlohmann::json> Gpspipe(int port, int count) {
    const test::Run r = test::Shell("gpspipe -w -n " + std::to_string(count) + " 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return JsonLines(r.out);
}

// The gps Python module as an application uses it: watch, then read reports.
std::vector<nlohmann::json> PythonClient(int port, int count) {
    const std::string script =
        "import gps, json, sys\n"
        "s = gps.gps(host='127.0.0.1', port=" +
        std::to_string(port) +
        ", mode=gps.WATCH_ENABLE | gps.WATCH_JSON)\n"
        "out = []\n"
        "while len(out) < " +
        std::to_string(count) +
        ":\n"
        "    s.read()\n"
        "    out.append(json.loads(s.response))\n"
        "    if out[-1]['class'] == 'TPV' and 'lat' in out[-1]:\n"
        "        assert abs(s.fix.latitude - out[-1]['lat']) < 1e-12, s.fix.latitude\n"
        "for o in out: print(json.dumps(o))\n";
    test::TempDir dir;
    test::WriteFile(dir.File("client.py"), script);
    const test::Run r = test::Shell("/usr/bin/python3 " + Quote(dir.File("client.py")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return JsonLines(r.out);
}

TEST(Serve, GpspipeAndThePythonModuleGetTheReportsAtOnce) {
    test::Server server(kReplay);
    auto pipe = std::async(std::launch::async, [&] { return Gpspipe(server.Port(), 40); });
    auto python = std::async(std::launch::async, [&] { return PythonClient(server.Port(), 40); });
    ExpectGpsdSession(pipe.get(), 40);
    ExpectGpsdSession(python.get(), 40);
}

// A client that watches and never reads holds up nobody: others get their reports, and what
// the stalled one cannot take is dropped from its short queue and counted.
TEST(Serve, AStalledClientLosesItsOldestReportsOnly) {
    auto args = kReplay;
    args.insert(args.end(), {"--queue", "8"});
    test::Server server(args);
    test::Client stalled(server.Port());
    stalled.SmallReceiveBuffer();
    stalled.Send("?WATCH={\"enable\":true,\"json\":true,\"nmea\":true};\n");
    ExpectGpsdSession(Gpspipe(server.Port(), 300), 300);
    ExpectGpsdSession(Gpspipe(server.Port(), 300), 300);
    const std::string summary = server.Stop();
    const auto at = summary.find(" clients, ");
    ASSERT_NE(at, std::string::npos) << summary;
    EXPECT_GT(std::stoul(summary.substr(at + 10)), 0u) << summary;
}

TEST(Serve, CommandsAndGarbage) {
    test::Server server(kReplay);
    test::Client c(server.Port());
    EXPECT_EQ(nlohmann::json::parse(c.Line())["class"], "VERSION");
    const struct {
        std::string send;
        std::vector<std::string> classes;
    } steps[] = {
        {"?VERSION;", {"VERSION"}},
        {"?DEVICES;\n", {"DEVICES"}},
        {"?FOO;", {"ERROR"}},
        {"hello there\n", {"ERROR"}},
        {"?WATCH={\"enable\":tru;", {"ERROR"}},
        {std::string(5000, 'x'), {"ERROR"}},
        {"\n?POLL;", {"POLL"}},  // the long line was dropped as a whole
        {"?WATCH={\"enable\":false};", {"WATCH"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.send.substr(0, 40));
        c.Send(step.send);
        for (const auto& cls : step.classes) {
            const auto o = nlohmann::json::parse(c.Line());
            EXPECT_EQ(o["class"], cls) << o;
            if (cls == "POLL") {
                EXPECT_EQ(o["active"], 1);
            }
            if (cls == "ERROR") {
                EXPECT_FALSE(o["message"].get<std::string>().empty());
            }
        }
    }
    // A client gone in the middle of a command does no harm to the next one.
    {
        test::Client rude(server.Port());
        rude.Send("?WATCH={\"ena");
    }
    ExpectGpsdSession(Gpspipe(server.Port(), 200), 200);  // past the sample's first minute without a fix
}

// "nmea":true: the sentences exactly as the receiver sent them, CR LF included.
TEST(Serve, NmeaWatchersGetTheSentencesAsReceived) {
    test::Server server(kReplay);
    test::Client c(server.Port());
    c.Send("?WATCH={\"enable\":true,\"nmea\":true};");
    std::set<std::string> sample;
    for (const auto& line : test::ReadLines(test::ProjectFile("data/sample.log"))) sample.insert(line + "\r");
    int sentences = 0;
    while (sentences < 50) {
        const std::string line = c.Line();
        ASSERT_FALSE(line.empty());
        if (line[0] == '{') {
            const auto cls = nlohmann::json::parse(line)["class"];
            EXPECT_TRUE(cls == "VERSION" || cls == "DEVICES" || cls == "WATCH") << line;
            continue;
        }
        EXPECT_TRUE(sample.count(line)) << line;
        ++sentences;
    }
}

}  // namespace
}  // namespace tolvik
