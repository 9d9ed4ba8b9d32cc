// GGA and INGGA (angles, time, fix status, satellites, altitude with antenna height and geoid) and
// the "GPSStatus" map beside the host program that overrides their quality tables; only a regular
// file is read there (a FIFO or a device must not hold up start-up).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <numbers>
#include <string>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

constexpr int kNone = UDF_SIGNAL_NONE, kGps = UDF_SIGNAL_GPS, kCalc = UDF_SIGNAL_CALCULATED;

// "GGA" or "INGGA" at 48 07.038, 011 31.000 with the given quality, satellites and hemispheres.
std::string Fix(const std::string& talker, int quality, const std::string& sats = "08", const std::string& ns = "N",
                const std::string& ew = "E") {
    return talker + "GGA,123519,4807.038," + ns + ",01131.000," + ew + "," + std::to_string(quality) + "," + sats +
           ",0.9,545.4,M,46.9,M,,";
}

// The host program lives in a fresh folder, where a test may put the status map.
class PositionFixTest : public ::testing::Test {
protected:
    PositionFixTest() { host.SetModuleFileName(CString::FromBytes(dir.Path() + "/prog")); }
    void SetUp() override { Epoch() = CGPSData(); }
    static CGPSData& Epoch() { return CGPSReceiver::m_GPSData; }
    // Degrees and minutes to radians, written out independently of the receiver's arithmetic.
    static double Rad(double deg, double min) { return (deg + min / 60) * std::numbers::pi / 180; }
    bool Run(const std::string& body) {
        CString message = test::NmeaText(body);
        return body.starts_with("IN") ? rx.ProcessINGGA(message) : rx.ProcessGGA(message);
    }
    void ExpectStatus(const std::string& body, int status) {
        ASSERT_TRUE(Run(body)) << body;
        EXPECT_EQ(Epoch().m_nFixStatus, status) << body;
    }
    std::map<int, int> LoadMap(const std::string& text, test::TestReceiver& receiver) {
        test::WriteFile(dir.File("GPSStatus"), text);
        receiver.LoadAlternatGPSStatusStrings();
        return {receiver.m_StatusStrings.begin(), receiver.m_StatusStrings.end()};
    }
    const double kLat = Rad(48, 7.038);
    test::RecordingHost host;
    test::TempDir dir;
    test::TestReceiver rx;
};

TEST_F(PositionFixTest, AnglesTimeAndFields) {
    // Only the exact upper-case letters N and E are positive. (The recordings pin the conversion
    // of angles, including those west and south.)
    for (const auto& [ns, ew] : {std::pair("N", "E"), std::pair("S", "W"), std::pair("n", "e")}) {
        ASSERT_TRUE(Run(Fix("GP", 1, "08", ns, ew)));
        EXPECT_NEAR(Epoch().m_dLatitude, (*ns == 'N' ? 1 : -1) * kLat, 1e-12) << ns;
        EXPECT_NEAR(Epoch().m_dLongitude, (*ew == 'E' ? 1 : -1) * Rad(11, 31), 1e-12) << ew;
    }
    ASSERT_TRUE(Run("GPGGA,123519.50,4807.038,,01131.000,EE,2,08,0.9,545.4,M,46.9,M"));
    EXPECT_TRUE(Epoch().m_dLatitude < 0 && Epoch().m_dLongitude < 0);
    EXPECT_TRUE(Epoch().m_bPositionValid && Epoch().m_bDOPValid && Epoch().m_dHDOP == 0.9);
    EXPECT_DOUBLE_EQ(Epoch().m_dUTCTime, 12 * 3600 + 35 * 60 + 19.5);
    EXPECT_DOUBLE_EQ(Epoch().m_dAltitude, 545.4);  // geoid mode 0, no antenna height
}

TEST_F(PositionFixTest, QualityTablesAndMinimumSatellites) {
    constexpr int kDgps = UDF_SIGNAL_CORRECTED_GPS, kFixed = UDF_SIGNAL_RTK_FIXED, kFloat = UDF_SIGNAL_RTK_FLOAT;
    const int gga[] = {kNone, kGps, kDgps, kGps, kFixed, kFloat, kCalc, UDF_SIGNAL_MANUAL, kGps, UDF_SIGNAL_WAAS, kGps};
    for (int quality = -1; quality <= 10; ++quality) {
        ExpectStatus(Fix("GP", quality), quality < 0 ? kGps : gga[quality]);
        ExpectStatus(Fix("IN", quality), quality == 0 ? kNone : kCalc);
    }
    // Too few satellites only downgrade the status; INGGA has no minimum.
    const struct {
        const char* talker;
        int minimum;
        const char* sats;
        int status;
    } cases[] = {{"GP", 4, "03", kNone}, {"GP", 4, "04", kGps}, {"GP", 3, "03", kGps}, {"IN", 4, "00", kCalc}};
    for (const auto& c : cases) {
        Epoch() = CGPSData();
        rx.m_nMinSatellites = c.minimum;
        ExpectStatus(Fix(c.talker, 1, c.sats), c.status);
        EXPECT_EQ(Epoch().m_nSatellitesUsed, std::stoi(c.sats));
        EXPECT_TRUE(Epoch().m_dLatitude != 0 && Epoch().m_dAltitude == 545.4) << "still stored";
    }
}

