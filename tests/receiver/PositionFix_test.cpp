// GGA and INGGA: angles, time, fix status, satellites, altitude with antenna height and geoid.
#include <gtest/gtest.h>

#include <numbers>
#include <string>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::NmeaText;
using test::TestReceiver;

constexpr double kEps = 1e-12;

// Degrees and minutes to radians, written out independently of the receiver's arithmetic.
double Radians(double dDegrees, double dMinutes) {
    return (dDegrees + dMinutes / 60.0) * std::numbers::pi / 180.0;
}

bool RunGGA(TestReceiver& receiver, const std::string& body) {
    CString message = NmeaText(body);
    return receiver.ProcessGGA(message);
}

bool RunINGGA(TestReceiver& receiver, const std::string& body) {
    CString message = NmeaText(body);
    return receiver.ProcessINGGA(message);
}

const CGPSData& Epoch() { return CGPSReceiver::m_GPSData; }

std::string GGA(const std::string& latHemisphere, const std::string& lonHemisphere,
                int nQuality = 1, const std::string& sats = "08") {
    return "GPGGA,123519,4807.038," + latHemisphere + ",01131.000," + lonHemisphere + "," +
           std::to_string(nQuality) + "," + sats + ",0.9,545.4,M,46.9,M,,";
}

TEST(GPSPosToRadians, DegreesAndMinutes) {
    const struct {
        const char* legend;
        double value;
        double expected;
    } cases[] = {
        {"48 deg 7.038 min", 4807.038, Radians(48, 7.038)},
        {"negative keeps the sign on degrees and minutes", -4807.038, -Radians(48, 7.038)},
        {"11 deg 31 min", 1131.0, Radians(11, 31)},
        {"three-digit degrees", 17959.5, Radians(179, 59.5)},
        {"minutes only", 0.5, Radians(0, 0.5)},
        {"negative minutes only", -0.5, -Radians(0, 0.5)},
        {"pole", 9000.0, std::numbers::pi / 2},
        {"zero", 0.0, 0.0},
    };
    TestReceiver receiver;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_NEAR(receiver.GPSPosToRadians(c.value), c.expected, kEps);
    }
}

TEST(ProcessGGA, HemisphereLettersAreCaseSensitive) {
    const struct {
        const char* lat;
        const char* lon;
        double latSign;
        double lonSign;
    } cases[] = {
        {"N", "E", 1, 1},   {"S", "W", -1, -1}, {"N", "W", 1, -1},   {"S", "E", -1, 1},
        {"n", "e", -1, -1}, {"", "", -1, -1},   {"X", "EE", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lat) + "/" + c.lon);
        TestReceiver receiver;
        ASSERT_TRUE(RunGGA(receiver, GGA(c.lat, c.lon)));
        EXPECT_NEAR(Epoch().m_dLatitude, c.latSign * Radians(48, 7.038), kEps);
        EXPECT_NEAR(Epoch().m_dLongitude, c.lonSign * Radians(11, 31), kEps);
    }
}

