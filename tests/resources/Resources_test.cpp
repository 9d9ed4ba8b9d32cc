#include "tolvik/resources/Resources.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

TEST(Resources, StringTableHoldsTheExactTexts) {
    // clang-format off
    const wchar_t* const texts[] = {
        L"No GPS signal!", L"GPS", L"DGPS", L"RTK-Code", L"RTK-Fixed", L"RTK-Float", L"Unknown",
        L"   PDOP: ", L"   HDOP: ", L"   %d of %d Satellites",
        L"Could not open file to log raw data!", L"Unable to open the emulation file: '%s'.",
        L"Num Epochs: %d, Time: %d min.", L"No Error.", L"No GPS Receiver Is Assigned.",
        L"Can't Initialize a Receiver.", L"Can't Start GPS Thread.", L"Unknown GPS Error Code."};
    // clang-format on
    test::RecordingHost host;
    for (UINT id = 1; id <= 18; ++id) {
        SCOPED_TRACE(id);
        wchar_t buffer[64];
        EXPECT_EQ(LoadString(id, buffer, 64), static_cast<int>(std::wcslen(texts[id - 1])));
        EXPECT_STREQ(buffer, texts[id - 1]);
        EXPECT_EQ(LoadResString(id), texts[id - 1]);
    }
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(LoadResString(IDS_DATALOG_STATUS), texts[12]);  // the names match the numbers
    const DialogTemplate* dialog = FindDialogTemplate(IDD_ACK);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->id, 129u);
    EXPECT_STREQ(dialog->staticText, L"Please wait while resetting receiver");
    EXPECT_FALSE(dialog->visible);
}

TEST(Resources, MissingStringsShowTheErrorBoxAndShortBuffersCut) {
    test::RecordingHost host;
    for (const UINT id : {0u, 19u, 129u}) EXPECT_TRUE(LoadResString(id).IsEmpty()) << id;
    EXPECT_EQ(host.MessageBoxes(), std::vector<CString>(3, L"Error loading resource string."));
    wchar_t buffer[8] = {L'x', L'x', L'x', L'x', L'x', L'x', L'x', L'x'};
    EXPECT_EQ(LoadString(IDS_ENGINE_NO_ERROR, buffer, 5), 4);
    EXPECT_STREQ(buffer, L"No E");
    EXPECT_EQ(buffer[5], L'x');
    EXPECT_EQ(LoadString(IDS_GPS, nullptr, 8) + LoadString(IDS_GPS, buffer, 0), 0);
}

}  // namespace
}  // namespace tolvik
