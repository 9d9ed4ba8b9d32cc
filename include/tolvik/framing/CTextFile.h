// CTextFile: reads a text file one line at a time.
//
// Bytes become characters one to one (see CString::FromBytes), so recorded receiver output,
// whatever bytes it holds, replays unchanged. Lines end at "\n"; a "\r" before it is dropped, as
// is a lone trailing "\r". A directory cannot be opened.
#pragma once

#include <cstdio>

#include "tolvik/platform/CString.h"
#include "tolvik/platform/Types.h"

namespace tolvik {

class CTextFile {
public:
    enum OpenFlags : UINT { modeRead = 0x0000, typeText = 0x4000 };

    // Exceptions are not supported by this reader: both flags must be false.
    explicit CTextFile(bool bThrowOnOpen = false, bool bThrowOnRead = false);
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // Opens for reading (modeRead, optionally | typeText). pException must be null. Non-zero on
    // success.
    int Open(const CString& path, UINT nOpenFlags, void* pException = nullptr);
    int Open(const char* path, UINT nOpenFlags, void* pException = nullptr);
    void Close();
    bool IsOpen() const { return m_pFile != nullptr; }

    // The next line without its line end; false at the end of the file.
    bool ReadString(CString& line);
    void SeekToBegin();

private:
    std::FILE* m_pFile = nullptr;
};

}  // namespace tolvik