TEST(ProcessGGA, TakesTheSentence) {
    TestReceiver receiver;
    ASSERT_TRUE(
        RunGGA(receiver, "GPGGA,123519.50,4807.038,N,01131.000,W,2,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_TRUE(Epoch().m_bPositionValid);
    EXPECT_TRUE(Epoch().m_bDOPValid);
    EXPECT_DOUBLE_EQ(Epoch().m_dUTCTime, 12 * 3600 + 35 * 60 + 19.5);
    EXPECT_NEAR(Epoch().m_dLongitude, -Radians(11, 31), kEps);
    EXPECT_EQ(Epoch().m_nFixStatus, UDF_SIGNAL_CORRECTED_GPS);
    EXPECT_EQ(Epoch().m_nSatellitesUsed, 8);
    EXPECT_DOUBLE_EQ(Epoch().m_dHDOP, 0.9);
    EXPECT_DOUBLE_EQ(Epoch().m_dAltitude, 545.4);  // geoid mode 0, no antenna height
}

TEST(ProcessGGA, TimeOfDay) {
    const struct {
        const char* field;
        double seconds;
    } cases[] = {
        {"000000", 0.0},         {"123519", 45319.0}, {"123519.25", 45319.25},
        {"235959.99", 86399.99}, {"0107", 67.0},      {"10000", 3600.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        TestReceiver receiver;
        ASSERT_TRUE(RunGGA(receiver, std::string("GPGGA,") + c.field +
                                         ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,,,,"));
        EXPECT_NEAR(Epoch().m_dUTCTime, c.seconds, 1e-9);
    }
}

TEST(ProcessGGA, QualityTable) {
    const struct {
        int quality;
        int status;
    } cases[] = {
        {0, UDF_SIGNAL_NONE},       {1, UDF_SIGNAL_GPS},       {2, UDF_SIGNAL_CORRECTED_GPS},
        {3, UDF_SIGNAL_GPS},        {4, UDF_SIGNAL_RTK_FIXED}, {5, UDF_SIGNAL_RTK_FLOAT},
        {6, UDF_SIGNAL_CALCULATED}, {7, UDF_SIGNAL_MANUAL},    {8, UDF_SIGNAL_GPS},
        {9, UDF_SIGNAL_WAAS},       {10, UDF_SIGNAL_GPS},      {12, UDF_SIGNAL_GPS},
        {-1, UDF_SIGNAL_GPS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        TestReceiver receiver;
        ASSERT_TRUE(RunGGA(receiver, GGA("N", "E", c.quality)));
        EXPECT_EQ(Epoch().m_nFixStatus, c.status);
    }
}

TEST(ProcessINGGA, QualityTable) {
    const struct {
        int quality;
        int status;
    } cases[] = {{0, UDF_SIGNAL_NONE},       {1, UDF_SIGNAL_CALCULATED},
                 {2, UDF_SIGNAL_CALCULATED}, {4, UDF_SIGNAL_CALCULATED},
                 {9, UDF_SIGNAL_CALCULATED}, {-3, UDF_SIGNAL_CALCULATED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        TestReceiver receiver;
        ASSERT_TRUE(RunINGGA(receiver, "IN" + GGA("N", "E", c.quality).substr(2)));
        EXPECT_EQ(Epoch().m_nFixStatus, c.status);
    }
}

TEST(ProcessGGA, StatusMapIsConsultedFirst) {
    TestReceiver receiver;
    receiver.m_StatusStrings.SetAt(4, UDF_SIGNAL_RTK_FLOAT);
    receiver.m_StatusStrings.SetAt(1, UDF_SIGNAL_RTK_FIXED);

    // Entries are ignored until the map counts as loaded.
    ASSERT_TRUE(RunGGA(receiver, GGA("N", "E", 4)));
    EXPECT_EQ(Epoch().m_nFixStatus, UDF_SIGNAL_RTK_FIXED);

    receiver.m_bHasStatusMap = true;
    const struct {
        int quality;
        int status;
    } cases[] = {{4, UDF_SIGNAL_RTK_FLOAT},
                 {1, UDF_SIGNAL_RTK_FIXED},
                 {2, UDF_SIGNAL_CORRECTED_GPS},
                 {5, UDF_SIGNAL_RTK_FLOAT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        ASSERT_TRUE(RunGGA(receiver, GGA("N", "E", c.quality)));
        EXPECT_EQ(Epoch().m_nFixStatus, c.status);
    }
    // A mapped quality with too few satellites is still no fix.
    ASSERT_TRUE(RunGGA(receiver, GGA("N", "E", 4, "03")));
    EXPECT_EQ(Epoch().m_nFixStatus, UDF_SIGNAL_NONE);

    // A "default" entry covers the qualities without an entry of their own, not the others.
    receiver.m_StatusStrings.SetAt(CGPSReceiver::kStatusMapDefault, UDF_SIGNAL_UNKNOWN);
    for (const auto& c : {std::pair{2, UDF_SIGNAL_UNKNOWN}, std::pair{4, UDF_SIGNAL_RTK_FLOAT}}) {
        SCOPED_TRACE(c.first);
        ASSERT_TRUE(RunGGA(receiver, GGA("N", "E", c.first)));
        EXPECT_EQ(Epoch().m_nFixStatus, c.second);
    }
}

TEST(ProcessINGGA, StatusMapIsConsultedFirst) {
    TestReceiver receiver;
    receiver.m_bHasStatusMap = true;
    receiver.m_StatusStrings.SetAt(1, UDF_SIGNAL_WAAS);
    receiver.m_StatusStrings.SetAt(0, UDF_SIGNAL_MANUAL);
    const struct {
        int quality;
        int status;
    } cases[] = {{1, UDF_SIGNAL_WAAS}, {0, UDF_SIGNAL_MANUAL}, {2, UDF_SIGNAL_CALCULATED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        ASSERT_TRUE(RunINGGA(receiver, "IN" + GGA("N", "E", c.quality).substr(2)));
        EXPECT_EQ(Epoch().m_nFixStatus, c.status);
    }
}

TEST(ProcessGGA, MinimumSatellites) {
    const struct {
        int minimum;
        const char* sats;
        int status;
    } cases[] = {
        {4, "03", UDF_SIGNAL_NONE}, {4, "04", UDF_SIGNAL_GPS}, {4, "12", UDF_SIGNAL_GPS},
        {3, "03", UDF_SIGNAL_GPS},  {0, "00", UDF_SIGNAL_GPS}, {0, "-1", UDF_SIGNAL_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.minimum) + " / " + c.sats);
        TestReceiver receiver;
        receiver.m_nMinSatellites = c.minimum;
        ASSERT_TRUE(RunGGA(receiver, GGA("N", "E", 1, c.sats)));
        EXPECT_EQ(Epoch().m_nFixStatus, c.status);
        // Too few satellites only downgrades the status: the position is kept.
        EXPECT_TRUE(Epoch().m_bPositionValid);
        EXPECT_NEAR(Epoch().m_dLatitude, Radians(48, 7.038), kEps);
        EXPECT_DOUBLE_EQ(Epoch().m_dAltitude, 545.4);
    }
}

TEST(ProcessINGGA, HasNoMinimumSatelliteCount) {
    TestReceiver receiver;
    receiver.m_nMinSatellites = 4;
    ASSERT_TRUE(
        RunINGGA(receiver, "INGGA,123519,4807.038,N,01131.000,E,1,00,0.9,545.4,M,46.9,M,,"));
    EXPECT_EQ(Epoch().m_nFixStatus, UDF_SIGNAL_CALCULATED);
    EXPECT_EQ(Epoch().m_nSatellitesUsed, 0);
}

TEST(ProcessGGA, AltitudeUnit) {
    const struct {
        const char* unit;
        bool ok;
    } cases[] = {{"M", true}, {"m", true}, {"F", false}, {"", false}, {"MM", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        TestReceiver receiver;
        CGPSReceiver::m_GPSData.m_dAltitude = -1.0;
        const std::string body =
            std::string("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,") + c.unit +
            ",46.9,M,,";
        EXPECT_EQ(RunGGA(receiver, body), c.ok);
        // The position is stored before the unit is looked at.
        EXPECT_TRUE(Epoch().m_bPositionValid);
        EXPECT_NEAR(Epoch().m_dLatitude, Radians(48, 7.038), kEps);
        EXPECT_EQ(Epoch().m_nFixStatus, UDF_SIGNAL_GPS);
        // An altitude in another unit is never taken as metres.
        EXPECT_DOUBLE_EQ(Epoch().m_dAltitude, c.ok ? 545.4 : -1.0);
    }
}

TEST(ProcessINGGA, AltitudeUnitMustBeMetres) {
    TestReceiver receiver;
    EXPECT_FALSE(RunINGGA(receiver, "INGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,F,,,,"));
    EXPECT_TRUE(RunINGGA(receiver, "INGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,m,,,,"));
    EXPECT_FALSE(RunINGGA(receiver, "INGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4"));
}

TEST(ProcessGGA, AntennaHeightAndGeoidModes) {
    const struct {
        const char* legend;
        int mode;
        double antenna;
        std::string tail;  // fields 11 and after
        double altitude;
    } cases[] = {
        {"mode 1 adds", 1, 1.5, "46.9,M,,", 590.8},
        {"mode 2 subtracts", 2, 1.5, "46.9,M,,", 497.0},
        {"any other mode subtracts", -1, 1.5, "46.9,M,,", 497.0},
        {"mode 0 ignores", 0, 1.5, "46.9,M,,", 543.9},
        {"empty separation", 1, 1.5, ",M,,", 543.9},
        {"separation unit feet", 1, 1.5, "46.9,F,,", 543.9},
        {"separation unit lower-case", 1, 1.5, "46.9,m,,", 590.8},
        {"separation unit missing", 1, 1.5, "46.9,,,", 543.9},
        {"unreadable separation", 1, 1.5, "4x6,M,,", 543.9},
        {"negative separation added", 1, 0.0, "-13.9,M,,", 531.5},
        {"negative separation subtracted", 2, 0.0, "-13.9,M,,", 559.3},
        {"negative antenna height", 0, -2.0, "46.9,M,,", 547.4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        TestReceiver receiver;
        receiver.m_nGeoidMode = c.mode;
        receiver.m_dAntennaHeight = c.antenna;
        ASSERT_TRUE(
            RunGGA(receiver, "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M," + c.tail));
        EXPECT_NEAR(Epoch().m_dAltitude, c.altitude, 1e-9);
    }
}

TEST(ProcessGGA, SentenceEndingAfterTheAltitudeUnit) {
    TestReceiver receiver;
    receiver.m_nGeoidMode = 1;
    receiver.m_dAntennaHeight = 1.5;
    ASSERT_TRUE(RunGGA(receiver, "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M"));
    EXPECT_NEAR(Epoch().m_dAltitude, 543.9, 1e-9);
}

TEST(ProcessINGGA, AppliesAntennaHeightAndGeoid) {
    TestReceiver receiver;
    receiver.m_nGeoidMode = 2;
    receiver.m_dAntennaHeight = 1.5;
    ASSERT_TRUE(
        RunINGGA(receiver, "INGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_NEAR(Epoch().m_dAltitude, 497.0, 1e-9);
}

TEST(ProcessGGA, FailureKeepsWhatWasStoredBefore) {
    const struct {
        const char* legend;
        std::string body;
        double latitude;  // radians, 1.0 = the value preset before the sentence
        int status;
        bool dop;
    } cases[] = {
        {"empty time", "GPGGA,,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,,,", 1.0, UDF_SIGNAL_NONE,
         false},
        {"empty latitude", "GPGGA,081420.000,,,,,0,0,,,M,,M,,", 1.0, UDF_SIGNAL_NONE, false},
        {"unreadable quality", "GPGGA,1,4807.038,N,01131.000,E,x,08,0.9,545.4,M,,,,",
         Radians(48, 7.038), UDF_SIGNAL_NONE, false},
        {"empty HDOP", "GPGGA,1,4807.038,N,01131.000,E,1,08,,545.4,M,,,,", Radians(48, 7.038),
         UDF_SIGNAL_GPS, false},
        {"empty altitude", "GPGGA,1,4807.038,N,01131.000,E,1,08,0.9,,M,,,,", Radians(48, 7.038),
         UDF_SIGNAL_GPS, true},
        {"cut after the longitude", "GPGGA,1,4807.038,N,01131.000", Radians(48, 7.038),
         UDF_SIGNAL_NONE, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        TestReceiver receiver;
        CGPSData& data = CGPSReceiver::m_GPSData;
        data.m_dLatitude = 1.0;
        data.m_dAltitude = 7.0;
        data.m_nFixStatus = UDF_SIGNAL_RTK_FIXED;
        data.m_bDOPValid = false;
        EXPECT_FALSE(RunGGA(receiver, c.body));
        EXPECT_TRUE(data.m_bPositionValid);  // set before anything is read
        EXPECT_NEAR(data.m_dLatitude, c.latitude, kEps);
        EXPECT_EQ(data.m_nFixStatus, c.status);
        EXPECT_EQ(data.m_bDOPValid, c.dop);
        EXPECT_DOUBLE_EQ(data.m_dAltitude, 7.0);
    }
}

TEST(ProcessINGGA, LenientFields) {
    TestReceiver receiver;
    CGPSData& data = CGPSReceiver::m_GPSData;
    data.m_dUTCTime = 100.0;
    data.m_nSatellitesUsed = 5;
    data.m_dHDOP = 2.5;
    data.m_dAltitude = 12.0;
    receiver.m_dAntennaHeight = 1.5;

    // Empty time, satellites, HDOP and altitude: the sentence still counts.
    ASSERT_TRUE(RunINGGA(receiver, "INGGA,,4426.1138,N,07140.5536,W,2,,,,M,,,,"));
    EXPECT_DOUBLE_EQ(data.m_dUTCTime, 100.0);
    EXPECT_EQ(data.m_nSatellitesUsed, 5);
    EXPECT_FALSE(data.m_bDOPValid);
    EXPECT_DOUBLE_EQ(data.m_dHDOP, 2.5);
    EXPECT_DOUBLE_EQ(data.m_dAltitude, 12.0);  // not lowered by the antenna height again
    EXPECT_NEAR(data.m_dLatitude, Radians(44, 26.1138), kEps);
    EXPECT_NEAR(data.m_dLongitude, -Radians(71, 40.5536), kEps);
    EXPECT_EQ(data.m_nFixStatus, UDF_SIGNAL_CALCULATED);

    ASSERT_TRUE(RunINGGA(receiver, "INGGA,194104,4426.1138,N,07140.5536,W,2,10,0.9,267.9,M,,,,"));
    EXPECT_DOUBLE_EQ(data.m_dUTCTime, 19 * 3600 + 41 * 60 + 4);
    EXPECT_EQ(data.m_nSatellitesUsed, 10);
    EXPECT_TRUE(data.m_bDOPValid);
    EXPECT_DOUBLE_EQ(data.m_dHDOP, 0.9);
    EXPECT_DOUBLE_EQ(data.m_dAltitude, 266.4);
}

TEST(ProcessINGGA, PositionAndQualityMustBeReadable) {
    const char* bodies[] = {
        "INGGA,194104,,N,07140.5536,W,2,10,0.9,267.9,M",
        "INGGA,194104,4426.1138,N,,W,2,10,0.9,267.9,M",
        "INGGA,194104,4426.1138,N,07140.5536,W,,10,0.9,267.9,M",
        "INGGA,194104,4426.1138,N,07140.5536",
    };
    for (const char* body : bodies) {
        SCOPED_TRACE(body);
        TestReceiver receiver;
        EXPECT_FALSE(RunINGGA(receiver, body));
        EXPECT_TRUE(Epoch().m_bPositionValid);
    }
}

}  // namespace
}  // namespace tolvik
