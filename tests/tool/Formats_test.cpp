// The output formats against the programs that read them: gpsd's own decoder, gpsbabel, and
// the input itself.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "ToolProcess.h"
#include "sim/SimulatedReceiver.h"

namespace tolvik::test {
namespace {

std::string Checksummed(const std::string& body) { return sim::SimulatedReceiver::WithChecksum(body); }

std::vector<std::string> Fields(const std::string& text, char separator = ',') {
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
    return fields;
}

// gpsd reports a fix per cycle and needs a date to print a time. Each GGA of the recording,
// preceded by a ZDA of the same time (a fixed date, no position), makes one cycle per GGA.
std::string GgaCycles(const std::string& path) {
    std::string out;
    for (const auto& line : ReadLines(path)) {
        if (line.size() < 7 || line[0] != '$' || line.compare(3, 3, "GGA") != 0) continue;
        const auto comma = line.find(',');
        const std::string time = line.substr(comma + 1, line.find(',', comma + 1) - comma - 1);
        out += Checksummed("GPZDA," + time + ",01,01,2020,00,00") + "\n" + line + "\n";
    }
    return out;
}

std::string TimeOfDay(const nlohmann::json& tpv) { return tpv["time"].get<std::string>().substr(11); }

// (PRN, elevation, azimuth, signal) of a SKY's satellites.
std::set<std::tuple<int, int, int, int>> SkyTable(const nlohmann::json& sky) {
    std::set<std::tuple<int, int, int, int>> table;
    for (const auto& sv : sky["satellites"]) {
        const auto whole = [&](const char* key) { return static_cast<int>(std::lround(sv[key].get<double>())); };
        table.emplace(sv["PRN"].get<int>(), whole("el"), whole("az"), whole("ss"));
    }
    return table;
}

const char* const kRecordings[] = {"ac12.log",         "bu353-glonass.log",  "garmin17n.log",        "hemi.log",
                                   "holux-gm-210.log", "humminbird-M37.log", "nmea-fuzzy-cases.log", "tn200-all.log"};

// Every fix gpsd's decoder reports for the GGA sentences of a recording is one of ours: the same
// time of day, latitude and longitude within the 1e-9 degrees gpsd prints.
TEST(Formats, GpsdTpvMatchesGpsdecodeForEveryGga) {
    TOLVIK_REQUIRE_SHARED_DATA();
    int compared = 0;
    for (const char* name : kRecordings) {
        SCOPED_TRACE(name);
        const std::string path = SharedData(std::string("receivers/") + name);
        TempDir dir;
        WriteFile(dir.File("cycles.nmea"), GgaCycles(path));
        const auto peer = Shell("gpsdecode", dir.File("cycles.nmea"));
        ASSERT_EQ(peer.exitCode, 0) << peer.err;
        std::map<std::string, nlohmann::json> ourFixes;
        for (const auto& o : GpsdReplay(path)) {
            ASSERT_TRUE(o["class"] == "TPV" || o["class"] == "SKY") << o;
            if (o["class"] != "TPV" || !o.contains("lat")) continue;
            ASSERT_GE(o["mode"].get<int>(), 2);
            ASSERT_TRUE(o.contains("status"));
            ourFixes[TimeOfDay(o)] = o;
        }
        int peerCount = 0;
        for (const auto& o : JsonLines(peer.out)) {
            if (o["class"] != "TPV" || !o.contains("lat")) continue;
            ++peerCount;
            const auto it = ourFixes.find(TimeOfDay(o));
            ASSERT_NE(it, ourFixes.end()) << "no TPV of ours at " << o["time"];
            EXPECT_NEAR(it->second["lat"].get<double>(), o["lat"].get<double>(), 1.5e-9) << o["time"];
            EXPECT_NEAR(it->second["lon"].get<double>(), o["lon"].get<double>(), 1.5e-9) << o["time"];
            ++compared;
        }
        // gpsd needs one cycle to see where cycles end: it skips at most the first fix.
        EXPECT_GE(peerCount + 1, static_cast<int>(ourFixes.size()));
    }
    EXPECT_GT(compared, 30);
}

// Our SKY tables (PRN, elevation, azimuth, signal of each satellite) are gpsd's decoder's for the
// same sentences. (A receiver whose GSV groups fit the library's twelve slots: GPS and GLONASS
// groups would mix there.)
TEST(Formats, GpsdSkyMatchesGpsdecode) {
    TOLVIK_REQUIRE_SHARED_DATA();
    const std::string holux = SharedData("receivers/holux-gm-210.log");
    std::set<std::set<std::tuple<int, int, int, int>>> peerTables;
    for (const auto& o : JsonLines(Shell("gpsdecode", holux).out)) {
        if (o["class"] == "SKY") peerTables.insert(SkyTable(o));
    }
    int skies = 0;
    for (const auto& o : GpsdReplay(holux)) {
        if (o["class"] != "SKY") continue;
        ++skies;
        EXPECT_EQ(o["nSat"].get<std::size_t>(), o["satellites"].size());
        EXPECT_TRUE(peerTables.count(SkyTable(o))) << o;
    }
    EXPECT_GT(skies, 0);
}

// Fast replay hands the date sentences to gpsd and gpx itself rather than having every framed
// message posted; paced replay still has them posted. Both must date the same fixes the same
// way, whatever shape the lines have: a date sentence after garbage, two sentences on a line,
// a CR LF line end, a message completed by the next line, a pause line, a comment, a
// fixed-length binary record, bad checksums. The clock moves a minute or more (or back over
// midnight) between sentences, so the paced replay never waits.
TEST(Formats, FastAndPacedReplayDateFixesAlike) {
    const auto gga = [](const std::string& t) {
        return Checksummed("GPGGA," + t + ",5213.1439,N,00015.1234,E,1,08,1.0,10.0,M,45.0,M,,");
    };
    const auto rmc = [](const std::string& t, const std::string& date) {
        return Checksummed("GPRMC," + t + ",A,5213.1439,N,00015.1234,E,1.5,45.0," + date + ",,,A");
    };
    // clang-format off: a line of the recording a row
    const std::vector<std::string> lines = {Checksummed("GPZDA,235000.00,30,12,2024,00,00"),
                                            gga("235000.00"),
                                            rmc("235000.00", "301224"),
                                            gga("235100.00"),
                                            "xx" + rmc("235100.00", "311224"),  // garbage first
                                            gga("000000.00"),
                                            rmc("000000.00", "010125") + gga("000000.00"),  // one frame, bad sum
                                            gga("000100.00"),
                                            rmc("000100.00", "020125") + "\r",  // CR LF
                                            "",
                                            "$GPRMC,",
                                            rmc("000200.00", "030125").substr(7),  // waits for a comma
                                            gga("000200.00"),
                                            "VEK PAUSE,wait " + rmc("000300.00", "040125"),  // runs on
                                            gga("000300.00"),
                                            "#comment RMC " + rmc("000400.00", "050125"),  // a '#' reply
                                            gga("000400.00"),
                                            "$PASHR,MBN,RMC" + std::string(20, 'x'),  // eats the next line
                                            rmc("000500.00", "060125"),
                                            gga("000500.00"),
                                            "$GPRMC,ab," + rmc("000600.00", "070125").substr(7),  // not a time
                                            gga("000600.00"),
                                            "$BIN" + rmc("000700.00", "080125").substr(3),  // binary
                                            gga("000700.00"),
                                            rmc("000800.00", "090125").substr(0, 60) + "\xA0*00",  // bad checksum
                                            gga("000800.00"),
                                            Checksummed("GPZDA,000900.00,10,01,2025,00,00"),
                                            gga("000900.00"),
                                            rmc("001000.00", "110125"),
                                            gga("001000.00")};
    // clang-format on
    TempDir dir;
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    WriteFile(dir.File("lines.nmea"), text);
    for (const char* format : {"gpsd", "gpx"}) {
        SCOPED_TRACE(format);
        const auto fast = Tolvik({"replay", "--fast", "--format", format, dir.File("lines.nmea")});
        const auto paced = Tolvik({"replay", "--realtime", "--format", format, dir.File("lines.nmea")});
        ASSERT_EQ(fast.exitCode, 0) << fast.err;
        ASSERT_EQ(paced.exitCode, 0) << paced.err;
        EXPECT_EQ(fast.out, paced.out);
        std::set<std::string> dates;
        for (std::size_t at = fast.out.find("T00:"); at != std::string::npos; at = fast.out.find("T00:", at + 1)) {
            dates.insert(fast.out.substr(at - 10, 10));
        }
        // After midnight only the RMC behind garbage, the CR LF one, the ZDA and the last RMC
        // frame as good date sentences; each other line's reason is noted beside it.
        EXPECT_EQ(dates, (std::set<std::string>{"2024-12-31", "2025-01-02", "2025-01-10", "2025-01-11"})) << fast.out;
    }
}

// gpsbabel reads our track back: one point per epoch with a fix, at its position and time.
TEST(Formats, GpxReadsBackInGpsbabel) {
    const auto babel = Shell("sh -c " + Quote(Quote(TOLVIK_TOOL_PATH) +
                                              " replay --fast --format gpx | gpsbabel -t -i gpx -f - -o unicsv -F -"));
    ASSERT_EQ(babel.exitCode, 0) << babel.err;
    std::vector<nlohmann::json> fixes;
    for (const auto& o : GpsdReplay()) {
        if (o["class"] == "TPV" && o["mode"].get<int>() >= 2) fixes.push_back(o);
    }
    const auto rows = Fields(babel.out, '\n');
    ASSERT_EQ(rows.size(), fixes.size() + 1) << babel.out.substr(0, 200);
    EXPECT_TRUE(rows[0].starts_with("No,Latitude,Longitude,Altitude")) << rows[0];
    EXPECT_GT(fixes.size(), 300u);
    for (std::size_t i = 0; i < fixes.size(); ++i) {
        const auto f = Fields(rows[i + 1].substr(0, rows[i + 1].find('\r')));
        ASSERT_GE(f.size(), 9u) << rows[i + 1];
        EXPECT_NEAR(std::stod(f[1]), fixes[i]["lat"].get<double>(), 1e-6) << rows[i + 1];
        EXPECT_NEAR(std::stod(f[2]), fixes[i]["lon"].get<double>(), 1e-6) << rows[i + 1];
        EXPECT_NEAR(std::stod(f[3]), fixes[i]["alt"].get<double>(), 0.05) << rows[i + 1];
        const std::string time = fixes[i]["time"];
        EXPECT_EQ(f[7], time.substr(0, 4) + "/" + time.substr(5, 2) + "/" + time.substr(8, 2)) << rows[i + 1];
        EXPECT_EQ(f[8], time.substr(11, 8)) << rows[i + 1];
    }
}

// The sentences leave as they came, byte for byte: from an emulation file with CRLF line ends
// (each line is passed on with "\r\n") and from a raw byte log.
TEST(Formats, NmeaPassesTheInputThroughUnchanged) {
    TempDir dir;
    std::string crlf;
    for (const auto& line : ReadLines(ProjectFile("data/sample.log"))) crlf += line + "\r\n";
    WriteFile(dir.File("sample.crlf"), crlf);
    for (const char* mode : {"--fast", "--raw"}) {
        SCOPED_TRACE(mode);
        const auto r = Tolvik({"replay", mode, "--format", "nmea", dir.File("sample.crlf")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out == crlf) << r.out.size() << " bytes out, " << crlf.size() << " in";
    }
}

}  // namespace
}  // namespace tolvik::test
