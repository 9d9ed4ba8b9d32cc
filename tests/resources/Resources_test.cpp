#include "tolvik/resources/Resources.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

TEST(Resources, StringTableHoldsTheExactTexts) {
    const struct {
        UINT id;
        const wchar_t* text;
    } table[] = {
        {1, L"No GPS signal!"},
        {2, L"GPS"},
        {3, L"DGPS"},
        {4, L"RTK-Code"},
        {5, L"RTK-Fixed"},
        {6, L"RTK-Float"},
        {7, L"Unknown"},
        {8, L"   PDOP: "},
        {9, L"   HDOP: "},
        {10, L"   %d of %d Satellites"},
        {11, L"Could not open file to log raw data!"},
        {12, L"Unable to open the emulation file: '%s'."},
        {13, L"Num Epochs: %d, Time: %d min."},
        {14, L"No Error."},
        {15, L"No GPS Receiver Is Assigned."},
        {16, L"Can't Initialize a Receiver."},
        {17, L"Can't Start GPS Thread."},
        {18, L"Unknown GPS Error Code."},
    };
    test::RecordingHost host;
    for (const auto& entry : table) {
        SCOPED_TRACE(entry.id);
        wchar_t buffer[128];
        EXPECT_EQ(LoadString(entry.id, buffer, 128), static_cast<int>(std::wcslen(entry.text)));
        EXPECT_STREQ(buffer, entry.text);
        EXPECT_EQ(LoadResString(entry.id), entry.text);
    }
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(CString::Formatted(LoadResString(IDS_DATALOG_STATUS).GetString(), 12, 3),
              L"Num Epochs: 12, Time: 3 min.");
}

TEST(Resources, LoadStringCutsToTheBuffer) {
    wchar_t buffer[8] = {L'x', L'x', L'x', L'x', L'x', L'x', L'x', L'x'};
    EXPECT_EQ(LoadString(IDS_ENGINE_NO_ERROR, buffer, 5), 4);
    EXPECT_STREQ(buffer, L"No E");
    EXPECT_EQ(buffer[5], L'x');
    EXPECT_EQ(LoadString(IDS_GPS, buffer, 1), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(LoadString(IDS_GPS, buffer, 0), 0);
    EXPECT_EQ(LoadString(IDS_GPS, nullptr, 8), 0);
    buffer[0] = L'x';
    EXPECT_EQ(LoadString(19, buffer, 8), 0);
    EXPECT_EQ(buffer[0], L'\0');
}

TEST(Resources, AMissingStringShowsTheErrorBoxAndGivesAnEmptyText) {
    test::RecordingHost host;
    for (const UINT id : {0u, 19u, 129u}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(LoadResString(id).IsEmpty());
    }
    EXPECT_EQ(host.MessageBoxes(), std::vector<CString>(3, L"Error loading resource string."));
}

TEST(Resources, AcknowledgementDialogTemplate) {
    const DialogTemplate* dialog = FindDialogTemplate(IDD_ACK);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->id, 129u);
    EXPECT_STREQ(dialog->staticText, L"Please wait while resetting receiver");
    EXPECT_FALSE(dialog->visible);
    EXPECT_EQ(FindDialogTemplate(128), nullptr);
}

}  // namespace
}  // namespace tolvik
