#include "tolvik/platform/CString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

namespace tolvik {

// Readable failures: gtest prints a CString as its text.
static void PrintTo(const CString& s, std::ostream* os) { *os << '"' << s.ToBytes() << '"'; }

namespace {

TEST(CString, FormatFollowsPrintfWithWideStrings) {
    const CString port = L"COM3";
    // The formats the commands use ("%-f", "%0d", "%i", "%02X") are in their transcripts.
    const std::pair<CString, const wchar_t*> cases[] = {
        // actual, expected
        // clang-format off
        {CString::Formatted(L"%.0f|%.0f", 2.5, 3.7), L"2|4"},  // half to even
        {CString::Formatted(L"%s:[%s]", port, L"wide"), L"COM3:[wide]"},
        {CString::Formatted(L"%s%c%c", CString(L"\x00aa"), L'$', L'\x00ff'), L"\x00aa$\x00ff"},
        {CString::Formatted(L"%ls", L"x"), L"x"},
        {CString::Formatted(L"%d%% %5.1f|%-3s|", 5, 2.25, L"a"), L"5%   2.2|a  |"},
        {CString::Formatted(L"%u %ld", 4000000000u, -5L), L"4000000000 -5"},
        // clang-format on
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    // Longer than any first guess of the output size.
    EXPECT_EQ(CString::Formatted(L"%s", CString(L'x', 5000)).GetLength(), 5000);
}

// Texts are cut at positions read from the data: out-of-range positions and sizes clamp. (Every
// byte surviving as a character is the framing and text file tests' part.)
TEST(CString, PositionsOutOfRangeClamp) {
    const CString s = L"$PASHR,ACK";
    const std::pair<CString, const wchar_t*> cases[] = {
        // actual, expected
        // clang-format off
        {s.Mid(4, 99), L"HR,ACK"}, {s.Mid(-3, 2), L"$P"}, {s.Mid(10), L""}, {s.Mid(1, -1), L""},
        {s.Left(99), L"$PASHR,ACK"}, {s.Left(-1), L""}, {s.Right(99), L"$PASHR,ACK"},
        // clang-format on
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    EXPECT_EQ(s.Find(nullptr), -1);
    EXPECT_EQ(s.GetAt(99), L'\0');
    EXPECT_TRUE(CString::FromBytes(nullptr, 5).IsEmpty() && CString::FromBytes("abc", -1).IsEmpty());
}

}  // namespace
}  // namespace tolvik
