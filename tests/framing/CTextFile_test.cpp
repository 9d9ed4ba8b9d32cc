#include "tolvik/framing/CTextFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tolvik/framing/CBinBuffer.h"

#include "support/TestSupport.h"
#include "tolvik/framing/CStringCE.h"

namespace tolvik {
namespace {

using Lines = std::vector<std::wstring>;

Lines ReadAll(CTextFile& file) {
    Lines lines;
    for (CString line; file.ReadString(line);) lines.push_back(line.str());
    return lines;
}

// A line longer than a framing buffer can hold is cut there, the rest of it up to its line end
// dropped and the cut counted.
TEST(CTextFile, ReadsLinesWithoutTheirEndsCutAtTheBufferLimit) {
    constexpr int kMax = CTextFile::kMaxLineLength;
    static_assert(kMax == CBinBuffer::kMaxLength);
    const std::wstring x(kMax, L'x');
    const struct {
        const char* legend;
        std::string content;
        Lines expected;
        int cuts = 0;
    } cases[] = {
        {"LF and CRLF line ends", "$GPGGA,1\n$GPVTG,2\r\n", {L"$GPGGA,1", L"$GPVTG,2"}},
        {"last line without newline", "a\nb", {L"a", L"b"}},
        {"lone CR at the very end", "a\nb\r", {L"a", L"b"}},
        {"empty lines are lines", "\n\r\nx\n", {L"", L"", L"x"}},
        {"a CR inside a line stays", "a\rb\n", {L"a\rb"}},
        {"empty file", "", {}},
        {"bytes above 0x7F keep their value", "\x80\xAA\xFF\n", {L"\x80\xAA\xFF"}},
        {"zero bytes are kept", std::string("a\0b\n", 4), {std::wstring(L"a\0b", 3)}},
        {"exactly the limit, CR LF", std::string(kMax, 'x') + "\r\nz\n", {x, L"z"}},
        {"one over the limit", std::string(kMax + 1, 'x') + "\nz\n", {x, L"z"}, 1},
        {"8 MB without a line end", std::string(8 << 20, 'x'), {x}, 1},
        {"two long lines", std::string(kMax * 3, 'x') + "\n" + std::string(kMax * 2, 'x') + "\n", {x, x}, 2},
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
        EXPECT_EQ(file.GetCutLines(), c.cuts);
        file.SeekToBegin();  // the next read starts at the first line again
        EXPECT_EQ(ReadAll(file), c.expected);
    }
}

// A FIFO would hold the open until some writer comes, a device may never end: only regular files
// (or links to them) are read, and the reason is told; a file that did not open reads nothing.
TEST(CTextFile, OnlyRegularFilesOpen) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    CTextFile file(false, false);
    for (const std::string& path : {dir.File("fifo"), std::string("/dev/zero"), dir.Path(), dir.File("missing")}) {
        EXPECT_EQ(file.Open(path.c_str(), CTextFile::modeRead), 0) << path;
        EXPECT_EQ(file.GetErrorText(),
                  path == dir.File("missing") ? "No such file or directory" : "not a regular file");
        CString line = L"unchanged";
        EXPECT_FALSE(file.ReadString(line) || line != L"unchanged");
    }
    test::WriteFile(dir.File("real"), "a\n");
    ASSERT_EQ(symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
    EXPECT_NE(file.Open(dir.File("link").c_str(), CTextFile::modeRead), 0);
    EXPECT_EQ(file.GetErrorText(), "");
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
