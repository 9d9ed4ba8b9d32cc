// CTextFile: reads a text file one line at a time.
//
// Bytes become characters one to one (see CString::FromBytes), so recorded receiver output,
// whatever bytes it holds, replays unchanged. Lines end at "\n"; a "\r" before it is dropped, as
// is a lone trailing "\r".
//
// Only regular files (or links to them) open: a FIFO would hold the open until a writer comes and
// a device may never end. A line longer than kMaxLineLength is cut there (the rest of it, up to
// its line end, is skipped and the cut counted), so memory stays bounded whatever the file holds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tolvik/framing/CBinBuffer.h"
#include "tolvik/platform/CString.h"
#include "tolvik/platform/Types.h"

namespace tolvik {

class CTextFile {
public:
    enum OpenFlags : UINT { modeRead = 0x0000, typeText = 0x4000 };
    // A longer line could never be framed: the engine's buffer overflows at this size.
    static constexpr int kMaxLineLength = CBinBuffer::kMaxLength;

    // Exceptions are not supported by this reader: both flags must be false.
    explicit CTextFile(bool bThrowOnOpen = false, bool bThrowOnRead = false);
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // Opens for reading (modeRead, optionally | typeText). pException must be null. Non-zero on
    // success; on failure GetErrorText says why.
    int Open(const CString& path, UINT nOpenFlags, void* pException = nullptr);
    int Open(const char* path, UINT nOpenFlags, void* pException = nullptr);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    // Why the last Open failed ("not a regular file", or the system's text); empty after success.
    const std::string& GetErrorText() const { return m_strError; }

    // The next line without its line end; false at the end of the file.
    bool ReadString(CString& line);
    // The same line as its bytes, without the conversion to characters: valid until the next
    // read (a fast replay hands them on as they are).
    bool ReadLine(std::string_view& line);
    void SeekToBegin();
    // Lines cut at kMaxLineLength since the file was opened.
    int GetCutLines() const { return m_nCutLines; }

private:
    // The next bytes of the file into m_block; false at its end (or on a read error).
    bool Fill();

    int m_fd = -1;
    std::string m_strError;
    std::string m_line;  // bytes of the line being read, at most kMaxLineLength + 1
    // Read ahead in blocks, lines found with memchr: a byte at a time costs as much as the
    // framing of a fast replay.
    std::vector<char> m_block;
    std::size_t m_pos = 0;  // next unread byte in m_block
    std::size_t m_end = 0;  // bytes in m_block
    int m_nCutLines = 0;
};

}  // namespace tolvik