TEST_F(PositionFixTest, WhatAFailedSentenceLeaves) {
    // lat: the latitude was stored. Feet are never taken as metres. INGGA needs only its
    // position, quality and altitude unit, and keeps the time, HDOP and altitude it leaves empty
    // (the altitude without lowering it by the antenna height again).
    const struct {
        const char* body;
        bool ok, lat;
        int status;
        bool dop;
        double alt;
    } cases[] = {{"GPGGA,1,4807.038,N,01131.000,E,1,08,0.9,545.4,m,46.9,M,,", true, true, kGps, true, 544},
                 {"GPGGA,1,4807.038,N,01131.000,E,1,08,0.9,545.4,F,46.9,M,,", false, true, kGps, true, 7},
                 {"GPGGA,,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,,,", false, false, kNone, false, 7},
                 {"GPGGA,1,4807.038,N,01131.000,E,1,08,,545.4,M,,,,", false, true, kGps, false, 7},
                 {"GPGGA,1,4807.038,N,01131.000,E,1,08,0.9,,M,,,,", false, true, kGps, true, 7},
                 {"INGGA,,4807.038,N,01131.000,E,2,08,,,M", true, true, kCalc, false, 7},
                 {"INGGA,1,4807.038,N,01131.000,E,1,08,0.9,545.4,F", false, true, kCalc, true, 7},
                 {"INGGA,1,4807.038,N,01131.000,E,1,08,0.9,545.4", false, true, kCalc, true, 7},
                 {"INGGA,1,,N,01131.000,E,2,10,0.9,545.4,M", false, false, kNone, false, 7},
                 {"INGGA,1,4807.038,N,01131.000,E,,10,0.9,545.4,M", false, true, kNone, false, 7}};
    rx.m_dAntennaHeight = 1.4;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        Epoch().m_dLatitude = Epoch().m_dHDOP = 1.0;
        Epoch().m_dAltitude = Epoch().m_dUTCTime = 7.0;
        Epoch().m_bDOPValid = false;
        EXPECT_EQ(Run(c.body), c.ok);
        EXPECT_TRUE(Epoch().m_bPositionValid) << "set before anything is read";
        EXPECT_NEAR(Epoch().m_dLatitude, c.lat ? kLat : 1.0, 1e-12);
        EXPECT_TRUE(Epoch().m_nFixStatus == c.status && Epoch().m_bDOPValid == c.dop);
        EXPECT_DOUBLE_EQ(Epoch().m_dAltitude, c.alt);
        EXPECT_DOUBLE_EQ(Epoch().m_dUTCTime, c.body[6] == ',' ? 7.0 : 1.0);
        EXPECT_DOUBLE_EQ(Epoch().m_dHDOP, c.dop ? 0.9 : 1.0);
    }
}

TEST_F(PositionFixTest, AntennaHeightAndGeoidModes) {
    const struct {
        int mode;
        double antenna;
        const char* tail;
        double altitude;
    } cases[] = {{1, 1.5, ",46.9,M,,", 590.8}, {2, 1.5, ",46.9,M,,", 497.0}, {-1, 1.5, ",46.9,M,,", 497.0},
                 {0, 1.5, ",46.9,M,,", 543.9}, {1, 1.5, ",,M,,", 543.9},     {1, 1.5, ",46.9,F,,", 543.9},
                 {1, 1.5, ",46.9,m,,", 590.8}, {1, 1.5, ",4x6,M,,", 543.9},  {1, 1.5, "", 543.9},
                 {2, 0, ",-13.9,M,,", 559.3},  {0, -2.0, ",46.9,M,,", 547.4}};
    for (const std::string talker : {"GP", "IN"}) {  // INGGA does the same
        for (const auto& c : cases) {
            const std::string body = talker + "GGA,1,4807.038,N,01131.000,E,1,08,0.9,545.4,M";
            rx.m_nGeoidMode = c.mode;
            rx.m_dAntennaHeight = c.antenna;
            ASSERT_TRUE(Run(body + c.tail));
            EXPECT_NEAR(Epoch().m_dAltitude, c.altitude, 1e-9) << body << c.tail << " " << c.mode;
        }
    }
}

TEST_F(PositionFixTest, StatusMapComesBeforeTheFixedTables) {
    rx.m_StatusStrings.SetAt(4, UDF_SIGNAL_RTK_FLOAT);
    ExpectStatus(Fix("GP", 4), UDF_SIGNAL_RTK_FIXED);  // entries count once a map is loaded
    test::WriteFile(dir.File("GPSStatus"), "0,UDF_SIGNAL_MANUAL\n");
    rx.SetupReceiver(0, 0, 0.0, CString(), true);
    ASSERT_TRUE(rx.Initialize());  // loads the map beside the program
    ExpectStatus(Fix("GP", 4), UDF_SIGNAL_RTK_FLOAT);
    ExpectStatus(Fix("GP", 2), UDF_SIGNAL_CORRECTED_GPS);
    ExpectStatus(Fix("GP", 4, "03"), kNone);  // too few satellites still
    ExpectStatus(Fix("IN", 0), UDF_SIGNAL_MANUAL);
    ExpectStatus(Fix("IN", 2), kCalc);
    // A "default" line covers the qualities without a line of their own.
    LoadMap("default,UDF_SIGNAL_UNKNOWN\n", rx);
    ExpectStatus(Fix("GP", 2), UDF_SIGNAL_UNKNOWN);
    ExpectStatus(Fix("GP", 4), UDF_SIGNAL_RTK_FLOAT);
}

