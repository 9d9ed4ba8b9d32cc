#include "tolvik/resources/Resources.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

// The texts themselves are checked where the library shows them (engine, data log tests).
TEST(Resources, StringsLoadWholeAndTheAckDialogIsFound) {
    test::RecordingHost host;
    wchar_t buffer[64];
    EXPECT_EQ(LoadString(IDS_DATALOG_STATUS, buffer, 64), 29);
    EXPECT_STREQ(buffer, L"Num Epochs: %d, Time: %d min.");
    EXPECT_EQ(LoadResString(IDS_DATALOG_STATUS), buffer);
    EXPECT_TRUE(host.MessageBoxes().empty());
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
