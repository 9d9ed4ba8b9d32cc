#include "tolvik/framing/CTextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvik {

CTextFile::CTextFile(bool, bool) {}

CTextFile::~CTextFile() { Close(); }

int CTextFile::Open(const CString& path, UINT nOpenFlags, void* pException) {
    return Open(path.ToBytes().c_str(), nOpenFlags, pException);
}

int CTextFile::Open(const char* path, UINT nOpenFlags, void* pException) {
    Close();
    m_strError.clear();
    m_nCutLines = 0;
    if (!path || pException || (nOpenFlags & ~static_cast<UINT>(typeText)) != modeRead) {
        m_strError = std::strerror(EINVAL);
        return 0;
    }
    // Without O_NONBLOCK the open of a FIFO waits for a writer; the kind of file is checked on
    // what was opened, so nothing can be swapped in between.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_strError = std::strerror(errno);
        return 0;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_strError = "not a regular file";
        ::close(fd);
        return 0;
    }
    m_pFile = fdopen(fd, "rb");
    if (!m_pFile) {
        m_strError = std::strerror(errno);
        ::close(fd);
        return 0;
    }
    return 1;
}

void CTextFile::Close() {
    if (m_pFile) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

bool CTextFile::ReadString(CString& line) {
    std::string_view bytes;
    if (!ReadLine(bytes)) return false;
    line = CString::FromBytes(bytes.data(), static_cast<int>(bytes.size()));
    return true;
}

bool CTextFile::ReadLine(std::string_view& line) {
    if (!m_pFile) return false;
    // One byte beyond the limit tells a cut line from one that fills it exactly (or one whose
    // "\r" before the line end is that byte).
    constexpr std::size_t kKeep = kMaxLineLength + 1;
    m_line.clear();
    bool any = false;
    bool overflow = false;
    int c = 0;
    while ((c = getc_unlocked(m_pFile)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (m_line.size() < kKeep) {
            m_line.push_back(static_cast<char>(c));
        } else {
            overflow = true;
        }
    }
    if (!any) return false;
    if (!overflow && !m_line.empty() && m_line.back() == '\r') m_line.pop_back();
    if (m_line.size() > static_cast<std::size_t>(kMaxLineLength)) {
        m_line.resize(kMaxLineLength);
        ++m_nCutLines;
    }
    line = m_line;
    return true;
}

void CTextFile::SeekToBegin() {
    if (m_pFile) std::rewind(m_pFile);
}

}  // namespace tolvik
