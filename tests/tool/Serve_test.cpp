// tolvik serve against real gpsd clients (gpspipe, the gps Python module) and against clients
// that misbehave.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <set>

#include "ToolProcess.h"

namespace tolvik::test {
namespace {

using nlohmann::json;

// The sample replayed fast and without end, so any number of reports can be asked for.
const std::vector<std::string> kReplay = {"--replay", ProjectFile("data/sample.log"), "--rate", "2000", "--loop"};

// A client's objects start with VERSION, DEVICES and WATCH; its TPVs are the sample's fixes as
// replay --format gpsd reports them.
void ExpectGpsdSession(const std::vector<json>& objects, std::size_t expected) {
    static const auto fixes = [] {
        std::map<std::string, std::pair<double, double>> byTime;
        for (const auto& o : GpsdReplay()) {
            if (o["class"] == "TPV" && o.contains("lat")) byTime[o["time"]] = {o["lat"], o["lon"]};
        }
        return byTime;
    }();
    ASSERT_EQ(objects.size(), expected);
    EXPECT_EQ(objects[0]["class"], "VERSION");
    EXPECT_EQ(objects[0]["proto_major"], 3);
    EXPECT_EQ(objects[1]["devices"][0]["path"], ProjectFile("data/sample.log"));
    EXPECT_EQ(objects[2]["class"], "WATCH");
    int positions = 0;
    for (std::size_t i = 3; i < objects.size(); ++i) {
        const auto& o = objects[i];
        ASSERT_TRUE(o["class"] == "TPV" || o["class"] == "SKY") << o;
        if (!o.contains("lat")) continue;
        ASSERT_TRUE(fixes.count(o["time"])) << o;
        EXPECT_EQ(std::make_pair(o["lat"].get<double>(), o["lon"].get<double>()), fixes.at(o["time"])) << o;
        ++positions;
    }
    EXPECT_GT(positions, 0);
}

std::vector<json> Peer(const std::string& command) {
    const auto r = Shell(command);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return JsonLines(r.out);
}

std::vector<json> Gpspipe(int port, int count) {
    return Peer("gpspipe -w -n " + std::to_string(count) + " 127.0.0.1:" + std::to_string(port));
}

// The gps Python module as an application uses it: watch, then read reports (PORT COUNT).
const char* const kPythonClient = R"(
import gps, json, sys
s = gps.gps(host='127.0.0.1', port=int(sys.argv[1]), mode=gps.WATCH_ENABLE | gps.WATCH_JSON)
out = []
while len(out) < int(sys.argv[2]):
    s.read()
    out.append(json.loads(s.response))
    if out[-1]['class'] == 'TPV' and 'lat' in out[-1]:
        assert abs(s.fix.latitude - out[-1]['lat']) < 1e-12, s.fix.latitude
for o in out: print(json.dumps(o))
)";

TEST(Serve, GpspipeAndThePythonModuleGetTheReportsAtOnce) {
    Server server(kReplay);
    const std::string port = std::to_string(server.Port());
    auto pipe = std::async(std::launch::async, [&] { return Gpspipe(server.Port(), 40); });
    auto python = std::async(std::launch::async,
                             [&] { return Peer("/usr/bin/python3 -c " + Quote(kPythonClient) + " " + port + " 40"); });
    ExpectGpsdSession(pipe.get(), 40);
    ExpectGpsdSession(python.get(), 40);
}

// A client that watches and never reads holds up nobody: others get their reports, and what
// the stalled one cannot take is dropped from its short queue and counted.
TEST(Serve, AStalledClientLosesItsOldestReportsOnly) {
    auto args = kReplay;
    args.insert(args.end(), {"--queue", "8"});
    Server server(args);
    Incoming stalled(ConnectLoopback(server.Port(), 4096));
    stalled.Send("?WATCH={\"enable\":true,\"json\":true,\"nmea\":true};\n");
    ExpectGpsdSession(Gpspipe(server.Port(), 300), 300);
    ExpectGpsdSession(Gpspipe(server.Port(), 300), 300);
    const std::string summary = server.Stop();
    const auto at = summary.find(" clients, ");
    ASSERT_NE(at, std::string::npos) << summary;
    EXPECT_GT(std::stoul(summary.substr(at + 10)), 0u) << summary;
}

TEST(Serve, CommandsGarbageAndRawSentences) {
    Server server(kReplay);
    Incoming c(ConnectLoopback(server.Port()));
    const auto next = [&] { return json::parse(c.Next("\n").value_or("{}")); };
    EXPECT_EQ(next()["class"], "VERSION");
    const struct {
        std::string send;
        const char* cls;
    } kSteps[] = {
        {"?VERSION;", "VERSION"},
        {"?DEVICES;\n", "DEVICES"},
        {"?FOO;", "ERROR"},
        {"hello there\n", "ERROR"},
        {"?WATCH={\"enable\":tru;", "ERROR"},
        {std::string(5000, 'x'), "ERROR"},
        {"\n?POLL;", "POLL"},  // the long line was dropped as a whole
        {"?WATCH={\"enable\":false};", "WATCH"},
    };
    for (const auto& step : kSteps) {
        SCOPED_TRACE(step.send.substr(0, 40));
        c.Send(step.send);
        const json o = next();
        EXPECT_EQ(o["class"], step.cls) << o;
        EXPECT_TRUE(o["class"] != "POLL" || o["active"] == 1) << o;
        EXPECT_TRUE(o["class"] != "ERROR" || !o["message"].get<std::string>().empty()) << o;
    }
    // A client gone in the middle of a command does no harm to the next one.
    Incoming(ConnectLoopback(server.Port())).Send("?WATCH={\"ena");
    ExpectGpsdSession(Gpspipe(server.Port(), 200), 200);  // past the sample's first minute without a fix

    // "nmea":true: the sentences exactly as the receiver sent them, CR LF included.
    Incoming nmea(ConnectLoopback(server.Port()));
    nmea.Send("?WATCH={\"enable\":true,\"nmea\":true};");
    std::set<std::string> sample;
    for (const auto& line : ReadLines(ProjectFile("data/sample.log"))) sample.insert(line + "\r");
    for (int sentences = 0; sentences < 50;) {
        const std::string line = nmea.Next("\n").value_or("");
        ASSERT_FALSE(line.empty());
        if (line[0] == '{') {
            const auto cls = json::parse(line)["class"];
            EXPECT_TRUE(cls == "VERSION" || cls == "DEVICES" || cls == "WATCH") << line;
        } else {
            EXPECT_TRUE(sample.count(line)) << line;
            ++sentences;
        }
    }
}

}  // namespace
}  // namespace tolvik::test
