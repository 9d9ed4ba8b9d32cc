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
    m_fd = fd;
    return 1;
}

void CTextFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_pos = m_end = 0;
}

bool CTextFile::Fill() {
    constexpr std::size_t kBlock = 64 * 1024;
    if (m_block.size() < kBlock) m_block.resize(kBlock);
    m_pos = m_end = 0;
    while (true) {
        const ssize_t n = ::read(m_fd, m_block.data(), m_block.size());
        if (n > 0) {
            m_end = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

bool CTextFile::ReadString(CString& line) {
    std::string_view bytes;
    if (!ReadLine(bytes)) return false;
    line = CString::FromBytes(bytes.data(), static_cast<int>(bytes.size()));
    return true;
}

bool CTextFile::ReadLine(std::string_view& line) {
    if (m_fd < 0) return false;
    // One byte beyond the limit tells a cut line from one that fills it exactly (or one whose
    // "\r" before the line end is that byte).
    constexpr std::size_t kKeep = kMaxLineLength + 1;
    m_line.clear();
    bool any = false;
    bool overflow = false;
    bool ended = false;
    while (!ended && (m_pos < m_end || Fill())) {
        any = true;
        const char* const start = m_block.data() + m_pos;
        const std::size_t available = m_end - m_pos;
        const auto* const lineEnd = static_cast<const char*>(std::memchr(start, '\n', available));
        std::size_t take = lineEnd ? static_cast<std::size_t>(lineEnd - start) : available;
        ended = lineEnd != nullptr;
        m_pos += take + (ended ? 1 : 0);
        const std::size_t room = kKeep - m_line.size();
        if (take > room) {
            overflow = true;
            take = room;
        }
        m_line.append(start, take);
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
    if (m_fd < 0) return;
    ::lseek(m_fd, 0, SEEK_SET);
    m_pos = m_end = 0;
}

}  // namespace tolvik