TEST_F(PositionFixTest, StatusMapFile) {
    constexpr int kDefault = CGPSReceiver::kStatusMapDefault;
    // clang-format off
    const struct {
        const char* file;
        bool loaded;
        std::map<int, int> entries;
    } cases[] = {
        {"4,UDF_SIGNAL_RTK_FLOAT\n5,UDF_SIGNAL_RTK_FIXED\n", true, {{4, 7}, {5, 6}}},
        {"2,  \" udf_signal_waas\"\t \n7 , UDF_SIGNAL_MANUAL\r\n", true, {{2, 9}, {7, 4}}},
        // No comma, no number.
        {"4 UDF_SIGNAL_RTK_FLOAT\nabc,UDF_SIGNAL_GPS\n,UDF_SIGNAL_GPS\n-,UDF_SIGNAL_GPS\n", false, {}},
        {"3,UDF_SIGNAL_DIFFERENTIAL\n", true, {}},                          // unknown name
        {"4,UDF_SIGNAL_RTK_FLOAT\n4,UDF_SIGNAL_MANUAL\n", true, {{4, 4}}},  // the later line wins
        {"  12abc,UDF_SIGNAL_NONE\n-3,UDF_SIGNAL_GPS\n+6,UDF_SIGNAL_POSTPROCESSED\n", true, {{12, 0}, {-3, 1}, {6, 8}}},
        // The 32-bit limits cannot tell a quality from an overflow.
        {"2147483647,UDF_SIGNAL_GPS\n-2147483648,UDF_SIGNAL_GPS\n99999999999,UDF_SIGNAL_GPS\n", false, {}},
        {"4,UDF_SIGNAL_RTK_FLOAT\nDEFAULT,UDF_SIGNAL_GPS\n5,UDF_SIGNAL_GPS\n", true, {{4, 7}, {5, 1}, {kDefault, 1}}},
        {" default,UDF_SIGNAL_GPS\n", false, {}},
        // A byte-order mark from an editor is no part of the first line, and only there.
        {"\xEF\xBB\xBF" "4,UDF_SIGNAL_RTK_FLOAT\r\n5,UDF_SIGNAL_RTK_FIXED\r\n", true, {{4, 7}, {5, 6}}},
        {"4,UDF_SIGNAL_RTK_FLOAT\n\xEF\xBB\xBF" "5,UDF_SIGNAL_RTK_FIXED\n", true, {{4, 7}}}};
    // clang-format on
    for (const auto& c : cases) {
        test::TestReceiver receiver;
        EXPECT_EQ(LoadMap(c.file, receiver), c.entries) << c.file;
        EXPECT_EQ(receiver.m_bHasStatusMap, c.loaded) << c.file;
    }
    // Reloading adds and overrides; an empty file forgets nothing.
    LoadMap("4,UDF_SIGNAL_RTK_FLOAT\n5,UDF_SIGNAL_RTK_FIXED\n", rx);
    LoadMap("5,UDF_SIGNAL_WAAS\n6,UDF_SIGNAL_GPS\n", rx);
    EXPECT_EQ(LoadMap("", rx), (std::map<int, int>{{4, 7}, {5, 9}, {6, 1}}));
    EXPECT_TRUE(rx.m_bHasStatusMap);
}

// Opening a FIFO for reading waits for a writer that never comes; a device may never end. Only a
// regular file (or a link to one) is read.
TEST_F(PositionFixTest, StatusMapIsReadOnlyFromARegularFile) {
    const std::string map = dir.File("GPSStatus");
    ASSERT_EQ(mkfifo(map.c_str(), 0600), 0);
    rx.LoadAlternatGPSStatusStrings();
    ASSERT_EQ(unlink(map.c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", map.c_str()), 0);
    rx.LoadAlternatGPSStatusStrings();
    EXPECT_TRUE(rx.m_StatusStrings.IsEmpty() && !rx.m_bHasStatusMap);
    ASSERT_EQ(unlink(map.c_str()), 0);
    test::WriteFile(dir.File("real"), "2,UDF_SIGNAL_WAAS\n");
    ASSERT_EQ(symlink(dir.File("real").c_str(), map.c_str()), 0);
    rx.LoadAlternatGPSStatusStrings();
    EXPECT_EQ((std::map<int, int>{rx.m_StatusStrings.begin(), rx.m_StatusStrings.end()}), (std::map<int, int>{{2, 9}}));
}

}  // namespace
}  // namespace tolvik
