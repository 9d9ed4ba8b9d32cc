// The "GPSStatus" map beside the host program: file format, reloads, and its effect on GGA.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

using test::NmeaText;
using test::RecordingHost;
using test::TempDir;
using test::TestReceiver;
using test::WriteFile;

std::map<int, int> MapOf(const TestReceiver& receiver) {
    return {receiver.m_StatusStrings.begin(), receiver.m_StatusStrings.end()};
}

// A host whose program lives in a fresh folder, where the test puts the map file.
struct StatusFileFixture {
    RecordingHost host;
    TempDir dir;
    StatusFileFixture() { host.SetModuleFileName(CString::FromBytes(dir.Path() + "/prog")); }
    void Write(const std::string& text) const { WriteFile(dir.File("GPSStatus"), text); }
};

TEST(StatusMap, FileFormat) {
    const struct {
        const char* legend;
        std::string file;
        bool loaded;
        std::map<int, int> entries;
    } cases[] = {
        {"two lines swap RTK fixed and float",
         "4,UDF_SIGNAL_RTK_FLOAT\n5,UDF_SIGNAL_RTK_FIXED\n",
         true,
         {{4, 7}, {5, 6}}},
        {"name in lower case, quoted, with blanks",
         "2,  \" udf_signal_waas\"\t \n",
         true,
         {{2, 9}}},
        {"blanks around the comma", "7 , UDF_SIGNAL_MANUAL\n", true, {{7, 4}}},
        {"Windows line ends",
         "1,UDF_SIGNAL_GPS\r\n3,UDF_SIGNAL_CALCULATED\r\n",
         true,
         {{1, 1}, {3, 3}}},
        {"no comma", "4 UDF_SIGNAL_RTK_FLOAT\n", false, {}},
        {"unknown name", "3,UDF_SIGNAL_DIFFERENTIAL\n", true, {}},
        {"later line wins", "4,UDF_SIGNAL_RTK_FLOAT\n4,UDF_SIGNAL_MANUAL\n", true, {{4, 4}}},
        {"number followed by text", "  12abc,UDF_SIGNAL_NONE\n", true, {{12, 0}}},
        {"signed numbers",
         "-3,UDF_SIGNAL_GPS\n+6,UDF_SIGNAL_POSTPROCESSED\n",
         true,
         {{-3, 1}, {6, 8}}},
        {"no number", "abc,UDF_SIGNAL_GPS\n,UDF_SIGNAL_GPS\n-,UDF_SIGNAL_GPS\n", false, {}},
        {"32-bit limits are unreadable",
         "2147483647,UDF_SIGNAL_GPS\n-2147483648,UDF_SIGNAL_GPS\n",
         false,
         {}},
        {"out of range is unreadable", "99999999999999999999,UDF_SIGNAL_GPS\n", false, {}},
        {"just inside the limits",
         "2147483646,UDF_SIGNAL_GPS\n-2147483647,UDF_SIGNAL_WAAS\n",
         true,
         {{2147483646, 1}, {-2147483647, 9}}},
        {"only the first comma splits", "4,UDF_SIGNAL_GPS,extra\n", true, {}},
        {"empty name", "4,\n", true, {}},
        {"default line under its own key", "default,UDF_SIGNAL_GPS\n", true, {{CGPSReceiver::kStatusMapDefault, 1}}},
        {"default line does not touch the line before",
         "4,UDF_SIGNAL_RTK_FLOAT\nDEFAULT,UDF_SIGNAL_GPS\n5,UDF_SIGNAL_RTK_FIXED\n",
         true,
         {{4, 7}, {5, 6}, {CGPSReceiver::kStatusMapDefault, 1}}},
        {"blank before default", " default,UDF_SIGNAL_GPS\n", false, {}},
        {"empty file", "", false, {}},
        {"blank lines", "\n\n  \n", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        StatusFileFixture fixture;
        fixture.Write(c.file);
        TestReceiver receiver;
        receiver.LoadAlternatGPSStatusStrings();
        EXPECT_EQ(receiver.m_bHasStatusMap, c.loaded);
        EXPECT_EQ(MapOf(receiver), c.entries);
    }
}

TEST(StatusMap, EveryNameHasItsCode) {
    StatusFileFixture fixture;
    std::string file;
    std::map<int, int> expected;
    for (int code = 0; code < kFixStatusCount; ++code) {
        const int quality = 20 + code;
        file += std::to_string(quality) + "," + CString(FixStatusName(code)).ToBytes() + "\n";
        expected[quality] = code;
    }
    fixture.Write(file);
    TestReceiver receiver;
    receiver.LoadAlternatGPSStatusStrings();
    EXPECT_EQ(MapOf(receiver), expected);
}

TEST(StatusMap, MissingFileChangesNothing) {
    StatusFileFixture fixture;
    TestReceiver receiver;
    receiver.LoadAlternatGPSStatusStrings();
    EXPECT_FALSE(receiver.m_bHasStatusMap);
    EXPECT_TRUE(receiver.m_StatusStrings.IsEmpty());
}

TEST(StatusMap, ReloadingAddsAndOverridesAndNeverForgets) {
    StatusFileFixture fixture;
    TestReceiver receiver;
    fixture.Write("4,UDF_SIGNAL_RTK_FLOAT\n5,UDF_SIGNAL_RTK_FIXED\n");
    receiver.LoadAlternatGPSStatusStrings();
    fixture.Write("5,UDF_SIGNAL_WAAS\n6,UDF_SIGNAL_GPS\n");
    receiver.LoadAlternatGPSStatusStrings();
    EXPECT_EQ(MapOf(receiver), (std::map<int, int>{{4, 7}, {5, 9}, {6, 1}}));

    std::remove(fixture.dir.File("GPSStatus").c_str());
    receiver.LoadAlternatGPSStatusStrings();
    EXPECT_TRUE(receiver.m_bHasStatusMap);
    EXPECT_EQ(MapOf(receiver), (std::map<int, int>{{4, 7}, {5, 9}, {6, 1}}));
}

TEST(StatusMap, EachReceiverHasItsOwnMap) {
    StatusFileFixture fixture;
    fixture.Write("4,UDF_SIGNAL_RTK_FLOAT\n");
    TestReceiver loaded;
    TestReceiver other;
    loaded.LoadAlternatGPSStatusStrings();
    EXPECT_TRUE(loaded.m_bHasStatusMap);
    EXPECT_FALSE(other.m_bHasStatusMap);
    EXPECT_TRUE(other.m_StatusStrings.IsEmpty());
}

TEST(StatusMap, FileBesideAProgramPathWithBackslashes) {
    RecordingHost host;
    TempDir dir;
    // "...\bin\prog": the file is looked for as "...\bin\GPSStatus".
    host.SetModuleFileName(CString::FromBytes(dir.Path() + "/x\\bin\\prog"));
    WriteFile(dir.File("x\\bin\\GPSStatus"), "4,UDF_SIGNAL_MANUAL\n");
    TestReceiver receiver;
    receiver.LoadAlternatGPSStatusStrings();
    EXPECT_EQ(MapOf(receiver), (std::map<int, int>{{4, 4}}));
}

TEST(StatusMap, InitializeLoadsTheMapForGGA) {
    StatusFileFixture fixture;
    fixture.Write("4,UDF_SIGNAL_RTK_FLOAT\n5,UDF_SIGNAL_RTK_FIXED\n");
    TestReceiver receiver;
    receiver.SetupReceiver(0, 0, 0.0, CString(), true);
    ASSERT_TRUE(receiver.Initialize());

    const struct {
        int quality;
        int status;
    } cases[] = {
        {4, UDF_SIGNAL_RTK_FLOAT}, {5, UDF_SIGNAL_RTK_FIXED}, {2, UDF_SIGNAL_CORRECTED_GPS}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        CString message = NmeaText("GPGGA,123519,4807.038,N,01131.000,E," +
                                   std::to_string(c.quality) + ",08,0.9,545.4,M,46.9,M,,");
        ASSERT_TRUE(receiver.Parse(message));
        fixture.host.Pump();
        ASSERT_FALSE(fixture.host.epochs.empty());
        EXPECT_EQ(fixture.host.epochs.back()->m_nFixStatus, c.status);
    }
}

}  // namespace
}  // namespace tolvik
