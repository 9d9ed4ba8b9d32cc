// The RINEX writer field by field: number fields, calendar times, the header, observation and
// navigation records as exact lines, and the logger's files (interval, repeated issues, errors).
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "tolvik/datalog/CRinexLog.h"
#include "tolvik/platform/Clock.h"

namespace tolvik {
namespace {

using Lines = std::vector<std::string>;

TEST(RinexFieldTest, FixedIntegerAndExponentFields) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::tuple<double, int, int, const char*> fixed[] = {
        // value, width, decimals
        {20550669.482, 14, 3, "  20550669.482"},
        {-1039590.9514, 14, 3, "  -1039590.951"},
        {18.0, 11, 7, " 18.0000000"},
        {-0.0004, 8, 3, "   0.000"},               // no negative zero
        {20000000000.0, 14, 3, "              "},  // 15 characters: blank, columns kept
        {nan, 10, 3, "          "},
        {0.0, 8, 5, " 0.00000"},
    };
    for (const auto& [value, width, decimals, expected] : fixed)
        EXPECT_EQ(rinex::Fixed(value, width, decimals), expected) << value;
    EXPECT_EQ(rinex::Integer(2025, 6), "  2025");
    EXPECT_EQ(rinex::Integer(-7, 3), " -7");
    EXPECT_EQ(rinex::Integer(12345, 4), "    ");

    const std::pair<double, const char*> exponents[] = {
        {0.0, " 0.000000000000D+00"},
        {-1.778626756277e-4, "-1.778626756277D-04"},
        {5153.610384963, " 5.153610384963D+03"},
        {9.99999999999999e-6, " 1.000000000000D-05"},  // rounding carries into the exponent
        {1e-120, " 0.000000000000D+00"},               // no three-digit exponents
        {-2.5e-12, "-2.500000000000D-12"},
        {nan, "                   "},
    };
    for (const auto& [value, expected] : exponents) EXPECT_EQ(rinex::Exponent(value), expected) << value;
}

TEST(RinexFieldTest, GpsWeekAndSecondsToCalendar) {
    const struct {
        int week;
        double seconds;
        int year, month, day, hour, minute;
        double second;
    } cases[] = {
        {0, 0.0, 1980, 1, 6, 0, 0, 0.0},
        {2357, 468318.0, 2025, 3, 14, 10, 5, 18.0},  // a Friday
        {2357, 468318.25, 2025, 3, 14, 10, 5, 18.25},
        {2357, 604799.99999999, 2025, 3, 16, 0, 0, 0.0},  // rounds up into the next week, not to 60 s
        {2357, -1.0, 2025, 3, 8, 23, 59, 59.0},
        {2086, 0.0, 2019, 12, 29, 0, 0, 0.0},  // past the 1024-week rollover of April 2019
    };
    for (const auto& c : cases) {
        const rinex::Calendar t = rinex::CalendarOf(c.week, c.seconds);
        EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute}),
                  std::vector<int>({c.year, c.month, c.day, c.hour, c.minute}))
            << c.week << " " << c.seconds;
        EXPECT_DOUBLE_EQ(t.second, c.second);
    }
}

// The header's full layout is in the logger's file below.
TEST(RinexFieldTest, ObservationHeaderOptionalLineAndLongNames) {
    rinex::ObservationHeader h;
    h.interval = 1.0;
    const std::size_t withInterval = rinex::ObservationHeaderLines(h).size();
    h.interval = 0.0;  // unknown: the optional line goes
    EXPECT_EQ(rinex::ObservationHeaderLines(h).size(), withInterval - 1);
    h.markerName = std::string(70, 'm');  // cut at column 60, the label stays in place
    EXPECT_EQ(rinex::ObservationHeaderLines(h)[2], std::string(60, 'm') + "MARKER NAME         ");
}

CGPSDataRaw EpochWith(double receiverTime, std::initializer_list<CGPSSatelliteDataRaw> satellites) {
    CGPSDataRaw epoch;
    epoch.m_bPositionValid = true;
    epoch.m_nGPSWeek = 2357;
    epoch.m_dReceiverTime = receiverTime;
    epoch.m_dLatitude = 64.131;
    epoch.m_dLongitude = -21.849;
    epoch.m_dHeight = 85.0;
    for (const CGPSSatelliteDataRaw& s : satellites) epoch.m_Satellites[epoch.m_nNumSV++] = s;
    return epoch;
}

CGPSSatelliteDataRaw Satellite(int prn, double range, double phase, double doppler, bool valid = true) {
    CGPSSatelliteDataRaw s;
    s.m_nPRN = prn;
    s.m_dRange = range;
    s.m_dPhase = phase;
    s.m_dDoppler = doppler;
    s.m_bValid = valid;
    return s;
}

