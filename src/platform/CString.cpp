#include "tolvik/platform/CString.h"

#include <locale.h>

#include <algorithm>
#include <cwchar>
#include <vector>

namespace tolvik {

namespace {

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }
wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c; }
bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// glibc's wide printf reads "%s" and "%c" as narrow arguments; our callers pass wide ones, as
// the receiver command tables are written. Rewrite every plain %s / %c into %ls / %lc.
std::wstring WidenConversions(const wchar_t* fmt) {
    std::wstring out;
    for (const wchar_t* p = fmt; *p; ++p) {
        out += *p;
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') {
            out += *p;
            continue;
        }
        // flags, width, precision
        while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out += *p++;
        bool hasLength = false;
        while (*p && std::wcschr(L"hlLqjzt", *p)) {
            out += *p++;
            hasLength = true;
        }
        if (!*p) break;
        if ((*p == L's' || *p == L'c') && !hasLength) out += L'l';
        out += *p;
    }
    return out;
}

// Numbers in command texts, file names and settings are written with a '.' whatever LC_NUMERIC
// the host chose (a receiver takes no "1557845,000000"): formatting runs in the C locale on the
// calling thread only, and the thread's own locale is back afterwards.
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (cLocale) m_previous = uselocale(cLocale);
    }
    ~CLocaleScope() {
        if (m_previous) uselocale(m_previous);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

}  // namespace

CString::CString(const wchar_t* psz) {
    if (psz) m_str = psz;
}

CString::CString(const wchar_t* pch, int nLength) {
    if (pch && nLength > 0) m_str.assign(pch, static_cast<std::size_t>(nLength));
}

CString::CString(wchar_t ch, int nRepeat) {
    if (nRepeat > 0) m_str.assign(static_cast<std::size_t>(nRepeat), ch);
}

CString CString::FromBytes(const char* pData, int nCount) {
    CString s;
    s.AssignBytes(pData, nCount);
    return s;
}

void CString::AssignBytes(const char* pData, int nCount) {
    if (!pData || nCount <= 0) {
        m_str.clear();
        return;
    }
    m_str.resize(static_cast<std::size_t>(nCount));
    for (std::size_t i = 0; i < m_str.size(); ++i)
        m_str[i] = static_cast<wchar_t>(static_cast<unsigned char>(pData[i]));
}

