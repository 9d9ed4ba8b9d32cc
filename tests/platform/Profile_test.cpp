#include "tolvik/platform/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

TEST(CProfile, ReadsIniTextWithoutRegardToCase) {
    CProfile profile;
    profile.FromText(
        "; settings of the receivers\r\n[Garmin 17N]\r\nBaud = 4800\r\n  [ Ashtech G12 ]  \n"
        "baud=19200\n# a comment line\nMode=auto=yes\nText=  spaced value  \nno equals sign\n"
        "Overflow=99999999999\nJunk=abc\nLead=12abc\n[B]\ny=2\n[garmin 17n]\nz=3\n");
    const struct {
        const wchar_t *section, *entry;
        int expected;
    } ints[] = {
        {L"GARMIN 17n", L"BAUD", 4800}, {L"ashtech g12", L"Baud", 19200},  {L"Ashtech G12", L"Missing", -1},
        {L"Missing", L"Baud", -1},      {L"Ashtech G12", L"Overflow", -1}, {L"Ashtech G12", L"Junk", -1},
        {L"Ashtech G12", L"Lead", 12},  {L"Garmin 17N", L"z", 3},  // a section named twice
    };
    for (const auto& c : ints) {
        EXPECT_EQ(profile.GetInt(c.section, c.entry, -1), c.expected)
            << CString(c.section).ToBytes() << "/" << CString(c.entry).ToBytes();
    }
    EXPECT_EQ(profile.GetString(L"Ashtech G12", L"mode", L""), L"auto=yes");
    EXPECT_EQ(profile.GetString(L"Ashtech G12", L"Text", L""), L"spaced value");
    EXPECT_TRUE(profile.SetInt(L"GARMIN 17N", L"baud", 5));  // in memory only: no file bound
    EXPECT_EQ(profile.GetInt(L"Garmin 17N", L"Baud", 0), 5);
}

TEST(CProfile, EverySetWritesTheWholeFileAtomically) {
    test::TempDir dir;
    const std::string path = dir.File("settings/tolvik.ini");  // the folder is made on writing
    CProfile profile;
    ASSERT_TRUE(profile.Open(path));  // missing: an empty store
    EXPECT_TRUE(profile.SetInt(L"Garmin 17N", L"Baud", 4800));
    EXPECT_TRUE(profile.SetInt(L"Holux GM-210", L"Baud", 38400));
    EXPECT_TRUE(profile.SetInt(L"garmin 17n", L"baud", -1));
    const std::filesystem::directory_iterator folder(dir.File("settings"));
    EXPECT_EQ(std::distance(begin(folder), end(folder)), 1);  // no temporary file left beside it
    CProfile other;
    ASSERT_TRUE(other.Open(path));
    EXPECT_EQ(other.GetInt(L"Garmin 17N", L"Baud", 0), -1);
    EXPECT_EQ(other.GetInt(L"Holux GM-210", L"Baud", 0), 38400);

    CProfile unreadable;
    EXPECT_FALSE(unreadable.Open(dir.Path()));       // a directory is no settings file
    EXPECT_FALSE(unreadable.SetInt(L"A", L"x", 2));  // cannot be written; kept in memory
    EXPECT_EQ(unreadable.GetInt(L"A", L"x", 0), 2);
}

}  // namespace
}  // namespace tolvik
