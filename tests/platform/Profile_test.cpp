#include "tolvik/platform/Profile.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

TEST(CProfile, ReadsIniTextWithoutRegardToCase) {
    CProfile profile;
    profile.FromText(
        "; settings of the receivers\r\n"
        "[Garmin 17N]\r\n"
        "Baud = 4800\r\n"
        "  [ Ashtech G12 ]  \n"
        "baud=19200\n"
        "# a comment line\n"
        "Mode=auto=yes\n"
        "Text=  spaced value  \n"
        "stray line without equals\n"
        "Overflow=99999999999\n"
        "Junk=abc\n"
        "Lead=12abc\n");
    struct {
        const wchar_t* section;
        const wchar_t* entry;
        int expected;
    } ints[] = {
        {L"Garmin 17N", L"Baud", 4800},   {L"GARMIN 17n", L"BAUD", 4800},
        {L"ashtech g12", L"Baud", 19200}, {L"Ashtech G12", L"Missing", -1},
        {L"Missing", L"Baud", -1},        {L"Ashtech G12", L"Overflow", -1},
        {L"Ashtech G12", L"Junk", -1},    {L"Ashtech G12", L"Lead", 12},
    };
    for (const auto& c : ints) {
        SCOPED_TRACE(CString(c.section).ToBytes() + "/" + CString(c.entry).ToBytes());
        EXPECT_EQ(profile.GetInt(c.section, c.entry, -1), c.expected);
    }
    EXPECT_EQ(profile.GetString(L"Ashtech G12", L"mode", L""), L"auto=yes");
    EXPECT_EQ(profile.GetString(L"Ashtech G12", L"Text", L""), L"spaced value");
    EXPECT_EQ(profile.GetString(L"Ashtech G12", L"None", L"dflt"), L"dflt");
}

TEST(CProfile, ASectionRepeatedInTheFileIsOneSection) {
    CProfile profile;
    profile.FromText("[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n");
    EXPECT_EQ(profile.GetInt(L"A", L"z", 0), 3);
    EXPECT_TRUE(profile.SetInt(L"a", L"x", 5));  // in memory only: no file bound
    EXPECT_EQ(profile.GetInt(L"A", L"x", 0), 5);
    CProfile reread;
    reread.FromText(profile.ToText());
    EXPECT_EQ(reread.GetInt(L"A", L"x", 0), 5);
    EXPECT_EQ(reread.GetInt(L"A", L"z", 0), 3);
    EXPECT_EQ(reread.GetInt(L"B", L"y", 0), 2);
}

TEST(CProfile, EverySetWritesTheWholeFileAtomically) {
    test::TempDir dir;
    const std::string path =
        dir.File("settings/tolvik.ini");  // the folder is made on the first write
    CProfile profile;
    ASSERT_TRUE(profile.Open(path));  // missing: an empty store
    EXPECT_EQ(profile.GetInt(L"Garmin 17N", L"Baud", 9600), 9600);

    EXPECT_TRUE(profile.SetInt(L"Garmin 17N", L"Baud", 4800));
    EXPECT_TRUE(profile.SetInt(L"Holux GM-210", L"Baud", 38400));
    EXPECT_TRUE(profile.SetInt(L"garmin 17n", L"baud", -1));
    EXPECT_EQ(DirectoryEntries(dir.File("settings")),
              std::vector<std::string>{"tolvik.ini"});  // no temp file left

    CProfile other;
    ASSERT_TRUE(other.Open(path));
    EXPECT_EQ(other.GetInt(L"Garmin 17N", L"Baud", 0), -1);
    EXPECT_EQ(other.GetInt(L"Holux GM-210", L"Baud", 0), 38400);
    EXPECT_EQ(test::ReadFile(path), profile.ToText());
}

TEST(CProfile, AFileThatCannotBeReadIsReported) {
    test::TempDir dir;
    CProfile profile;
    profile.FromText("[A]\nx=1\n");
    EXPECT_FALSE(profile.Open(dir.Path()));  // a directory is no settings file
    EXPECT_EQ(profile.GetInt(L"A", L"x", 0), 0);
    EXPECT_FALSE(profile.SetInt(L"A", L"x", 2));  // cannot be written either; kept in memory
    EXPECT_EQ(profile.GetInt(L"A", L"x", 0), 2);
}

}  // namespace
}  // namespace tolvik
