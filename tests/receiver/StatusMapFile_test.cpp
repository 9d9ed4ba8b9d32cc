// What kind of file "GPSStatus" is: only a regular file is read (a FIFO or a device beside the
// program must not hold up start-up), and a UTF-8 byte-order mark from an editor is no part of
// the first line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

class StatusMapFileTest : public ::testing::Test {
protected:
    StatusMapFileTest() { host.SetModuleFileName(CString::FromBytes(dir.Path() + "/prog")); }
    std::map<int, int> Load() {
        rx.LoadAlternatGPSStatusStrings();
        return {rx.m_StatusStrings.begin(), rx.m_StatusStrings.end()};
    }
    std::string MapPath() const { return dir.File("GPSStatus"); }

    test::RecordingHost host;
    test::TempDir dir;
    test::TestReceiver rx;
};

TEST_F(StatusMapFileTest, AByteOrderMarkIsNoPartOfTheFirstLine) {
    test::WriteFile(MapPath(),
                    "\xEF\xBB\xBF"
                    "4,UDF_SIGNAL_RTK_FLOAT\r\n5,UDF_SIGNAL_RTK_FIXED\r\n");
    const std::map<int, int> expected = {{4, UDF_SIGNAL_RTK_FLOAT}, {5, UDF_SIGNAL_RTK_FIXED}};
    EXPECT_EQ(Load(), expected);
    EXPECT_TRUE(rx.m_bHasStatusMap);
}

TEST_F(StatusMapFileTest, AMarkOnlyCountsAtTheStartOfTheFile) {
    test::WriteFile(MapPath(),
                    "4,UDF_SIGNAL_RTK_FLOAT\n\xEF\xBB\xBF"
                    "5,UDF_SIGNAL_RTK_FIXED\n");
    const std::map<int, int> expected = {{4, UDF_SIGNAL_RTK_FLOAT}};
    EXPECT_EQ(Load(), expected);
}

// Opening a FIFO for reading waits for a writer that never comes; a device may never end.
TEST_F(StatusMapFileTest, OnlyARegularFileIsRead) {
    ASSERT_EQ(mkfifo(MapPath().c_str(), 0600), 0);
    EXPECT_TRUE(Load().empty());
    EXPECT_FALSE(rx.m_bHasStatusMap);

    ASSERT_EQ(unlink(MapPath().c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", MapPath().c_str()), 0);
    EXPECT_TRUE(Load().empty());
    EXPECT_FALSE(rx.m_bHasStatusMap);

    // A link to a regular file is a regular file.
    ASSERT_EQ(unlink(MapPath().c_str()), 0);
    test::WriteFile(dir.File("real"), "2,UDF_SIGNAL_WAAS\n");
    ASSERT_EQ(symlink(dir.File("real").c_str(), MapPath().c_str()), 0);
    const std::map<int, int> expected = {{2, UDF_SIGNAL_WAAS}};
    EXPECT_EQ(Load(), expected);
}

}  // namespace
}  // namespace tolvik