// An ephemeris in the receiver's units (semicircles, semicircles per millisecond), sent at the
// end of week 2356 with reference times (toc, toe 0) at the start of week 2357; af2, Cic, Cis 0.
CGPSDataEphemeris WeekEndEphemeris() {
    using E = CGPSDataEphemeris;
    E e;
    e.m_nPRN = 7;
    e.m_nWeek = 2356;
    e.m_nTOW = 604794;
    e.m_nAODC = 301;
    e.m_nAODE = 45;
    const std::pair<double E::*, double> reals[] = {
        {&E::m_dTgd, -5e-9}, {&E::m_dAf1, 2.5e-12}, {&E::m_dAf0, -1.25e-4},      {&E::m_dDeltaN, 1e-12},
        {&E::m_dM0, 0.5},    {&E::m_dE, 0.01},      {&E::m_dRootA, 5153.5},      {&E::m_dCrc, 250.0},
        {&E::m_dCrs, -12.5}, {&E::m_dCuc, 1e-6},    {&E::m_dCus, -2e-6},         {&E::m_dOmega0, -0.25},
        {&E::m_dOmega, 1.0}, {&E::m_dI0, 0.3},      {&E::m_dOmegaDot, -2.5e-12}, {&E::m_dIDot, 1e-13}};
    for (const auto& [field, value] : reals) e.*field = value;
    return e;
}

// The navigation record of WeekEndEphemeris, in RINEX units and weeks.
const Lines kWeekEndNavigation = {
    // toc in the next week: Sunday 2025-03-09 00:00:00
    "G07 2025 03 09 00 00 00-1.250000000000D-04 2.500000000000D-12 0.000000000000D+00",
    // IODE, Crs, delta n (1e-12 semicircle/ms = pi * 1e-9 rad/s), M0 (0.5 semicircle)
    "     4.500000000000D+01-1.250000000000D+01 3.141592653590D-09 1.570796326795D+00",
    "     1.000000000000D-06 1.000000000000D-02-2.000000000000D-06 5.153500000000D+03",
    // toe, Cic, Omega0 (-pi/4), Cis
    "     0.000000000000D+00 0.000000000000D+00-7.853981633974D-01 0.000000000000D+00",
    // i0 (0.3 pi), Crc, omega (pi), Omega dot
    "     9.424777960769D-01 2.500000000000D+02 3.141592653590D+00-7.853981633974D-09",
    // IDOT, L2 codes, the week of toe, L2 P flag
    "     3.141592653590D-10 0.000000000000D+00 2.357000000000D+03 0.000000000000D+00",
    "     0.000000000000D+00 0.000000000000D+00-5.000000000000D-09 3.010000000000D+02",
    // transmission time against the week of toe: 6 s before it
    "    -6.000000000000D+00 0.000000000000D+00",
};

struct RinexLogTest : ::testing::Test {
    RinexLogTest() {
        setenv("TZ", "UTC", 1);
        tzset();
        // A decimal comma must not reach the files.
        m_bCommaLocale = std::setlocale(LC_ALL, "de_DE.utf8") != nullptr;
    }
    ~RinexLogTest() override { std::setlocale(LC_ALL, "C"); }
    platform::VirtualClock clock{1741946760};  // 2025-03-14 10:06:00 UTC
    platform::ScopedClock guard{clock};
    test::RecordingHost host;
    test::TempDir dir;
    bool m_bCommaLocale = false;
};

