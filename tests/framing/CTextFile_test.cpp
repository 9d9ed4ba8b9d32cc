#include "tolvik/framing/CTextFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TestSupport.h"
#include "tolvik/framing/CStringCE.h"

namespace tolvik {
namespace {

std::vector<std::wstring> ReadAll(CTextFile& file) {
    std::vector<std::wstring> lines;
    CString line;
    while (file.ReadString(line))
        lines.push_back(line.str());
    return lines;
}

TEST(CTextFile, ReadsLinesWithoutTheirEnds) {
    using L = std::vector<std::wstring>;
    std::string allBytes;
    std::wstring allChars;
    for (int b = 0x80; b <= 0xFF; ++b) {
        allBytes += static_cast<char>(b);
        allChars += static_cast<wchar_t>(b);
    }
    struct {
        const char* legend;
        std::string content;
        L expected;
    } cases[] = {
        {"LF line ends", "$GPGGA,1\n$GPVTG,2\n", L{L"$GPGGA,1", L"$GPVTG,2"}},
        {"CRLF line ends", "a\r\nb\r\n", L{L"a", L"b"}},
        {"last line without newline", "a\nb", L{L"a", L"b"}},
        {"lone CR at the very end", "a\nb\r", L{L"a", L"b"}},
        {"empty lines are lines", "\n\r\nx\n", L{L"", L"", L"x"}},
        {"a CR inside a line stays", "a\rb\n", L{L"a\rb"}},
        {"empty file", "", L{}},
        {"bytes 0x80-0xFF become the characters of the same value", allBytes + "\n", L{allChars}},
        {"zero bytes are kept", std::string("a\0b\n", 4), L{std::wstring(L"a\0b", 3)}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        const std::string path = dir.File("lines.txt");
        test::WriteFile(path, c.content);
        for (const UINT flags : {UINT{CTextFile::modeRead}, UINT{CTextFile::typeText}}) {
            CTextFile file(false, false);
            ASSERT_NE(file.Open(CString::FromBytes(path), flags, nullptr), 0);
            EXPECT_EQ(ReadAll(file), c.expected);
            CString line = L"unchanged";
            EXPECT_FALSE(file.ReadString(line));
        }
    }
}

TEST(CTextFile, SeekToBeginReadsFromTheFirstLineAgain) {
    test::TempDir dir;
    test::WriteFile(dir.File("f"), "one\ntwo\n");
    CTextFile file(false, false);
    ASSERT_NE(file.Open(dir.File("f").c_str(), CTextFile::typeText), 0);
    CString line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(ReadAll(file), std::vector<std::wstring>{L"two"});
    file.SeekToBegin();
    EXPECT_EQ(ReadAll(file), (std::vector<std::wstring>{L"one", L"two"}));
}

TEST(CTextFile, RefusesWhatItCannotRead) {
    test::TempDir dir;
    test::WriteFile(dir.File("f"), "x\n");
    CTextFile file(false, false);
    EXPECT_EQ(file.Open(CString::FromBytes(dir.File("missing")), CTextFile::modeRead, nullptr), 0);
    EXPECT_EQ(file.Open(CString::FromBytes(dir.Path()), CTextFile::modeRead, nullptr),
              0);                                            // a directory
    EXPECT_EQ(file.Open(dir.File("f").c_str(), 0x0001), 0);  // writing is not offered
    EXPECT_FALSE(file.IsOpen());
    CString line = L"unchanged";
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_EQ(line, L"unchanged");
    file.SeekToBegin();  // harmless on a closed reader
}

TEST(CStringCE, InsertFillsAndReplaceDoesNotRescan) {
    struct {
        const wchar_t* text;
        const wchar_t* oldText;
        const wchar_t* newText;
        const wchar_t* expected;
        int count;
    } cases[] = {
        {L"$PASHS,NME,ALL,A,OFF", L"OFF", L"ON", L"$PASHS,NME,ALL,A,ON", 1},
        {L"aaa", L"a", L"aa", L"aaaaaa", 3},
        {L"abab", L"ab", L"b", L"bb", 2},
        {L"xyz", L"q", L"r", L"xyz", 0},
        {L"%d%d", L"%d", L"", L"", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(CString(c.text).ToBytes());
        CStringCE s;
        EXPECT_EQ(s.GetLength(), 0);
        s.Insert(0, c.text);
        EXPECT_EQ(CString(s), c.text);
        EXPECT_EQ(s.Replace(c.oldText, c.newText), c.count);
        EXPECT_EQ(s.GetString(), c.expected);
    }
}

}  // namespace
}  // namespace tolvik