std::string CString::ToBytes() const {
    std::string out(m_str.size(), '\0');
    for (std::size_t i = 0; i < m_str.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(m_str[i]);
        out[i] = c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return out;
}

wchar_t CString::GetAt(int nIndex) const {
    return (nIndex >= 0 && nIndex < GetLength()) ? m_str[static_cast<std::size_t>(nIndex)] : L'\0';
}

void CString::SetAt(int nIndex, wchar_t ch) {
    if (nIndex >= 0 && nIndex < GetLength()) m_str[static_cast<std::size_t>(nIndex)] = ch;
}

int CString::Find(wchar_t ch, int nStart) const {
    if (nStart < 0) nStart = 0;
    if (nStart >= GetLength()) return -1;
    const auto pos = m_str.find(ch, static_cast<std::size_t>(nStart));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* pszSub, int nStart) const {
    if (!pszSub) return -1;
    if (nStart < 0) nStart = 0;
    if (nStart > GetLength()) return -1;
    const auto pos = m_str.find(pszSub, static_cast<std::size_t>(nStart));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const wchar_t* pszCharSet) const {
    if (!pszCharSet) return -1;
    const auto pos = m_str.find_first_of(pszCharSet);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const {
    const auto pos = m_str.rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const {
    if (nFirst < 0) nFirst = 0;
    if (nCount < 0) nCount = 0;
    if (nFirst >= GetLength()) return CString();
    nCount = std::min(nCount, GetLength() - nFirst);
    return CString(m_str.substr(static_cast<std::size_t>(nFirst), static_cast<std::size_t>(nCount)));
}

CString CString::Left(int nCount) const { return Mid(0, nCount); }

CString CString::Right(int nCount) const {
    if (nCount <= 0) return CString();
    if (nCount >= GetLength()) return *this;
    return Mid(GetLength() - nCount, nCount);
}

int CString::Replace(wchar_t chOld, wchar_t chNew) {
    int n = 0;
    for (auto& c : m_str) {
        if (c == chOld) {
            c = chNew;
            ++n;
        }
    }
    return n;
}

int CString::Replace(const wchar_t* pszOld, const wchar_t* pszNew) {
    if (!pszOld || !*pszOld) return 0;
    const std::wstring_view oldText(pszOld);
    const std::wstring_view newText(pszNew ? pszNew : L"");
    std::wstring out;
    int n = 0;
    std::size_t pos = 0;
    while (true) {
        const auto hit = m_str.find(oldText, pos);
        if (hit == std::wstring::npos) break;
        out.append(m_str, pos, hit - pos);
        out.append(newText);
        pos = hit + oldText.size();
        ++n;
    }
    if (n == 0) return 0;
    out.append(m_str, pos, std::wstring::npos);
    m_str = std::move(out);
    return n;
}

int CString::Remove(wchar_t ch) {
    const auto before = m_str.size();
    std::erase(m_str, ch);
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int nIndex, wchar_t ch) {
    nIndex = std::clamp(nIndex, 0, GetLength());
    m_str.insert(m_str.begin() + nIndex, ch);
    return GetLength();
}

int CString::Insert(int nIndex, const wchar_t* psz) {
    if (psz) {
        nIndex = std::clamp(nIndex, 0, GetLength());
        m_str.insert(static_cast<std::size_t>(nIndex), psz);
    }
    return GetLength();
}

int CString::Delete(int nIndex, int nCount) {
    if (nIndex >= 0 && nIndex < GetLength() && nCount > 0) {
        m_str.erase(static_cast<std::size_t>(nIndex), static_cast<std::size_t>(nCount));
    }
    return GetLength();
}

CString& CString::MakeUpper() {
    for (auto& c : m_str) c = AsciiUpper(c);
    return *this;
}

CString& CString::MakeLower() {
    for (auto& c : m_str) c = AsciiLower(c);
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft() {
    std::size_t i = 0;
    while (i < m_str.size() && IsBlank(m_str[i])) ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    while (!m_str.empty() && IsBlank(m_str.back())) m_str.pop_back();
    return *this;
}

int CString::Compare(const wchar_t* psz) const {
    const std::wstring_view other(psz ? psz : L"");
    const int c = std::wstring_view(m_str).compare(other);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CString::CompareNoCase(const wchar_t* psz) const {
    const std::wstring_view other(psz ? psz : L"");
    const std::size_t n = std::min(m_str.size(), other.size());
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t a = AsciiLower(m_str[i]);
        const wchar_t b = AsciiLower(other[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (m_str.size() == other.size()) return 0;
    return m_str.size() < other.size() ? -1 : 1;
}

CString& CString::operator+=(const wchar_t* psz) {
    if (psz) m_str += psz;
    return *this;
}

void CString::FormatV(const wchar_t* pszFormat, ...) {
    if (!pszFormat) {
        m_str.clear();
        return;
    }
    const std::wstring fmt = WidenConversions(pszFormat);
    const CLocaleScope cLocale;
    std::vector<wchar_t> buf(256);
    while (true) {
        va_list args;
        va_start(args, pszFormat);
        const int n = std::vswprintf(buf.data(), buf.size(), fmt.c_str(), args);
        va_end(args);
        if (n >= 0 && static_cast<std::size_t>(n) < buf.size()) {
            m_str.assign(buf.data(), static_cast<std::size_t>(n));
            return;
        }
        // vswprintf reports a short buffer and an encoding error alike; grow until a hard limit
        // so that a malformed format cannot loop forever.
        if (buf.size() >= (1u << 20)) {
            m_str.clear();
            return;
        }
        buf.resize(buf.size() * 4);
    }
}

}  // namespace tolvik
