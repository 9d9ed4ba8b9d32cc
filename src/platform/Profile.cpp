#include "tolvik/platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tolvik {

namespace {

bool MakeParentDirs(const std::string& path) {
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        const std::string dir = path.substr(0, pos);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

CString Trimmed(CString s) { return s.Trim(); }

}  // namespace

bool CProfile::Open(const std::string& path) {
    m_path = path;
    m_sections.clear();
    // A directory opens for reading here and then reads as empty: look at what the path is first.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    FromText(text.str());
    return true;
}

const CString* CProfile::Find(const CString& section, const CString& entry) const {
    for (const auto& s : m_sections) {
        if (s.name.CompareNoCase(section) != 0) continue;
        for (const auto& [key, value] : s.entries) {
            if (key.CompareNoCase(entry) == 0) return &value;
        }
    }
    return nullptr;
}

int CProfile::GetInt(const CString& section, const CString& entry, int nDefault) const {
    const CString* value = Find(section, entry);
    if (!value) return nDefault;
    const std::string bytes = value->ToBytes();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(bytes.c_str(), &end, 10);
    if (end == bytes.c_str() || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return nDefault;
    return static_cast<int>(v);
}

CString CProfile::GetString(const CString& section, const CString& entry, const CString& strDefault) const {
    const CString* value = Find(section, entry);
    return value ? *value : strDefault;
}

bool CProfile::SetInt(const CString& section, const CString& entry, int nValue) {
    return SetString(section, entry, CString::Formatted(L"%d", nValue));
}

bool CProfile::SetString(const CString& section, const CString& entry, const CString& value) {
    Section* target = nullptr;
    for (auto& s : m_sections) {
        if (s.name.CompareNoCase(section) == 0) target = &s;
    }
    if (!target) {
        m_sections.push_back(Section{section, {}});
        target = &m_sections.back();
    }
    bool found = false;
    for (auto& [key, v] : target->entries) {
        if (key.CompareNoCase(entry) == 0) {
            v = value;
            found = true;
        }
    }
    if (!found) target->entries.emplace_back(entry, value);
    return m_path.empty() || Save();
}

std::string CProfile::ToText() const {
    std::string out;
    for (const auto& s : m_sections) {
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "[" + text.
        out += '[';
        out += s.name.ToBytes();
        out += "]\n";
        for (const auto& [key, value] : s.entries) {
            out += key.ToBytes();
            out += '=';
            out += value.ToBytes();
            out += '\n';
        }
        out += "\n";
    }
    return out;
}

void CProfile::FromText(const std::string& text) {
    m_sections.clear();
    std::istringstream in(text);
    std::string line;
    Section* current = nullptr;
    while (std::getline(in, line)) {
        CString l = Trimmed(CString::FromBytes(line));
        if (l.IsEmpty() || l[0] == L';' || l[0] == L'#') continue;
        if (l[0] == L'[' && l[l.GetLength() - 1] == L']') {
            // A section named twice (in any case) is one section, so that a later SetString and
            // GetString find the same entry.
            const CString name = Trimmed(l.Mid(1, l.GetLength() - 2));
            current = nullptr;
            for (auto& s : m_sections) {
                if (s.name.CompareNoCase(name) == 0) current = &s;
            }
            if (!current) {
                m_sections.push_back(Section{name, {}});
                current = &m_sections.back();
            }
            continue;
        }
        const int eq = l.Find(L'=');
        if (!current || eq <= 0) continue;
        current->entries.emplace_back(Trimmed(l.Left(eq)), Trimmed(l.Mid(eq + 1)));
    }
}

bool CProfile::Save() const {
    if (!MakeParentDirs(m_path)) return false;
    const std::string tmp = m_path + ".tmp." + std::to_string(getpid());
    const std::string text = ToText();
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || rename(tmp.c_str(), m_path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace tolvik
