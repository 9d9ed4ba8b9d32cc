#include "tolvik/resources/Resources.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "support/TestSupport.h"

namespace tolvik {
namespace {

// The texts themselves are checked where the library shows them (engine, data log tests), the
// dialog template where the wait dialog is made from it.
TEST(Resources, StringsLoadWholeOrCutAndMissingOnesShowTheErrorBox) {
    test::RecordingHost host;
    wchar_t buffer[64];
    EXPECT_EQ(LoadString(IDS_DATALOG_STATUS, buffer, 64), 29);
    EXPECT_EQ(LoadResString(IDS_DATALOG_STATUS), buffer);
    EXPECT_TRUE(host.MessageBoxes().empty());
    std::wmemset(buffer, L'x', 8);
    EXPECT_EQ(LoadString(IDS_ENGINE_NO_ERROR, buffer, 5), 4);
    EXPECT_EQ(std::wstring(buffer, 6), std::wstring(L"No E\0x", 6));
    EXPECT_EQ(LoadString(IDS_GPS, nullptr, 8) + LoadString(IDS_GPS, buffer, 0), 0);
    for (const UINT id : {0u, 19u, 129u}) EXPECT_TRUE(LoadResString(id).IsEmpty()) << id;
    EXPECT_EQ(host.MessageBoxes(), std::vector<CString>(3, L"Error loading resource string."));
}

}  // namespace
}  // namespace tolvik
