#include "tolvik/platform/CString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tolvik {

// Readable failures: gtest prints a CString as its text.
static void PrintTo(const CString& s, std::ostream* os) {
    *os << '"' << s.ToBytes() << '"';
}

namespace {

TEST(CString, SubstringsClampInsteadOfFailing) {
    const CString s = L"$GPGGA";
    struct {
        const char* legend;
        CString actual;
        const wchar_t* expected;
    } cases[] = {
        {"Mid(2)", s.Mid(2), L"PGGA"},       {"Mid(1, 2)", s.Mid(1, 2), L"GP"},
        {"Mid(4, 99)", s.Mid(4, 99), L"GA"}, {"Mid(-3, 2)", s.Mid(-3, 2), L"$G"},
        {"Mid(6)", s.Mid(6), L""},           {"Mid(99, 1)", s.Mid(99, 1), L""},
        {"Mid(1, -1)", s.Mid(1, -1), L""},   {"Left(3)", s.Left(3), L"$GP"},
        {"Left(99)", s.Left(99), L"$GPGGA"}, {"Left(-1)", s.Left(-1), L""},
        {"Right(3)", s.Right(3), L"GGA"},    {"Right(99)", s.Right(99), L"$GPGGA"},
        {"Right(0)", s.Right(0), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_EQ(c.actual, c.expected);
    }
}

TEST(CString, FindReturnsTheFirstMatchAtOrAfterTheStart) {
    const CString s = L"$PASHR,ACK,A";
    EXPECT_EQ(s.Find(L','), 6);
    EXPECT_EQ(s.Find(L',', 7), 10);
    EXPECT_EQ(s.Find(L',', 11), -1);
    EXPECT_EQ(s.Find(L',', -5), 6);
    EXPECT_EQ(s.Find(L',', 99), -1);
    EXPECT_EQ(s.Find(L"ACK"), 7);
    EXPECT_EQ(s.Find(L"A", 8), 11);
    EXPECT_EQ(s.Find(L"XYZ"), -1);
    EXPECT_EQ(s.Find(L"", 12), 12);
    EXPECT_EQ(s.Find(L"", 13), -1);
    EXPECT_EQ(s.Find(nullptr), -1);
    EXPECT_EQ(s.ReverseFind(L','), 10);
    EXPECT_EQ(s.FindOneOf(L"*,"), 6);
    EXPECT_EQ(s.GetAt(99), L'\0');
}

TEST(CString, EditsInsertReplaceAndChangeCase) {
    CString s = L"aaa";
    EXPECT_EQ(s.Replace(L"a", L"aa"), 3);  // no rescan of the inserted text
    EXPECT_EQ(s, L"aaaaaa");
    s = L"$PASHS,NME,GGA,A,ON";
    EXPECT_EQ(s.Replace(L"ON", L"OFF"), 1);
    EXPECT_EQ(s, L"$PASHS,NME,GGA,A,OFF");
    EXPECT_EQ(s.Replace(L"", L"x"), 0);
    EXPECT_EQ(s.Replace(L',', L';'), 4);
    EXPECT_EQ(s, L"$PASHS;NME;GGA;A;OFF");

    s = L"ac";
    EXPECT_EQ(s.Insert(1, L"b"), 3);
    EXPECT_EQ(s.Insert(99, L"d"), 4);
    EXPECT_EQ(s.Insert(-2, L'_'), 5);
    EXPECT_EQ(s, L"_abcd");
    EXPECT_EQ(s.Delete(0, 99), 0);

    s = L"gpgga,\x00e9,z9";
    EXPECT_EQ(s.MakeUpper(), L"GPGGA,\x00e9,Z9");  // ASCII letters only
    EXPECT_EQ(s.MakeLower(), L"gpgga,\x00e9,z9");
    s = L" \t$GPZDA\r\n";
    EXPECT_EQ(s.Trim(), L"$GPZDA");
}

TEST(CString, CompareNoCaseFoldsAsciiLetters) {
    struct {
        const wchar_t* a;
        const wchar_t* b;
        int expected;
    } cases[] = {
        {L"$PASHR", L"$pashr", 0}, {L"abc", L"ABD", -1}, {L"ABD", L"abc", 1},
        {L"ab", L"ABC", -1},       {L"", L"", 0},        {L"\x00c9", L"\x00e9", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.a).ToBytes() + " vs " + CString(c.b).ToBytes());
        EXPECT_EQ(CString(c.a).CompareNoCase(c.b), c.expected);
    }
    EXPECT_EQ(CString(L"a").CompareNoCase(nullptr), 1);
    EXPECT_EQ(CString(L"a").Compare(L"b"), -1);
}

TEST(CString, FormatFollowsPrintfWithWideStrings) {
    const CString port = L"COM3";
    struct {
        const char* legend;
        CString actual;
        const wchar_t* expected;
    } cases[] = {
        {"%-f has six decimals", CString::Formatted(L"$PASHS,RCI,%-f\r\n", 0.25),
         L"$PASHS,RCI,0.250000\r\n"},
        {"%0d", CString::Formatted(L"$JASC,GPGGA,%0d", 5), L"$JASC,GPGGA,5"},
        {"%.0f rounds half to even", CString::Formatted(L"%.0f|%.0f", 2.5, 3.7), L"2|4"},
        {"%i", CString::Formatted(L"%i", -3), L"-3"},
        {"%02X", CString::Formatted(L"*%02X", 10), L"*0A"},
        {"%s with a CString", CString::Formatted(L"%s:", port), L"COM3:"},
        {"%s with a wide literal", CString::Formatted(L"[%s]", L"wide"), L"[wide]"},
        {"%s keeps bytes above 0x7F", CString::Formatted(L"%s", CString(L"\x00aa\x00ff")),
         L"\x00aa\x00ff"},
        {"%c", CString::Formatted(L"%c%c", L'$', L'\x00aa'), L"$\x00aa"},
        {"%ls still works", CString::Formatted(L"%ls", L"x"), L"x"},
        {"%% and widths", CString::Formatted(L"%d%% %5.1f|%-3s|", 5, 2.25, L"a"), L"5%   2.2|a  |"},
        {"unsigned and long", CString::Formatted(L"%u %ld", 4000000000u, -5L), L"4000000000 -5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        EXPECT_EQ(c.actual, c.expected);
    }
    // Longer than any first guess of the output size.
    EXPECT_EQ(CString::Formatted(L"%s", CString(L'x', 5000)).GetLength(), 5000);
}

TEST(CString, EveryByteSurvivesTheRoundTripThroughCharacters) {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    const CString s = CString::FromBytes(bytes);
    ASSERT_EQ(s.GetLength(), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(s.GetAt(b), static_cast<wchar_t>(b)) << b;
    EXPECT_EQ(s.ToBytes(), bytes);
    EXPECT_EQ(CString(L"a\x0100z").ToBytes(), "a?z");  // no byte of its own
    EXPECT_TRUE(CString::FromBytes(nullptr, 5).IsEmpty());
    EXPECT_TRUE(CString::FromBytes("abc", -1).IsEmpty());
}

}  // namespace
}  // namespace tolvik
