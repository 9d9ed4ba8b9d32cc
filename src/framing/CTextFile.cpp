#include "tolvik/framing/CTextFile.h"

#include <sys/stat.h>

#include <cstdlib>

namespace tolvik {

CTextFile::CTextFile(bool, bool) {}

CTextFile::~CTextFile() { Close(); }

int CTextFile::Open(const CString& path, UINT nOpenFlags, void* pException) {
    return Open(path.ToBytes().c_str(), nOpenFlags, pException);
}

int CTextFile::Open(const char* path, UINT nOpenFlags, void* pException) {
    Close();
    if (!path || pException || (nOpenFlags & ~static_cast<UINT>(typeText)) != modeRead) return 0;
    struct stat st{};
    if (stat(path, &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    m_pFile = std::fopen(path, "rbe");
    return m_pFile ? 1 : 0;
}

void CTextFile::Close() {
    if (m_pFile) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

bool CTextFile::ReadString(CString& line) {
    if (!m_pFile) return false;
    char* buffer = nullptr;
    std::size_t capacity = 0;
    const ssize_t n = getline(&buffer, &capacity, m_pFile);
    if (n <= 0) {
        std::free(buffer);
        return false;
    }
    std::size_t len = static_cast<std::size_t>(n);
    if (buffer[len - 1] == '\n') --len;
    if (len > 0 && buffer[len - 1] == '\r') --len;
    line = CString::FromBytes(buffer, static_cast<int>(len));
    std::free(buffer);
    return true;
}

void CTextFile::SeekToBegin() {
    if (m_pFile) std::rewind(m_pFile);
}

}  // namespace tolvik
