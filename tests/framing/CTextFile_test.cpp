#include "tolvik/framing/CTextFile.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TestSupport.h"
#include "tolvik/framing/CStringCE.h"

namespace tolvik {
namespace {

using Lines = std::vector<std::wstring>;

Lines ReadAll(CTextFile& file) {
    Lines lines;
    for (CString line; file.ReadString(line);)
        lines.push_back(line.str());
    return lines;
}

TEST(CTextFile, ReadsLinesWithoutTheirEnds) {
    const struct {
        const char* legend;
        std::string content;
        Lines expected;
    } cases[] = {
        {"LF and CRLF line ends", "$GPGGA,1\n$GPVTG,2\r\n", {L"$GPGGA,1", L"$GPVTG,2"}},
        {"last line without newline", "a\nb", {L"a", L"b"}},
        {"lone CR at the very end", "a\nb\r", {L"a", L"b"}},
        {"empty lines are lines", "\n\r\nx\n", {L"", L"", L"x"}},
        {"a CR inside a line stays", "a\rb\n", {L"a\rb"}},
        {"empty file", "", {}},
        {"bytes above 0x7F keep their value", "\x80\xAA\xFF\n", {L"\x80\xAA\xFF"}},
        {"zero bytes are kept", std::string("a\0b\n", 4), {std::wstring(L"a\0b", 3)}},
    };
    test::TempDir dir;
    const std::string path = dir.File("lines.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        test::WriteFile(path, c.content);
        CTextFile file(false, false);  // as the status map (read) and the emulation file (text)
        const UINT flags = (&c - cases) % 2 ? CTextFile::typeText : CTextFile::modeRead;
        ASSERT_NE(file.Open(CString::FromBytes(path), flags, nullptr), 0);
        EXPECT_EQ(ReadAll(file), c.expected);
        file.SeekToBegin();  // the next read starts at the first line again
        EXPECT_EQ(ReadAll(file), c.expected);
    }
    CTextFile file(false, false);  // neither a missing file nor a directory opens
    EXPECT_EQ(file.Open(CString::FromBytes(dir.File("missing")), CTextFile::modeRead, nullptr), 0);
    EXPECT_EQ(file.Open(CString::FromBytes(dir.Path()), CTextFile::modeRead, nullptr), 0);
    CString line = L"unchanged";
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_EQ(line, L"unchanged");
}

TEST(CStringCE, InsertFillsAndReplaceDoesNotRescan) {
    CStringCE s;
    s.Insert(0, L"$PASHS,NME,ALL,A,aaa");
    EXPECT_EQ(s.Replace(L"a", L"aa"), 3);  // left to right, not again over what it put in
    EXPECT_EQ(CString(s), L"$PASHS,NME,ALL,A,aaaaaa");
    EXPECT_EQ(s.Replace(L"", L"x") + s.Replace(L"q", L"r"), 0);
}

}  // namespace
}  // namespace tolvik