TEST_F(RinexLogTest, WritesBothFilesAtTheIntervalAndEachIssueOnce) {
    CRinexLog log;
    log.SetFileBase(CString::FromBytes(dir.File("site.2025")));  // the dot stays
    log.SetLogInterval(2.0);
    log.SetAntennaHeight(1.5);
    log.SetReceiverType("Ashtech");
    ASSERT_TRUE(log.Open()) << log.GetLastErrorText();

    const CGPSSatelliteDataRaw sv = Satellite(5, 22635795.732, 1.5, -2.25);
    EXPECT_TRUE(log.LogEpoch(EpochWith(468318.5, {
                                                     Satellite(5, 22635795.732, -1039590.951, -2584.79),
                                                     Satellite(12, 23439964.385, 0.0, 3040.1),  // no phase
                                                     Satellite(33, 2e7, 1.0, 1.0),              // not GPS: left out
                                                     Satellite(9, 2e7, 1.0, 1.0, false),        // unused slot
                                                     Satellite(7, 2e10, 5.5, 0.0),              // range too wide: blank
                                                 })));
    EXPECT_FALSE(log.LogEpoch(EpochWith(468319.0, {sv}))) << "within the interval";
    CGPSDataRaw noPosition = EpochWith(468320.5, {sv});
    noPosition.m_bPositionValid = false;
    EXPECT_FALSE(log.LogEpoch(noPosition));
    EXPECT_TRUE(log.LogEpoch(EpochWith(468320.5, {sv})));
    EXPECT_FALSE(log.LogEpoch(EpochWith(468318.0, {sv}))) << "back in time";
    EXPECT_TRUE(rinex::ObservationRecord(EpochWith(0.0, {Satellite(40, 1.0, 1.0, 1.0)})).empty());

    CGPSDataEphemeris e = WeekEndEphemeris();
    EXPECT_TRUE(log.LogEphemeris(e));
    EXPECT_FALSE(log.LogEphemeris(e)) << "the same issue again";
    CGPSDataEphemeris next = e;
    next.m_nAODE = 46;
    next.m_nToe = next.m_nToc = 7200;
    EXPECT_TRUE(log.LogEphemeris(next)) << "a new issue";
    CGPSDataEphemeris noWeek = next;
    noWeek.m_nWeek = 0;
    EXPECT_FALSE(log.LogEphemeris(noWeek)) << "no week";
    log.Close();
    EXPECT_EQ(std::tuple(log.GetNumEpochs(), log.GetNumEphemerides(), log.GetLastErrorText()), std::tuple(2, 2, ""));

    // The marker is named after the file; the position is 64.131 N 21.849 W 85 m.
    EXPECT_EQ(test::ReadLines(dir.File("site.2025.obs")),
              (Lines{
                  "     3.04           OBSERVATION DATA    G: GPS              RINEX VERSION / TYPE",
                  "tolvik                                  20250314 100600 UTC PGM / RUN BY / DATE ",
                  "site.2025                                                   MARKER NAME         ",
                  "NON_GEODETIC                                                MARKER TYPE         ",
                  "                                                            OBSERVER / AGENCY   ",
                  "                    Ashtech                                 REC # / TYPE / VERS ",
                  "                                                            ANT # / TYPE        ",
                  "  2590039.8569 -1038512.2993  5716178.2324                  APPROX POSITION XYZ ",
                  "        1.5000        0.0000        0.0000                  ANTENNA: DELTA H/E/N",
                  "G    3 C1C L1C D1C                                          SYS / # / OBS TYPES ",
                  "     2.000                                                  INTERVAL            ",
                  "  2025     3    14    10     5   18.5000000     GPS         TIME OF FIRST OBS   ",
                  "G L1C  0.00000                                              SYS / PHASE SHIFT   ",
                  "                                                            END OF HEADER       ",
                  "> 2025 03 14 10 05 18.5000000  0  3",
                  "G05  22635795.732    -1039590.951       -2584.790",
                  "G12  23439964.385                        3040.100",
                  "G07" + std::string(14 + 2 + 9, ' ') + "5.500",
                  "> 2025 03 14 10 05 20.5000000  0  1",
                  "G05  22635795.732           1.500          -2.250",
              }));
    Lines nav = {"     3.04           N: GNSS NAV DATA    G: GPS              RINEX VERSION / TYPE",
                 "tolvik                                  20250314 100600 UTC PGM / RUN BY / DATE ",
                 "                                                            END OF HEADER       "};
    const Lines second = rinex::NavigationRecord(next);  // differs from the first in its IODE and times
    nav.insert(nav.end(), kWeekEndNavigation.begin(), kWeekEndNavigation.end());
    nav.insert(nav.end(), second.begin(), second.end());
    EXPECT_EQ(test::ReadLines(dir.File("site.2025.nav")), nav);
    if (!m_bCommaLocale) std::printf("note: no de_DE locale here; the files were written under \"C\"\n");
}

TEST_F(RinexLogTest, FilesThatCannotBeCreatedAreNamedWithTheReason) {
    CRinexLog missingFolder;
    missingFolder.SetFileBase(CString::FromBytes(dir.File("no/such/site")));
    EXPECT_EQ((std::tuple{missingFolder.Open(), missingFolder.IsOpen(), missingFolder.GetLastErrorText()}),
              std::tuple(false, false, dir.File("no/such/site.obs") + ": " + std::strerror(ENOENT)));

    // The navigation file's name is taken by a folder: nothing stays open or behind.
    std::filesystem::create_directory(dir.File("site.nav"));
    CRinexLog navTaken;
    navTaken.SetFileBase(CString::FromBytes(dir.File("site")));
    EXPECT_EQ((std::tuple{navTaken.Open(), navTaken.IsOpen(), navTaken.GetLastErrorText()}),
              std::tuple(false, false, dir.File("site.nav") + ": " + std::strerror(EISDIR)));
    EXPECT_FALSE(std::filesystem::exists(dir.File("site.obs")));
    EXPECT_FALSE(navTaken.LogEpoch(EpochWith(468318.0, {Satellite(5, 2e7, 1.0, 1.0)})));

    // A full disk: writes fail and the error names the file.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    CRinexLog full;
    std::filesystem::create_symlink("/dev/full", dir.File("disk.obs"));
    full.SetFileBase(CString::FromBytes(dir.File("disk")));
    ASSERT_TRUE(full.Open()) << full.GetLastErrorText();
    EXPECT_FALSE(full.LogEpoch(EpochWith(468318.0, {Satellite(5, 2e7, 1.0, 1.0)})));
    EXPECT_EQ(full.GetLastErrorText(), dir.File("disk.obs") + ": " + std::strerror(ENOSPC));
}

}  // namespace
}  // namespace tolvik
